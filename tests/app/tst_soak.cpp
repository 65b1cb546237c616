// Soak: the simulator at full speed into the real window while the window
// ticks and the test scrolls, clears, toggles Merge and Decode and replaces
// the symbols. Then the capture stops, Clear empties the store and the
// capture runs on with only the ticks and the scrolling, KORVEX_SOAK_ROWS
// rows in both phases: the store must then hold exactly the rows converted
// since that Clear, in order.
//
// The capture is started through the C interface with a callback that
// forwards to onI2CEvents and converts the same events with a converter of
// its own; both converters start fresh in this process, so they see the same
// rows.
#include "capturepipeline.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "quietdebug.h"
#include "storedline.h"
#include "symboldecoder.h"
#include "symbolfile.h"

#include <korvex/korvex.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTextCodec>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORVEX_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KORVEX_SOAK_SANITIZED 1
#endif
#endif
#ifndef KORVEX_SOAK_SANITIZED
#define KORVEX_SOAK_SANITIZED 0
#endif

namespace {
using Clock = std::chrono::steady_clock;

// FNV-1a over the stored line texts, fed in any split.
struct LineHash
{
    uint64_t value = 1469598103934665603ull;
    void add(const char *data, size_t size)
    {
        for (size_t i = 0; i < size; ++i)
            value = (value ^ uint8_t(data[i])) * 1099511628211ull;
    }
};

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

qint64 envNumber(const char *name, qint64 fallback)
{
    bool ok = false;
    const qint64 v = qEnvironmentVariable(name).toLongLong(&ok);
    return ok && v > 0 ? v : fallback;
}

// The callback's own record. The plain members belong to the callback thread
// while a capture runs, to the GUI thread while none does.
struct Recorder
{
    EventConverter converter;
    std::vector<CaptureRow> batch;
    std::string line;
    uint64_t expectedRows = 0;
    LineHash expectedHash;
    // Set after the last Clear: every row converted from then on must be stored.
    std::atomic<bool> expecting{false};
    std::atomic<uint64_t> converted{0};
    std::atomic<uint64_t> calls{0};
};

Recorder recorder;

int32_t recordingCallback(int32_t index, int32_t sequence, const I2CEvent *events, int32_t count)
{
    onI2CEvents(index, sequence, events, count);
    Recorder &r = recorder;
    r.batch.clear();
    r.converter.convertEvents(events, count, r.batch);
    if (r.expecting.load(std::memory_order_acquire)) {
        for (const CaptureRow &row : r.batch) {
            r.line.clear();
            StoredLine::append(r.line, int(r.expectedRows++), row);
            r.expectedHash.add(r.line.data(), r.line.size());
        }
    }
    r.converted.fetch_add(r.batch.size(), std::memory_order_relaxed);
    r.calls.fetch_add(1, std::memory_order_release);
    return 0;
}

// No capture runs: answer the GUI's last request for the store, so that one
// empty call stores the rows still kept back.
void storeKeptRows()
{
    CapturePipeline &pipeline = capturePipeline();
    QVERIFY(pipeline.tryAcquireStore());
    pipeline.releaseStore();
    onI2CEvents(0, 0, nullptr, 0);
    QVERIFY(pipeline.pendingRows().empty());
}

QAction *action(QWidget &w, const char *name)
{
    return w.findChild<QAction *>(QString::fromLatin1(name));
}

// One of many symbol sets, chosen by n.
SymbolList symbolsFor(unsigned n)
{
    const char *addr = n % 2 ? "50" : "68";
    const QString data = QString::number(n % 256, 16).toUpper();
    return {{"A", "ADDR", addr, "-", "0", n % 4 ? "WRITE" : "READ"},
            {"D", "DATA", addr, data, QString::number(n % 3), "WRITE"}};
}
} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void simulatorAtFullSpeedIntoTheWindow();
};

