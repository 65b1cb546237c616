// End to end through the window: Start on the built-in simulator, rows in the
// table, Stop / Start appending, Clear mid-capture, no adapter, labelling,
// and Save then Open.
#include "capturepipeline.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "symbolfile.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {
QAction *action(QWidget &w, const char *name)
{
    return w.findChild<QAction *>(QString::fromLatin1(name));
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

QList<QByteArray> storedLines()
{
    CaptureStore &store = capturePipeline().store();
    capturePipeline().acquireStoreWaiting();
    const QByteArray all = store.readLines(0, store.lineCount());
    capturePipeline().releaseStore();
    QList<QByteArray> lines = all.split('\n');
    lines.removeLast();
    return lines;
}

int rowNumber(const QByteArray &line)
{
    return line.left(line.indexOf(',')).toInt();
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
        QDir(QStringLiteral("symbols")).removeRecursively();
    }

    void startStopStartAppendsAndClearRenumbers()
    {
        MainWindow w;
        w.show();
        ModalAnswerer answerer(acceptStartDialog());
        action(w, "actionStart")->trigger();
        QVERIFY(!action(w, "actionStart")->isEnabled());
        QVERIFY(action(w, "actionStop")->isEnabled());
        QVERIFY(!action(w, "actionSaveFile")->isEnabled());
        QVERIFY(!action(w, "actionOpenFile")->isEnabled());

        auto *model = w.findChild<QTableView *>(QStringLiteral("displayTableView"))->model();
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() > 3, 10000);
        const QString type = model->index(0, 1).data().toString();
        QVERIFY2(QStringList({"START", "ADDR", "DATA", "STOP"}).contains(type), qPrintable(type));

        action(w, "actionStop")->trigger();
        QVERIFY(action(w, "actionStart")->isEnabled());
        QVERIFY(!action(w, "actionStop")->isEnabled());
        QVERIFY(action(w, "actionSaveFile")->isEnabled());
        const int firstCapture = capturePipeline().store().lineCount();
        QVERIFY(firstCapture > 0);

        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(capturePipeline().store().lineCount() > firstCapture + 3, 10000);
        action(w, "actionStop")->trigger();
        const QList<QByteArray> lines = storedLines();
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(rowNumber(lines[i]), i);

        // Clear while capturing: the next stored row is number 0 again.
        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(capturePipeline().store().lineCount() > lines.size(), 10000);
        action(w, "actionClear")->trigger();
        QCOMPARE(model->rowCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(capturePipeline().store().lineCount() > 0, 10000);
        action(w, "actionStop")->trigger();
        QCOMPARE(rowNumber(storedLines().first()), 0);
        QVERIFY(answerer.texts.join(QString()).isEmpty());
    }

    void adapterGoneBeforeStartWarns()
    {
        MainWindow w;
        w.show();
        // The simulator is switched off while the dialog is open: as if the
        // only adapter were unplugged before OK.
        ModalAnswerer answerer(acceptStartDialog([] { qputenv("KORVEX_SIMULATOR", "0"); }));
        action(w, "actionStart")->trigger();
        QTRY_VERIFY(answerer.texts.contains(QStringLiteral("无设备连接！")));
        QVERIFY(action(w, "actionStart")->isEnabled());
        QVERIFY(!action(w, "actionStop")->isEnabled());
    }

    void decodeLabelsStoredRowsWithTheLastGoodSymbols()
    {
        // Decode loads the symbols as it is switched on; when the file has
        // vanished by the next time, those of the last good load stay in force.
        QVERIFY(QDir().mkpath(QStringLiteral("symbols")));
        QVERIFY(SymbolFile::write(SymbolFile::defaultPath(),
                                  {{"RTC", "ADDR", "68", "-", "0", "WRITE"}}));
        MainWindow w;
        w.show();
        action(w, "actionClear")->trigger();
        action(w, "actionDecode")->trigger();
        action(w, "actionDecode")->trigger();
        QVERIFY(QDir(QStringLiteral("symbols")).removeRecursively());

        ModalAnswerer answerer(acceptStartDialog());
        action(w, "actionDecode")->trigger();
        QVERIFY(!action(w, "actionMerge")->isEnabled());
        action(w, "actionStart")->trigger();
        const auto labelled = [] {
            for (const QByteArray &line : storedLines())
                if (line.contains(",ADDR,68,WRITE,-- [RTC],"))
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(labelled(), 15000);
        action(w, "actionStop")->trigger();
        action(w, "actionDecode")->trigger();
        QVERIFY(action(w, "actionMerge")->isEnabled());
        QCOMPARE(answerer.titles.size(), 1); // the start dialog, and no box
    }

    void saveThenOpenRestoresTheCapture()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.csv"));
        MainWindow w;
        w.show();
        action(w, "actionClear")->trigger();
        {
            ModalAnswerer answerer(acceptStartDialog());
            action(w, "actionStart")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(capturePipeline().store().lineCount() > 20, 10000);
            action(w, "actionStop")->trigger();
        }
        const QList<QByteArray> before = storedLines();

        const auto chooseFile = [path](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog)
                return false;
            // Typed into the name box, then confirmed, as a user would.
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!name)
                return false;
            name->setText(path);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            return true;
        };
        {
            ModalAnswerer answerer(chooseFile);
            action(w, "actionSaveFile")->trigger();
        }
        QVERIFY(QFileInfo(path).size() > 0);
        action(w, "actionClear")->trigger();
        QCOMPARE(capturePipeline().store().lineCount(), 0);
        {
            ModalAnswerer answerer(chooseFile);
            action(w, "actionOpenFile")->trigger();
        }
        QCOMPARE(storedLines(), before);
        auto *model = w.findChild<QTableView *>(QStringLiteral("displayTableView"))->model();
        QTRY_VERIFY(model->rowCount() > 0);
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
