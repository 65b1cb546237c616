// Soak: the simulator at full speed into the real window until
// KORVEX_SOAK_ROWS rows are stored, while the window ticks and the test
// scrolls, clears, toggles Merge and Decode and replaces the symbols. After
// the last Clear only the ticks and the scrolling go on, so the rows the
// store must hold from there on are exactly the converted ones.
//
// The capture is started through the C interface with a callback that
// forwards to onI2CEvents and then converts the same events with a converter
// of its own: the pipeline's converter starts fresh in this process too, so
// both see the same rows. Rows the pipeline keeps back while the GUI holds
// the store are mirrored, so the test knows at every moment which converted
// rows are not stored yet.
#include "capturepipeline.h"
#include "storedline.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "quietdebug.h"
#include "symboldecoder.h"
#include "symbolfile.h"

#include <korvex/korvex.h>

#include <QAction>
#include <QDir>
#include <QScrollBar>
#include <QTextCodec>
#include <QThread>
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
    long pages = 0, resident = 0;
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    std::fclose(f);
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

// What the LineIndex holds for this many lines: whole chunks of offsets.
qint64 indexBytesFor(qint64 lines)
{
    const qint64 chunks = (lines + 1 + LineIndex::kChunkMask) >> LineIndex::kChunkBits;
    return chunks * LineIndex::kChunkSize * qint64(sizeof(qint64));
}

qint64 envNumber(const char *name, qint64 fallback)
{
    bool ok = false;
    const qint64 v = qEnvironmentVariable(name).toLongLong(&ok);
    return ok && v > 0 ? v : fallback;
}

// The callback's own record. The non-atomic members belong to the callback
// thread (one call at a time) until the capture is stopped.
struct Recorder
{
    EventConverter converter;
    std::vector<CaptureRow> batch;
    // Converted rows the pipeline has not stored yet, in order.
    std::vector<CaptureRow> unstored;
    uint64_t converted = 0;
    bool expecting = false;
    uint64_t expectedRows = 0;
    LineHash expectedHash;
    std::string line;
    bool mirrorBroken = false;

    std::atomic<uint64_t> storedRows{0};
    std::atomic<uint64_t> calls{0};
    // Set by the GUI thread, while it holds the store, right after the last Clear.
    std::atomic<bool> lastClearDone{false};

    void expect(const CaptureRow &row)
    {
        line.clear();
        StoredLine::append(line, int(expectedRows++), row);
        expectedHash.add(line.data(), line.size());
    }
};

Recorder recorder;

int32_t recordingCallback(int32_t index, int32_t sequence, const I2CEvent *events, int32_t count)
{
    onI2CEvents(index, sequence, events, count);
    Recorder &r = recorder;
    r.batch.clear();
    r.converter.convertEvents(events, count, r.batch);
    r.converted += r.batch.size();
    r.unstored.insert(r.unstored.end(), r.batch.begin(), r.batch.end());
    // The GUI set the flag while it held the store after the reset, and only
    // after a whole call of ours had passed without storing: every row still
    // unstored now is stored after the reset, every later row too.
    if (!r.expecting && r.lastClearDone.load(std::memory_order_acquire)) {
        r.expecting = true;
        for (const CaptureRow &row : r.unstored)
            r.expect(row);
    } else if (r.expecting) {
        for (const CaptureRow &row : r.batch)
            r.expect(row);
    }
    const size_t pending = capturePipeline().pendingRows().size();
    if (pending == 0)
        r.unstored.clear();
    else if (pending != r.unstored.size())
        r.mirrorBroken = true;
    r.storedRows.store(r.converted - pending, std::memory_order_relaxed);
    r.calls.fetch_add(1, std::memory_order_release);
    return 0;
}

// The real window, its refresh tick timed and the memory sampled on it.
class TimedWindow : public MainWindow
{
public:
    int ticks = 0;
    double worstTickMs = 0;
    qint64 rssBaseline = 0;
    qint64 rssPeak = 0;
    qint64 indexPeak = 0;

protected:
    void timerEvent(QTimerEvent *event) override
    {
        const auto began = Clock::now();
        MainWindow::timerEvent(event);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
        ++ticks;
        worstTickMs = std::max(worstTickMs, ms);
        const qint64 rss = residentBytes();
        if (!rssBaseline)
            rssBaseline = rss;
        rssPeak = std::max(rssPeak, rss);
        indexPeak = std::max(indexPeak, indexBytesFor(capturePipeline().storedLineCount()));
    }
};

