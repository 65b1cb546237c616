// The window end to end on the built-in simulator: capture file, enabling, warnings, follow,
// labelling, Save then Open, a failing store; and the soak, run on its own as tst_soak.
#include "capturepipeline.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "quietdebug.h"
#include "storedline.h"
#include "symbolfile.h"
#include "symbollabeler.h"

#include <korvex/korvex.h>

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <random>
#include <sys/resource.h>

namespace {
const QString kTempFile = QStringLiteral("I2CDataTemp.dat");

QAction *action(QWidget &w, const char *name)
{
    return w.findChild<QAction *>(name);
}

// Start, Stop, Save and Open: '1' where enabled.
QString enabled(QWidget &w)
{
    QString s;
    for (const char *name : {"actionStart", "actionStop", "actionSaveFile", "actionOpenFile"})
        s += action(w, name)->isEnabled() ? '1' : '0';
    return s;
}

// Accepts the start dialog with its defaults, running onAccept first.
ModalAnswerer::Handler acceptStartDialog(std::function<void()> onAccept = [] {})
{
    return [onAccept](QWidget *d) {
        if (d->objectName() != QLatin1String("StartDialog"))
            return false;
        onAccept();
        d->findChild<QPushButton *>(QStringLiteral("positivePushButton"))->click();
        return true;
    };
}

QByteArray storedText()
{
    CaptureStore &store = capturePipeline().store();
    capturePipeline().acquireStoreWaiting();
    const QByteArray all = store.readLines(0, store.lineCount());
    capturePipeline().releaseStore();
    return all;
}

// The soak's callback: the program's, then a converter of its own, fresh like the program's.
EventConverter converter;
std::vector<CaptureRow> batch;
std::string line;
uint64_t expectedRows = 0;
QCryptographicHash expectedHash(QCryptographicHash::Md5);
std::atomic<bool> expecting{false};
std::atomic<uint64_t> converted{0};

int32_t recordingCallback(int32_t index, int32_t sequence, const I2CEvent *events, int32_t count)
{
    onI2CEvents(index, sequence, events, count);
    batch.clear();
    converter.convertEvents(events, count, batch);
    for (size_t i = 0; i < batch.size() && expecting.load(std::memory_order_acquire); ++i) {
        line.clear();
        StoredLine::append(line, int(expectedRows++), batch[i]);
        expectedHash.addData(line.data(), int(line.size()));
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
}
} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("KORVEX_SIMULATOR", "1"); }
    void cleanup() { QDir().rmdir(kTempFile); }

    void temporaryFileLifeCycle()
    {
        {
            MainWindow w;
            QCOMPARE(enabled(w), QStringLiteral("1011"));
        }
        QVERIFY(!QFile::exists(kTempFile));
        QVERIFY(QDir().mkdir(kTempFile)); // cannot be opened, even by root
        ModalAnswerer answerer;
        MainWindow w;
        QTRY_COMPARE(answerer.titles, QStringList{"警告"});
        QVERIFY(answerer.texts[0].contains(kTempFile));
    }

    void startStopClearAndFollow()
    {
        MainWindow w;
        w.show();
        auto *model = w.findChild<QTableView *>(QStringLiteral("displayTableView"))->model();
        auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        const auto following = [bar] {
            return bar->maximum() > 0 && bar->value() == bar->maximum();
        };
        // The first time, as if the only adapter were unplugged while the start dialog is open.
        const char *simulator = "0";
        ModalAnswerer answerer(acceptStartDialog([&] { qputenv("KORVEX_SIMULATOR", simulator); }));
        action(w, "actionStart")->trigger();
        QTRY_COMPARE(answerer.texts.last(), QStringLiteral("无设备连接！"));
        QCOMPARE(enabled(w), QStringLiteral("1011"));
        qputenv("KORVEX_SIMULATOR", simulator = "1");
        action(w, "actionStart")->trigger();
        QCOMPARE(enabled(w), QStringLiteral("0100"));
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() > 3 && following(), 10000);
        bar->setValue(0);
        QTRY_COMPARE(model->index(0, 0).data().toString(), QStringLiteral("0"));
        action(w, "actionStop")->trigger();
        QCOMPARE(enabled(w), QStringLiteral("1011"));

        // Clear while capturing empties, and follows again.
        action(w, "actionStart")->trigger();
        action(w, "actionClear")->trigger();
        QCOMPARE(model->rowCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(following(), 10000);
        action(w, "actionStop")->trigger();
        QCOMPARE(answerer.titles.count(QStringLiteral("警告")), 1);
    }

    void decodeThenSaveAndOpen()
    {
        MainWindow w;
        w.show();
        // Written after the window is up: Decode loads the symbols as it is switched on.
        SymbolFile::makeDefaultDir();
        QVERIFY(SymbolFile::write(SymbolFile::defaultPath(),
                                  {{"RTC", "ADDR", "68", "-", "0", "WRITE"}}));
        ModalAnswerer answerer([start = acceptStartDialog()](QWidget *d) {
            auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!qobject_cast<QFileDialog *>(d) || !name)
                return start(d);
            // The name typed into the file dialog, then confirmed, as a user would.
            name->setText(QDir::current().absoluteFilePath(QStringLiteral("capture.csv")));
            QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
            return true;
        });
        QAction *merge = action(w, "actionMerge"), *decode = action(w, "actionDecode");
        decode->trigger();
        QVERIFY(!merge->isEnabled());
        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storedText().contains(",ADDR,68,WRITE,-- [RTC],"), 15000);
        action(w, "actionStop")->trigger();
        decode->trigger();
        merge->trigger();
        QVERIFY(!decode->isEnabled() && capturePipeline().mergeEnabled &&
                !capturePipeline().decodeEnabled);

        const QByteArray before = storedText();
        // Rows not saved yet: Open asks first, and anything but Yes keeps them.
        action(w, "actionOpenFile")->trigger();
        QCOMPARE(storedText(), before);
        QVERIFY(answerer.texts.last().contains(QStringLiteral("尚未保存")));
        action(w, "actionSaveFile")->trigger();
        action(w, "actionClear")->trigger();
        action(w, "actionOpenFile")->trigger();
        QCOMPARE(storedText(), before);
        QTRY_VERIFY(w.findChild<QTableView *>()->model()->rowCount() > 0);
        QCOMPARE(answerer.titles.count(QStringLiteral("警告")), 1);
    }

    void storeFailureWarnsOnceAndClearRecovers()
    {
        std::signal(SIGXFSZ, SIG_IGN); // as the program: the write fails, the process lives
        qputenv("KORVEX_SIM_SPEED", "max");
        rlimit limit{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
        const auto restore = qScopeGuard([limit] { setrlimit(RLIMIT_FSIZE, &limit); });
        limit.rlim_cur = 300001; // the capture file fails within a second at full speed
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
        MainWindow w;
        w.show();
        ModalAnswerer answerer(acceptStartDialog());
        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answerer.titles.contains(QStringLiteral("警告")), 20000);
        QTest::qWait(400); // the capture goes on, with no second box
        action(w, "actionStop")->trigger();
        QCOMPARE(answerer.titles.count(QStringLiteral("警告")), 1);
        QVERIFY2(answerer.texts.last().contains(QString::fromLocal8Bit(strerror(EFBIG))),
                 qPrintable(answerer.texts.last()));
        // A failed store refuses Start until Clear gives a working one.
        action(w, "actionStart")->trigger();
        QTRY_COMPARE(answerer.titles.size(), 4);
        QCOMPARE(enabled(w), QStringLiteral("1011"));
        action(w, "actionClear")->trigger();
        QVERIFY(!capturePipeline().store().failed() && capturePipeline().store().lineCount() == 0);
    }

    // KORVEX_SOAK_ROWS rows at full speed while the test scrolls, clears and toggles Merge and
    // Decode, then only scrolls: the store must hold exactly the rows since the last Clear.
    void simulatorAtFullSpeedIntoTheWindow()
    {
        dropDebugMessages();
        const qint64 rows = qEnvironmentVariable("KORVEX_SOAK_ROWS", "10000000").toLongLong();
        qputenv("KORVEX_SIM_SPEED", "max");
        MainWindow w;
        w.show();
        ModalAnswerer answerer; // no box is expected; none may hang the run
        auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        QAction *merge = action(w, "actionMerge"), *decode = action(w, "actionDecode");
        std::mt19937 rng(20240611);
        symbolLabeler().setActiveSymbols({{"A", "ADDR", "68", "-", "0", "WRITE"}});
        const auto scroll = [&] {
            bar->setValue(rng() % 2 ? int(rng() % unsigned(bar->maximum() + 1)) : bar->maximum());
        };
        auto peakResidentBytes = [usage = rusage{}]() mutable {
            return getrusage(RUSAGE_SELF, &usage) == 0 ? qint64(usage.ru_maxrss) * 1024 : 0;
        };
        const qint64 rssBaseline = peakResidentBytes();
        QVERIFY(scanAdapters(nullptr) >= 1 && openAdapter(0));
        QCOMPARE(startI2CCapture(0, 0, 1000000, recordingCallback), 0);
        for (int step = 0; qint64(converted) < rows * 2 / 5 || step < 120; ++step) {
            QTest::qWait(25);
            const unsigned what = rng() % 7;
            if (what == 0)
                action(w, "actionClear")->trigger();
            else if (what < 3) // only one of the two is enabled while the other is on
                (merge->isChecked() || (!decode->isChecked() && rng() % 2) ? merge : decode)
                    ->trigger();
            else
                scroll();
        }
        for (QAction *a : {merge, decode})
            if (a->isChecked())
                a->trigger();

        // The last Clear with nothing kept back, then the quiet 60%.
        QCOMPARE(stopI2CCapture(0), 0);
        storeKeptRows();
        action(w, "actionClear")->trigger();
        expecting.store(true, std::memory_order_release);
        const qint64 convertedAtClear = qint64(converted);
        QCOMPARE(startI2CCapture(0, 0, 1000000, recordingCallback), 0);
        while (qint64(converted) - convertedAtClear < rows - rows * 2 / 5) {
            QTest::qWait(25);
            scroll();
        }
        QCOMPARE(stopI2CCapture(0), 0);
        storeKeptRows();

        const CaptureStore &store = capturePipeline().store();
        QCryptographicHash storedHash(QCryptographicHash::Md5);
        for (int first = 0; first < store.lineCount(); first += 100000)
            storedHash.addData(store.readLines(first, 100000));
        // The final segment is the longest, so the index is at its peak now.
        const qint64 beyondIndex =
            peakResidentBytes() - rssBaseline - qint64(store.lineIndex().memoryBytes());
        QCOMPARE(qint64(store.lineCount()), qint64(expectedRows)); // none lost or stored twice
        QCOMPARE(storedHash.result().toHex(), expectedHash.result().toHex()); // and in order
        QVERIFY(expectedRows > 0 && !store.failed() && answerer.titles.isEmpty());
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        // Page, batch and pending buffers, allocator slack (a sanitizer allocates otherwise).
        QVERIFY2(beyondIndex < 64ll << 20, "resident memory grew beyond the index");
#endif
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
