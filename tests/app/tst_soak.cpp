// Soak: the simulator at full speed into the window while it ticks and the
// test scrolls, clears, toggles Merge and Decode and replaces the symbols;
// then, after a last Clear, only ticks and scrolling. KORVEX_SOAK_ROWS rows
// in all; the store must then hold exactly the rows converted since that
// Clear, in order, and memory beyond the line index must stay bounded.
// The callback forwards to onI2CEvents and converts the same events with a
// converter of its own, which starts fresh with the program's.
#include "capturepipeline.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "quietdebug.h"
#include "storedline.h"
#include "symboldecoder.h"
#include "symbolfile.h"

#include <korvex/korvex.h>

#include <QAction>
#include <QDeadlineTimer>
#include <QScrollBar>
#include <QTextCodec>
#include <QtTest>

#include <atomic>
#include <random>
#include <unistd.h>

namespace {
// FNV-1a over the line texts, fed in any split.
void hashAdd(uint64_t &hash, const char *data, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ uint8_t(data[i])) * 1099511628211ull;
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    return statm.open(QIODevice::ReadOnly)
               ? statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE)
               : 0;
}

EventConverter converter;
std::vector<CaptureRow> batch;
std::string line;
uint64_t expectedRows = 0, expectedHash = 1469598103934665603ull; // the callback's while capturing
std::atomic<bool> expecting{false}; // after the last Clear: every converted row must be stored
std::atomic<uint64_t> converted{0};

int32_t recordingCallback(int32_t index, int32_t sequence, const I2CEvent *events, int32_t count)
{
    onI2CEvents(index, sequence, events, count);
    batch.clear();
    converter.convertEvents(events, count, batch);
    for (const CaptureRow &row : batch) {
        if (!expecting.load(std::memory_order_acquire))
            break;
        line.clear();
        StoredLine::append(line, int(expectedRows++), row);
        hashAdd(expectedHash, line.data(), line.size());
    }
    converted.fetch_add(batch.size(), std::memory_order_release);
    return 0;
}

// With no capture running, one empty call stores the rows still kept back.
void storeKeptRows()
{
    QVERIFY(capturePipeline().tryAcquireStore());
    capturePipeline().releaseStore();
    onI2CEvents(0, 0, nullptr, 0);
    QVERIFY(capturePipeline().pendingRows().empty());
}