QAction *action(QWidget &w, const char *name)
{
    return w.findChild<QAction *>(QString::fromLatin1(name));
}

void writeSymbols(std::mt19937 &rng)
{
    SymbolList symbols;
    static const char *const addresses[] = {"50", "40", "68", "3C"};
    const int n = 1 + int(rng() % 4);
    for (int i = 0; i < n; ++i) {
        const QString addr = QString::fromLatin1(addresses[rng() % 4]);
        if (rng() % 2)
            symbols << SymbolDef(QStringLiteral("A%1").arg(i), QStringLiteral("ADDR"), addr,
                                 QStringLiteral("-"), QStringLiteral("0"),
                                 rng() % 2 ? QStringLiteral("WRITE") : QStringLiteral("READ"));
        else
            symbols << SymbolDef(QStringLiteral("D%1").arg(i), QStringLiteral("DATA"), addr,
                                 QString::number(rng() % 256, 16).toUpper(),
                                 QString::number(rng() % 4), QStringLiteral("WRITE"));
    }
    QVERIFY(SymbolFile::write(SymbolFile::defaultPath(), symbols));
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
    const qint64 maxSeconds = envNumber("KORVEX_SOAK_MAX_SECONDS", 1500);
    const auto deadline = Clock::now() + std::chrono::seconds(maxSeconds);
    qputenv("KORVEX_SIMULATOR", "1");
    qputenv("KORVEX_SIM_SPEED", "max");
    qunsetenv("KORVEX_REPLAY");
    QDir(QStringLiteral("symbols")).removeRecursively();
    SymbolFile::makeDefaultDir();
    std::mt19937 rng(20240611);
    writeSymbols(rng);

    TimedWindow w;
    w.show();
    ModalAnswerer answerer; // no box is expected; none may hang the run
    auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
    QVERIFY(bar);

    QVERIFY(scanAdapters(nullptr) >= 1);
    QVERIFY(openAdapter(0));
    // The lowest sample rate gives the most rows per generated sample.
    QCOMPARE(startI2CCapture(0, 0, 1000000, recordingCallback), 0);

    // Busy phase: 40% of the rows (and at least a few seconds' worth of
    // actions), then the last Clear, then a quiet phase of 60% of the rows.
    const qint64 busyRows = targetRows * 2 / 5;
    const qint64 quietRows = targetRows - busyRows;
    int clears = 0, toggles = 0, replacements = 0, scrolls = 0;
    bool timedOut = false;
    int step = 0;
    while (qint64(recorder.storedRows.load()) < busyRows || step < 120) {
        if (Clock::now() > deadline) {
            timedOut = true;
            break;
        }
        QTest::qWait(25);
        ++step;
        QAction *merge = action(w, "actionMerge");
        QAction *decode = action(w, "actionDecode");
        switch (rng() % 8) {
        case 0:
            action(w, "actionClear")->trigger();
            ++clears;
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
            ++toggles;
            break;
        case 3:
            if (rng() % 2) {
                writeSymbols(rng);
                // Decode reads the symbol file as it is switched on.
                if (decode->isChecked()) {
                    decode->trigger();
                    decode->trigger();
                }
            } else {
                symbolDecoder().setActiveSymbols(
                    {SymbolDef(QStringLiteral("E"), QStringLiteral("ADDR"), QStringLiteral("50"),
                               QStringLiteral("-"), QStringLiteral("0"), QStringLiteral("WRITE"))});
            }
            ++replacements;
            break;
        default:
            bar->setValue(rng() % 3 ? int(rng() % unsigned(bar->maximum() + 1)) : bar->maximum());
            ++scrolls;
            break;
        }
    }
    if (action(w, "actionMerge")->isChecked())
        action(w, "actionMerge")->trigger();
    if (action(w, "actionDecode")->isChecked())
        action(w, "actionDecode")->trigger();
    QVERIFY(!capturePipeline().mergeEnabled && !capturePipeline().decodeEnabled);

    // The last Clear, made with the calls the window's Clear makes. While the
    // store is held no call can store, so once two calls have passed the
    // mirror of the kept rows is exact; those rows and every later one must
    // be in the store after the reset.
    CapturePipeline &pipeline = capturePipeline();
    pipeline.acquireStoreWaiting();
    const uint64_t callsAtHold = recorder.calls.load(std::memory_order_acquire);
    while (recorder.calls.load(std::memory_order_acquire) < callsAtHold + 2 &&
           Clock::now() < deadline)
        QThread::usleep(200);
    pipeline.store().resetStore();
    recorder.lastClearDone.store(true, std::memory_order_release);
    const qint64 storedAtLastClear = qint64(recorder.storedRows.load());
    pipeline.releaseStore();
    ++clears;
    bar->setValue(bar->maximum());

    while (!timedOut && qint64(recorder.storedRows.load()) - storedAtLastClear < quietRows) {
        if (Clock::now() > deadline) {
            timedOut = true;
            break;
        }
        QTest::qWait(25);
        if (rng() % 4 == 0) {
            bar->setValue(rng() % 2 ? int(rng() % unsigned(bar->maximum() + 1)) : bar->maximum());
            ++scrolls;
        }
    }
    bar->setValue(bar->maximum());
    QTest::qWait(100);

    QCOMPARE(stopI2CCapture(0), 0);
    const uint64_t callsAtStop = recorder.calls.load();
    QTest::qWait(100);
    const uint64_t callsAfterStop = recorder.calls.load() - callsAtStop;
    // No capture runs: answer the GUI's last request for the store, then one
    // more call stores the rows still kept back.
    QVERIFY(pipeline.tryAcquireStore());
    pipeline.releaseStore();
    recordingCallback(0, 0, nullptr, 0);
    QCOMPARE(pipeline.pendingRows().size(), size_t(0));

    // Read the store back in chunks and hash it the same way.
    const CaptureStore &store = pipeline.store();
    const qint64 storedLines = store.lineCount();
    LineHash storedHash;
    for (qint64 first = 0; first < storedLines; first += 100000) {
        const QByteArray bytes = store.readLines(int(first), 100000);
        storedHash.add(bytes.constData(), size_t(bytes.size()));
    }
    const qint64 expected = qint64(recorder.expectedRows);
    const qint64 lost = std::max<qint64>(0, expected - storedLines);
    const qint64 duplicated = std::max<qint64>(0, storedLines - expected);
    const double mb = 1024.0 * 1024.0;
    const qint64 rssGrowth = w.rssPeak - w.rssBaseline;
    std::printf("soak: rows=%llu lost=%lld duplicated=%lld worst_tick_ms=%.1f rss_growth_mb=%.1f "
                "index_mb=%.1f\n",
                (unsigned long long)recorder.storedRows.load(), (long long)lost,
                (long long)duplicated, w.worstTickMs, rssGrowth / mb, w.indexPeak / mb);
    std::printf(
        "soak: ticks=%d final_segment_rows=%lld clears=%d toggles=%d symbol_replacements=%d "
        "scrolls=%d callbacks=%llu\n",
        w.ticks, (long long)expected, clears, toggles, replacements, scrolls,
        (unsigned long long)callsAtStop);
    std::fflush(stdout);

    QVERIFY2(!timedOut, "the rows were not reached within KORVEX_SOAK_MAX_SECONDS");
    QCOMPARE(callsAfterStop, uint64_t(0));
    QVERIFY2(!recorder.mirrorBroken, "the test's converter disagrees with the pipeline's");
    QVERIFY(recorder.expecting);
    QVERIFY(expected > 0);
    QCOMPARE(lost, qint64(0));
    QCOMPARE(duplicated, qint64(0));
    QVERIFY2(storedHash.value == recorder.expectedHash.value,
             "the stored lines differ from the converted rows (order or content)");
    QVERIFY(!store.failed());
    QVERIFY(answerer.titles.isEmpty());
#if KORVEX_SOAK_SANITIZED
    std::printf("soak: memory bound not checked under a sanitizer\n");
#else
    // Growth beyond the index: page, batch and pending buffers, allocator slack.
    QVERIFY2(rssGrowth - w.indexPeak < qint64(64 * mb),
             qPrintable(QStringLiteral("RSS grew %1 MiB beyond the index")
                            .arg((rssGrowth - w.indexPeak) / mb)));
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
