// The window end to end on the built-in simulator: its capture file, which
// actions are enabled when, the warning boxes, the refresh tick's follow,
// labelling, Save then Open, and a capture file that fails mid-capture.
#include "capturepipeline.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "quietdebug.h"
#include "symbolfile.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {
const QString kTempFile = QStringLiteral("I2CDataTemp.dat");

QAction *action(QWidget &w, const char *name)
{
    return w.findChild<QAction *>(QString::fromLatin1(name));
}

// Start, Stop, Save and Open: '1' where enabled.
QString enabled(QWidget &w)
{
    QString s;
    for (const char *name : {"actionStart", "actionStop", "actionSaveFile", "actionOpenFile"})
        s += action(w, name)->isEnabled() ? '1' : '0';
    return s;
}

// Accepts the start dialog with its defaults (or with onAccept run first).
ModalAnswerer::Handler acceptStartDialog(std::function<void()> onAccept = {})
{
    return [onAccept](QWidget *w) {
        if (w->objectName() != QLatin1String("StartDialog"))
            return false;
        if (onAccept)
            onAccept();
        w->findChild<QPushButton *>(QStringLiteral("positivePushButton"))->click();
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
} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("KORVEX_SIMULATOR", "1");
        qunsetenv("KORVEX_REPLAY");
    }
    void cleanup() { QDir().rmdir(kTempFile); }

    void temporaryFileLifeCycleAndBoxes()
    {
        QFile stale(kTempFile);
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("0,START\n") > 0);
        stale.close();
        auto w = std::make_unique<MainWindow>();
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->show();
        QCOMPARE(QFileInfo(kTempFile).size(), 0);
        QCOMPARE(enabled(*w), QStringLiteral("1011"));
        ModalAnswerer answerer;
        action(*w, "actionHelp")->trigger();
        action(*w, "actionAbout")->trigger();
        QCOMPARE(answerer.titles, (QStringList{"帮助", "关于"}));
        QVERIFY(answerer.texts[1].startsWith(answerer.texts[0]));
        action(*w, "actionExit")->trigger();
        QVERIFY(!w->isVisible());
        w.reset();
        QVERIFY(!QFile::exists(kTempFile));
    }

    void unusableTemporaryFileIsReportedAndRefusesStart()
    {
        QVERIFY(QDir().mkdir(kTempFile)); // cannot be opened, even by root
        ModalAnswerer answerer(acceptStartDialog());
        MainWindow w;
        w.show();
        QTRY_COMPARE(answerer.titles, QStringList{"警告"});
        QVERIFY(answerer.texts.first().contains(kTempFile));
        // Capturing into it would lose every row: Start warns instead.
        action(w, "actionStart")->trigger();
        QTRY_COMPARE(answerer.titles.size(), 3);
        QVERIFY(answerer.texts.last().contains(kTempFile));
        QCOMPARE(enabled(w), QStringLiteral("1011"));
    }

    void startStopClearAndFollow()
    {
        MainWindow w;
        w.show();
        auto *model = w.findChild<QTableView *>(QStringLiteral("displayTableView"))->model();
        auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        ModalAnswerer answerer(acceptStartDialog());
        action(w, "actionStart")->trigger();
        QCOMPARE(enabled(w), QStringLiteral("0100"));
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() > 3, 10000);
        // The tick follows the last stored line until the user scrolls away.
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        bar->setValue(0);
        const int maximum = bar->maximum();
        QTRY_COMPARE(model->index(0, 0).data().toString(), QStringLiteral("0"));
        action(w, "actionStop")->trigger();
        QCOMPARE(enabled(w), QStringLiteral("1011"));
        QCOMPARE(bar->maximum(), maximum);

        // Start again appends; Clear while capturing empties, and follows again.
        const int firstCapture = capturePipeline().store().lineCount();
        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(capturePipeline().store().lineCount() > firstCapture, 10000);
        action(w, "actionClear")->trigger();
        QCOMPARE(model->rowCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 0 && bar->value() == bar->maximum(), 10000);
        action(w, "actionStop")->trigger();
        QVERIFY(storedText().startsWith("0,"));
        QCOMPARE(answerer.titles.count(QStringLiteral("警告")), 0);
    }

    void adapterGoneBeforeStartWarns()
    {
        MainWindow w;
        w.show();
        // As if the only adapter were unplugged while the start dialog is open.
        ModalAnswerer answerer(acceptStartDialog([] { qputenv("KORVEX_SIMULATOR", "0"); }));
        action(w, "actionStart")->trigger();
        QTRY_VERIFY(answerer.texts.contains(QStringLiteral("无设备连接！")));
        QCOMPARE(enabled(w), QStringLiteral("1011"));
    }

    void decodeLabelsRowsAndExcludesMerge()
    {
        MainWindow w;
        w.show();
        // Written after the window is up: Decode loads the symbols as it is switched on.
        QVERIFY(QDir().mkpath(QStringLiteral("symbols")));
        QVERIFY(SymbolFile::write(SymbolFile::defaultPath(),
                                  {{"RTC", "ADDR", "68", "-", "0", "WRITE"}}));
        QAction *merge = action(w, "actionMerge");
        QAction *decode = action(w, "actionDecode");
        ModalAnswerer answerer(acceptStartDialog());
        decode->trigger();
        QVERIFY(!merge->isEnabled());
        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storedText().contains(",ADDR,68,WRITE,-- [RTC],"), 15000);
        action(w, "actionStop")->trigger();
        decode->trigger();
        merge->trigger();
        QVERIFY(!decode->isEnabled() && capturePipeline().mergeEnabled);
        merge->trigger();
        QVERIFY(decode->isEnabled() && !capturePipeline().decodeEnabled);
        QCOMPARE(answerer.titles.size(), 1); // the start dialog, and no box
    }

    void saveThenOpenRestoresTheCapture()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.csv"));
        MainWindow w;
        w.show();
        {
            ModalAnswerer answerer(acceptStartDialog());
            action(w, "actionStart")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(capturePipeline().store().lineCount() > 20, 10000);
            action(w, "actionStop")->trigger();
        }
        const QByteArray before = storedText();
        // The name typed into the file dialog, then confirmed, as a user would.
        ModalAnswerer chooseFile([path](QWidget *d) {
            auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!qobject_cast<QFileDialog *>(d) || !name)
                return false;
            name->setText(path);
            QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
            return true;
        });
        action(w, "actionSaveFile")->trigger();
        action(w, "actionClear")->trigger();
        QCOMPARE(capturePipeline().store().lineCount(), 0);
        action(w, "actionOpenFile")->trigger();
        QCOMPARE(storedText(), before);
        auto *model = w.findChild<QTableView *>(QStringLiteral("displayTableView"))->model();
        QTRY_VERIFY(model->rowCount() > 0);
    }

    void storeFailureWarnsOnceAndClearRecovers()
    {
        dropDebugMessages();
        std::signal(SIGXFSZ, SIG_IGN); // as the program: the write fails, the process lives
        qputenv("KORVEX_SIM_SPEED", "max");
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        rlimit lowered = saved;
        lowered.rlim_cur = 300001;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &lowered) == 0);
        const auto restore = qScopeGuard([&saved] {
            ::setrlimit(RLIMIT_FSIZE, &saved);
            qunsetenv("KORVEX_SIM_SPEED");
        });

        MainWindow w;
        w.show();
        ModalAnswerer answerer(acceptStartDialog());
        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answerer.titles.contains(QStringLiteral("警告")), 20000);
        QTest::qWait(400); // the capture goes on, with no second box
        action(w, "actionStop")->trigger();
        QCOMPARE(answerer.titles.count(QStringLiteral("警告")), 1);
        QCOMPARE(answerer.titles.size(), 2);
        QVERIFY2(answerer.texts.last().contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(answerer.texts.last()));
        // A failed store refuses Start until Clear gives a working one.
        action(w, "actionStart")->trigger();
        QTRY_COMPARE(answerer.titles.size(), 4);
        QCOMPARE(enabled(w), QStringLiteral("1011"));
        action(w, "actionClear")->trigger();
        QVERIFY(!capturePipeline().store().failed());
        QCOMPARE(capturePipeline().store().lineCount(), 0);
    }
};

int main(int argc, char **argv)
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QApplication app(argc, argv);
    TestCapture t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_capture.moc"