SymbolList symbolsFor(unsigned n)
{
    const char *addr = n % 2 ? "50" : "68";
    return {{"A", "ADDR", addr, "-", "0", n % 4 ? "WRITE" : "READ"},
            {"D", "DATA", addr, QString::number(n % 256, 16).toUpper(), QString::number(n % 3),
             "WRITE"}};
}
} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void simulatorAtFullSpeedIntoTheWindow()
    {
        dropDebugMessages();
        const qint64 rows =
            qMax(1000ll, qEnvironmentVariable("KORVEX_SOAK_ROWS", "10000000").toLongLong());
        // A bound far above what the rows take, so that a stalled run ends by itself.
        const QDeadlineTimer deadline(
            1000 * qEnvironmentVariable("KORVEX_SOAK_MAX_SECONDS", "1500").toLongLong());
        qputenv("KORVEX_SIMULATOR", "1");
        qputenv("KORVEX_SIM_SPEED", "max");
        qunsetenv("KORVEX_REPLAY");
        std::mt19937 rng(20240611);
        SymbolFile::makeDefaultDir();
        QVERIFY(SymbolFile::write(SymbolFile::defaultPath(), symbolsFor(rng())));
        MainWindow w;
        w.show();
        ModalAnswerer answerer; // no box is expected; none may hang the run
        auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        QAction *merge = w.findChild<QAction *>(QStringLiteral("actionMerge"));
        QAction *decode = w.findChild<QAction *>(QStringLiteral("actionDecode"));
        const qint64 rssBaseline = residentBytes();
        qint64 rssPeak = rssBaseline;
        QVERIFY(scanAdapters(nullptr) >= 1 && openAdapter(0));
        // The lowest sample rate gives the most rows per generated sample.
        QCOMPARE(startI2CCapture(0, 0, 1000000, recordingCallback), 0);

        // Busy: 40% of the rows and at least 120 actions.
        for (int step = 0;
             !deadline.hasExpired() && (qint64(converted.load()) < rows * 2 / 5 || step < 120);
             ++step) {
            QTest::qWait(25);
            rssPeak = qMax(rssPeak, residentBytes());
            switch (rng() % 8) {
            case 0:
                w.findChild<QAction *>(QStringLiteral("actionClear"))->trigger();
                break;
            case 1:
            case 2: // only one of the two is enabled while the other is on
                (merge->isChecked() || (!decode->isChecked() && rng() % 2) ? merge : decode)
                    ->trigger();
                break;
            case 3: // half the time through the file, which Decode reads as it is switched on
                if (rng() % 2) {
                    symbolDecoder().setActiveSymbols(symbolsFor(rng()));
                } else if (SymbolFile::write(SymbolFile::defaultPath(), symbolsFor(rng())) &&
                           decode->isChecked()) {
                    decode->trigger();
                    decode->trigger();
                }
                break;
            default:
                bar->setValue(rng() % 3 ? int(rng() % unsigned(bar->maximum() + 1))
                                        : bar->maximum());
            }
        }
        for (QAction *a : {merge, decode})
            if (a->isChecked())
                a->trigger();

        // The last Clear with nothing kept back, then the quiet 60%.
        QCOMPARE(stopI2CCapture(0), 0);
        storeKeptRows();
        w.findChild<QAction *>(QStringLiteral("actionClear"))->trigger();
        expecting.store(true, std::memory_order_release);
        const qint64 convertedAtClear = qint64(converted.load());
        QCOMPARE(startI2CCapture(0, 0, 1000000, recordingCallback), 0);
        while (!deadline.hasExpired() &&
               qint64(converted.load()) - convertedAtClear < rows - rows * 2 / 5) {
            QTest::qWait(25);
            rssPeak = qMax(rssPeak, residentBytes());
            if (rng() % 4 == 0)
                bar->setValue(rng() % 2 ? int(rng() % unsigned(bar->maximum() + 1))
                                        : bar->maximum());
        }
        QCOMPARE(stopI2CCapture(0), 0);
        const uint64_t convertedAtStop = converted.load(std::memory_order_acquire);
        storeKeptRows();

        const CaptureStore &store = capturePipeline().store();
        uint64_t storedHash = 1469598103934665603ull;
        for (int first = 0; first < store.lineCount(); first += 100000) {
            const QByteArray bytes = store.readLines(first, 100000);
            hashAdd(storedHash, bytes.constData(), size_t(bytes.size()));
        }
        // The final segment is the longest, so the index is at its peak now.
        const qint64 beyondIndex = rssPeak - rssBaseline - qint64(store.lineIndex().memoryBytes());
        qInfo("soak: rows=%llu final_segment=%llu rss_beyond_index_mb=%.1f",
              (unsigned long long)convertedAtStop, (unsigned long long)expectedRows,
              beyondIndex / 1048576.0);
        QVERIFY2(!deadline.hasExpired(),
                 "the rows were not reached within KORVEX_SOAK_MAX_SECONDS");
        QCOMPARE(converted.load(), convertedAtStop); // no callback after Stop
        QVERIFY(expectedRows > 0);
        QCOMPARE(qint64(store.lineCount()), qint64(expectedRows)); // none lost, none stored twice
        QVERIFY2(storedHash == expectedHash, "the stored lines differ from the converted rows");
        QVERIFY(!store.failed() && answerer.titles.isEmpty());
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        // Page, batch and pending buffers and allocator slack (not under a sanitizer's allocator).
        QVERIFY2(beyondIndex < 64ll << 20, "resident memory grew beyond the index");
#endif
    }
};

int main(int argc, char **argv)
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QApplication app(argc, argv);
    TestSoak t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_soak.moc"