void TestSoak::simulatorAtFullSpeedIntoTheWindow()
{
    dropDebugMessages();
    const qint64 targetRows = envNumber("KORVEX_SOAK_ROWS", 10000000);
    // A bound on the run, far above what the rows take: the test stops by itself.
    const auto deadline =
        Clock::now() + std::chrono::seconds(envNumber("KORVEX_SOAK_MAX_SECONDS", 1500));
    qputenv("KORVEX_SIMULATOR", "1");
    qputenv("KORVEX_SIM_SPEED", "max");
    qunsetenv("KORVEX_REPLAY");
    QDir(QStringLiteral("symbols")).removeRecursively();
    SymbolFile::makeDefaultDir();
    std::mt19937 rng(20240611);
    QVERIFY(SymbolFile::write(SymbolFile::defaultPath(), symbolsFor(rng())));

    MainWindow w;
    w.show();
    ModalAnswerer answerer; // no box is expected; none may hang the run
    auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
    QVERIFY(bar);
    QAction *merge = action(w, "actionMerge");
    QAction *decode = action(w, "actionDecode");
    const qint64 rssBaseline = residentBytes();
    qint64 rssPeak = rssBaseline;

    QVERIFY(scanAdapters(nullptr) >= 1);
    QVERIFY(openAdapter(0));
    // The lowest sample rate gives the most rows per generated sample.
    QCOMPARE(startI2CCapture(0, 0, 1000000, recordingCallback), 0);

    // Busy phase: 40% of the rows (and at least a few seconds' worth of
    // actions), then the last Clear, then a quiet phase of 60% of the rows.
    const qint64 busyRows = targetRows * 2 / 5;
    const qint64 quietRows = targetRows - busyRows;
    bool timedOut = false;
    for (int step = 0; !timedOut && (qint64(recorder.converted.load()) < busyRows || step < 120);
         ++step) {
        timedOut = Clock::now() > deadline;
        QTest::qWait(25);
        rssPeak = std::max(rssPeak, residentBytes());
        switch (rng() % 8) {
        case 0:
            action(w, "actionClear")->trigger();
            break;
        case 1:
        case 2:
            // Only one of the two is enabled while the other is on.
            if (merge->isChecked())
                merge->trigger();
            else if (decode->isChecked())
                decode->trigger();
            else
                (rng() % 2 ? merge : decode)->trigger();
            break;
        case 3:
            // Half the time through the file, which Decode reads as it is switched on.
            if (rng() % 2) {
                symbolDecoder().setActiveSymbols(symbolsFor(rng()));
            } else if (SymbolFile::write(SymbolFile::defaultPath(), symbolsFor(rng())) &&
                       decode->isChecked()) {
                decode->trigger();
                decode->trigger();
            }
            break;
        default:
            bar->setValue(rng() % 3 ? int(rng() % unsigned(bar->maximum() + 1)) : bar->maximum());
            break;
        }
    }
    if (merge->isChecked())
        merge->trigger();
    if (decode->isChecked())
        decode->trigger();
    QVERIFY(!capturePipeline().mergeEnabled && !capturePipeline().decodeEnabled);

    // The last Clear, with nothing kept back: every row converted after it
    // must be stored.
    QCOMPARE(stopI2CCapture(0), 0);
    storeKeptRows();
    action(w, "actionClear")->trigger();
    CapturePipeline &pipeline = capturePipeline();
    QCOMPARE(pipeline.storedLineCount(), 0);
    recorder.expecting.store(true, std::memory_order_release);
    const qint64 convertedAtClear = qint64(recorder.converted.load());
    QCOMPARE(startI2CCapture(0, 0, 1000000, recordingCallback), 0);
    bar->setValue(bar->maximum());

    while (!timedOut && qint64(recorder.converted.load()) - convertedAtClear < quietRows) {
        timedOut = Clock::now() > deadline;
        QTest::qWait(25);
        rssPeak = std::max(rssPeak, residentBytes());
        if (rng() % 4 == 0)
            bar->setValue(rng() % 2 ? int(rng() % unsigned(bar->maximum() + 1)) : bar->maximum());
    }
    bar->setValue(bar->maximum());
    QTest::qWait(100);

    QCOMPARE(stopI2CCapture(0), 0);
    const uint64_t callsAtStop = recorder.calls.load(std::memory_order_acquire);
    QTest::qWait(100);
    const uint64_t callsAfterStop = recorder.calls.load() - callsAtStop;
    storeKeptRows();

    // Read the store back in chunks and hash it the same way.
    const CaptureStore &store = pipeline.store();
    const qint64 storedLines = store.lineCount();
    LineHash storedHash;
    for (qint64 first = 0; first < storedLines; first += 100000) {
        const QByteArray bytes = store.readLines(int(first), 100000);
        storedHash.add(bytes.constData(), size_t(bytes.size()));
    }
    const qint64 expected = qint64(recorder.expectedRows);
    const double mb = 1024.0 * 1024.0;
    const qint64 rssGrowth = rssPeak - rssBaseline;
    // In a run of many rows the final segment is the longest, so the index is
    // at its peak now.
    const qint64 indexBytes = qint64(store.lineIndex().memoryBytes());
    std::printf("soak: rows=%llu final_segment_rows=%lld stored=%lld rss_growth_mb=%.1f "
                "index_mb=%.1f callbacks=%llu\n",
                (unsigned long long)recorder.converted.load(), (long long)expected,
                (long long)storedLines, rssGrowth / mb, indexBytes / mb,
                (unsigned long long)callsAtStop);
    std::fflush(stdout);

    QVERIFY2(!timedOut, "the rows were not reached within KORVEX_SOAK_MAX_SECONDS");
    QCOMPARE(callsAfterStop, uint64_t(0));
    QVERIFY(expected > 0);
    QCOMPARE(storedLines, expected); // none lost, none stored twice
    QVERIFY2(storedHash.value == recorder.expectedHash.value,
             "the stored lines differ from the converted rows (order or content)");
    QVERIFY(!store.failed());
    QVERIFY(answerer.titles.isEmpty());
#if KORVEX_SOAK_SANITIZED
    std::printf("soak: memory bound not checked under a sanitizer\n");
#else
    // Growth beyond the index: page, batch and pending buffers, allocator slack.
    QVERIFY2(
        rssGrowth - indexBytes < qint64(64 * mb),
        qPrintable(
            QStringLiteral("RSS grew %1 MiB beyond the index").arg((rssGrowth - indexBytes) / mb)));
#endif
    QDir(QStringLiteral("symbols")).removeRecursively();
    qInstallMessageHandler(nullptr);
}

int main(int argc, char **argv)
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QApplication app(argc, argv);
    TestSoak t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_soak.moc"
