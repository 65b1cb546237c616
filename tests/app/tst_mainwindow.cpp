// The window shell: the temporary capture file's life cycle, an unusable one,
// and the Help and About boxes.
#include "mainwindow.h"
#include "modalanswerer.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTextCodec>
#include <QtTest>

namespace {
const QString kTempFile = QStringLiteral("I2CDataTemp.dat");

QAction *action(QWidget &w, const char *name)
{
    return w.findChild<QAction *>(QString::fromLatin1(name));
}

void removeTempPath()
{
    QDir().rmdir(kTempFile);
    QFile::remove(kTempFile);
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeTempPath(); }
    void cleanup() { removeTempPath(); }

    void temporaryFileLifeCycle()
    {
        {
            QFile stale(kTempFile);
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("0,START,--,--,--,--,00.00.00.000.000.000\n");
        }
        {
            MainWindow w;
            QVERIFY(QFile::exists(kTempFile));
            QCOMPARE(QFileInfo(kTempFile).size(), 0);
            // Nothing is being captured yet.
            QVERIFY(action(w, "actionStart")->isEnabled());
            QVERIFY(!action(w, "actionStop")->isEnabled());
        }
        QVERIFY(!QFile::exists(kTempFile));

        auto w = std::make_unique<MainWindow>();
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->show();
        QVERIFY(QFile::exists(kTempFile));
        action(*w, "actionExit")->trigger();
        QVERIFY(!w->isVisible());
        w.reset();
        QVERIFY(!QFile::exists(kTempFile));
    }

    void unusableTemporaryFileIsReportedAndRefusesStart()
    {
        // A directory in the file's place cannot be opened, even by root.
        QVERIFY(QDir().mkdir(kTempFile));
        qputenv("KORVEX_SIMULATOR", "1");
        ModalAnswerer answerer([](QWidget *d) {
            if (d->objectName() != QLatin1String("StartDialog"))
                return false;
            d->findChild<QPushButton *>(QStringLiteral("positivePushButton"))->click();
            return true;
        });
        {
            MainWindow w;
            w.show();
            QTRY_COMPARE(answerer.titles.size(), 1);
            QCOMPARE(answerer.titles.first(), QStringLiteral("警告"));
            QVERIFY(answerer.texts.first().contains(kTempFile));
            // Capturing into it would lose every row: Start warns instead.
            action(w, "actionStart")->trigger();
            QTRY_COMPARE(answerer.titles.size(), 3);
            QVERIFY(answerer.texts.last().contains(kTempFile));
            QVERIFY(action(w, "actionStart")->isEnabled());
        }
        QVERIFY(QFileInfo(kTempFile).isDir());
    }

    void helpAndAboutBoxes()
    {
        MainWindow w;
        w.show();
        ModalAnswerer answerer;
        action(w, "actionHelp")->trigger();
        action(w, "actionAbout")->trigger();
        QCOMPARE(answerer.titles, (QStringList{"帮助", "关于"}));
        QVERIFY(answerer.texts[0].contains(QStringLiteral("技术支持：")));
        QCOMPARE(answerer.texts[1], answerer.texts[0] + QStringLiteral("版本信息：v1.1.6"));
    }
};

int main(int argc, char **argv)
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QApplication app(argc, argv);
    TestMainWindow t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_mainwindow.moc"
