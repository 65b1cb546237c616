#include "adaptercatalog.h"
#include "startdialog.h"
#include "startsettingsfile.h"

#include <korvex/korvex.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// The settings file lives beside this executable; every test starts and ends
// without it so that no test depends on another.
QString settingsDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Setting");
}

void removeSettings()
{
    const QFileInfo info(settingsDir());
    if (info.isDir() && !info.isSymLink())
        QDir(settingsDir()).removeRecursively();
    else if (info.exists() || info.isSymLink())
        QFile::remove(settingsDir());
}

void putSettings(const QByteArray &bytes)
{
    QDir().mkpath(settingsDir());
    QFile f(StartSettingsFile::defaultPath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray settingsBytes()
{
    QFile f(StartSettingsFile::defaultPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray settingsDocument(int channel, int rate)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<StartSettings>\n"
                          "    <ChannelIndex>%1</ChannelIndex>\n"
                          "    <SamleRate>%2</SamleRate>\n"
                          "</StartSettings>\n")
        .arg(channel)
        .arg(rate)
        .toUtf8();
}

AdapterCatalog fakeAdapters(int count)
{
    AdapterCatalog catalog;
    catalog.count = [count] { return count; };
    catalog.describe = [](int i) { return QStringLiteral("bench adapter #%1").arg(i); };
    return catalog;
}

template <typename T> T *child(QObject *dialog, const char *name)
{
    T *found = dialog->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

QComboBox *box(StartDialog &d, const char *name)
{
    return child<QComboBox>(&d, name);
}

QStringList itemTexts(QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

// "name[child child ...]" for a layout, its items in order.
QString layoutTree(QLayout *layout)
{
    QStringList items;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->layout())
            items << layoutTree(item->layout());
        else if (item->widget())
            items << item->widget()->objectName();
        else
            items << QStringLiteral("spacer");
    }
    return layout->objectName() + '[' + items.join(' ') + ']';
}

void pressOk(StartDialog &d)
{
    QTest::mouseClick(child<QPushButton>(&d, "positivePushButton"), Qt::LeftButton);
}

} // namespace

class StartDialogTest : public QObject
{
    Q_OBJECT

private:
    // Answers every message box that opens while it lives, recording the last.
    struct BoxWatcher
    {
        QTimer timer;
        int seen = 0;
        QString title;
        QString text;
        BoxWatcher()
        {
            timer.setInterval(10);
            QObject::connect(&timer, &QTimer::timeout, [this] {
                auto *mb = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!mb)
                    return;
                ++seen;
                title = mb->windowTitle();
                text = mb->text();
                mb->button(QMessageBox::Ok)->click();
            });
            timer.start();
        }
    };

private slots:
    void init() { removeSettings(); }
    void cleanup() { removeSettings(); }

    void formHasItsWidgetsTextsAndLayout()
    {
        StartDialog d(fakeAdapters(1));
        QCOMPARE(d.objectName(), QStringLiteral("StartDialog"));
        QCOMPARE(d.windowTitle(), QStringLiteral("Dialog"));
        QCOMPARE(d.size(), QSize(452, 167));

        QCOMPARE(child<QLabel>(&d, "label")->text(), QStringLiteral("设备号："));
        QCOMPARE(child<QLabel>(&d, "label_3")->text(), QStringLiteral("采样率："));
        QCOMPARE(child<QLabel>(&d, "label_2")->text(), QStringLiteral("通道号："));
        QCOMPARE(child<QLabel>(&d, "label_5")->text(), QStringLiteral("注意事项："));
        QCOMPARE(
            child<QLabel>(&d, "label_4")->text(),
            QStringLiteral("采样率设置最好根据实际的I2C总线速率进行设置，\n最高建议设置为5MHz，"
                           "当I2C总线速率小于100KHz时，建议设置采样率为1MHz!\n"));
        QCOMPARE(child<QPushButton>(&d, "positivePushButton")->text(), QStringLiteral("确定"));
        QCOMPARE(child<QPushButton>(&d, "negativePushButton")->text(), QStringLiteral("取消"));

        auto *note = child<QLabel>(&d, "channelNoteLabel");
        QCOMPARE(note->text(), QStringLiteral("D0-->SDA D1-->SCL"));
        QCOMPARE(note->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
        QCOMPARE(note->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);

        QCOMPARE(itemTexts(box(d, "samleRateComboBox")),
                 (QStringList{"10MHz", "5MHz", "2.5MHz", "1MHz"}));
        QCOMPARE(itemTexts(box(d, "channelComboBox")), (QStringList{"0", "1", "2", "3"}));
        for (const char *name : {"deviceIndexComboBox", "samleRateComboBox", "channelComboBox"}) {
            QCOMPARE(box(d, name)->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(box(d, name)->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        }

        // Five rows in one column, each with its named layout or label.
        auto *grid = child<QGridLayout>(&d, "gridLayout_2");
        QCOMPARE(grid->rowCount(), 5);
        QCOMPARE(grid->columnCount(), 1);
        QCOMPARE(grid->itemAtPosition(4, 0)->layout()->objectName(),
                 QStringLiteral("horizontalLayout_6"));
        QCOMPARE(layoutTree(grid),
                 QStringLiteral("gridLayout_2[horizontalLayout_5[horizontalLayout[label "
                                "deviceIndexComboBox] horizontalLayout_3[label_3 "
                                "samleRateComboBox]] horizontalLayout_4[horizontalLayout_2["
                                "label_2 channelComboBox] channelNoteLabel] label_5 label_4 "
                                "horizontalLayout_6[spacer positivePushButton "
                                "negativePushButton]]"));
    }

    void withoutAdaptersOnlyCancelCloses_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("none") << 0;
        QTest::newRow("library error") << -3;
    }
    void withoutAdaptersOnlyCancelCloses()
    {
        QFETCH(int, count);
        StartDialog d(fakeAdapters(count));
        d.show();
        QCOMPARE(box(d, "deviceIndexComboBox")->count(), 0);
        auto *ok = child<QPushButton>(&d, "positivePushButton");
        QVERIFY(!ok->isEnabled());

        pressOk(d);
        QVERIFY(d.isVisible());
        QVERIFY(!QFile::exists(StartSettingsFile::defaultPath()));

        QTest::mouseClick(child<QPushButton>(&d, "negativePushButton"), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(d.deviceIndex, -1);
        QCOMPARE(d.channelIndex, -1);
        QCOMPARE(d.sampleRate, -1);
    }

    void threeAdaptersAreListedAndChosen()
    {
        StartDialog d(fakeAdapters(3));
        QComboBox *devices = box(d, "deviceIndexComboBox");
        QCOMPARE(itemTexts(devices), (QStringList{"0", "1", "2"}));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(devices->itemData(i, Qt::ToolTipRole).toString(),
                     QStringLiteral("bench adapter #%1").arg(i));
            QVERIFY(devices->itemIcon(i).isNull());
            QVERIFY(!devices->itemData(i, Qt::UserRole).isValid());
        }
        QCOMPARE(devices->currentIndex(), 0);
        QVERIFY(child<QPushButton>(&d, "positivePushButton")->isEnabled());

        // As the caller runs it: modally, OK pressed once it is up.
        devices->setCurrentIndex(2);
        box(d, "channelComboBox")->setCurrentIndex(3);
        QCOMPARE(child<QLabel>(&d, "channelNoteLabel")->text(),
                 QStringLiteral("D6-->SDA D7-->SCL"));
        box(d, "samleRateComboBox")->setCurrentIndex(2);
        QTimer::singleShot(0, &d, [&d] { pressOk(d); });
        QCOMPARE(d.exec(), int(QDialog::Accepted));
        QCOMPARE(d.deviceIndex, 2);
        QCOMPARE(d.channelIndex, 3);
        QCOMPARE(d.sampleRate, 2500000);
        QCOMPARE(settingsBytes(), settingsDocument(3, 2));
    }

    void choicesBecomeTheResults_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("note");
        QTest::newRow("10MHz, D0/D1") << 0 << 10000000 << "D0-->SDA D1-->SCL";
        QTest::newRow("5MHz, D2/D3") << 1 << 5000000 << "D2-->SDA D3-->SCL";
        QTest::newRow("2.5MHz, D4/D5") << 2 << 2500000 << "D4-->SDA D5-->SCL";
        QTest::newRow("1MHz, D6/D7") << 3 << 1000000 << "D6-->SDA D7-->SCL";
    }
    void choicesBecomeTheResults()
    {
        QFETCH(int, index);
        QFETCH(int, rate);
        QFETCH(QString, note);
        StartDialog d(fakeAdapters(1));
        auto *noteLabel = child<QLabel>(&d, "channelNoteLabel");
        box(d, "channelComboBox")->setCurrentIndex(3 - index);
        box(d, "channelComboBox")->setCurrentIndex(index);
        QCOMPARE(noteLabel->text(), note);
        // No current item: the note keeps the last pair.
        box(d, "channelComboBox")->setCurrentIndex(-1);
        QCOMPARE(noteLabel->text(), note);
        box(d, "channelComboBox")->setCurrentIndex(index);

        box(d, "samleRateComboBox")->setCurrentIndex(index);
        pressOk(d);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.sampleRate, rate);
        QCOMPARE(d.channelIndex, index);
        QCOMPARE(d.deviceIndex, 0);
    }

    void settingsFilePresetsTheBoxes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("note");
        QTest::addColumn<bool>("logged");
        const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StartSettings>";
        QTest::newRow("missing") << QByteArray() << 0 << 0 << "D0-->SDA D1-->SCL" << false;
        QTest::newRow("stored") << settingsDocument(2, 3) << 2 << 3 << "D4-->SDA D5-->SCL" << false;
        // Children are read by position: swapped, they swap the boxes.
        QTest::newRow("swapped")
            << head + "<SamleRate>1</SamleRate><ChannelIndex>3</ChannelIndex></StartSettings>" << 1
            << 3 << "D2-->SDA D3-->SCL" << false;
        QTest::newRow("malformed")
            << head + "<ChannelIndex>2</ChannelIndex>" << 0 << 0 << "D0-->SDA D1-->SCL" << true;
        QTest::newRow("empty") << QByteArray("\n") << 0 << 0 << "D0-->SDA D1-->SCL" << true;
        // An index beyond a list would leave its box empty and OK would yield
        // channel -1 or 0 Hz: such a value is ignored, the other one kept.
        QTest::newRow("channel out of range")
            << settingsDocument(7, 2) << 0 << 2 << "D0-->SDA D1-->SCL" << false;
        QTest::newRow("both out of range")
            << settingsDocument(-1, 7) << 0 << 0 << "D0-->SDA D1-->SCL" << false;
    }
    void settingsFilePresetsTheBoxes()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, channel);
        QFETCH(int, rate);
        QFETCH(QString, note);
        QFETCH(bool, logged);
        if (!file.isEmpty())
            putSettings(file);
        if (logged)
            QTest::ignoreMessage(QtDebugMsg, "setcontent for do error");

        StartDialog d(fakeAdapters(1));
        QCOMPARE(box(d, "channelComboBox")->currentIndex(), channel);
        QCOMPARE(box(d, "samleRateComboBox")->currentIndex(), rate);
        QCOMPARE(child<QLabel>(&d, "channelNoteLabel")->text(), note);

        // OK always yields a real choice and (re)creates the file from it.
        pressOk(d);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.channelIndex, channel);
        QCOMPARE(d.sampleRate, (QVector<int>{10000000, 5000000, 2500000, 1000000}[rate]));
        QCOMPARE(settingsBytes(), settingsDocument(channel, rate));
    }

    void onlyOkRewritesTheFile()
    {
        // Cancel and closing the window leave the file as it was.
        const QByteArray before = settingsDocument(1, 2) + "<!-- a longer file than ours -->\n";
        putSettings(before);
        for (bool viaCancel : {true, false}) {
            StartDialog d(fakeAdapters(2));
            d.show();
            box(d, "channelComboBox")->setCurrentIndex(3);
            box(d, "samleRateComboBox")->setCurrentIndex(0);
            if (viaCancel)
                QTest::mouseClick(child<QPushButton>(&d, "negativePushButton"), Qt::LeftButton);
            else
                d.close();
            QCOMPARE(d.result(), int(QDialog::Rejected));
            QCOMPARE(d.channelIndex, -1);
        }
        QCOMPARE(settingsBytes(), before);

        // Two confirmed starts: the file holds only the second choice.
        for (int choice : {0, 3}) {
            StartDialog d(fakeAdapters(1));
            box(d, "channelComboBox")->setCurrentIndex(choice);
            box(d, "samleRateComboBox")->setCurrentIndex(choice);
            pressOk(d);
        }
        QCOMPARE(settingsBytes(), settingsDocument(3, 3));
    }

    void unwritableSettingsWarnAndStillStart()
    {
        // The file's place is taken by a directory: opening it fails even as root.
        QVERIFY(QDir().mkpath(StartSettingsFile::defaultPath()));
        QFile probe(StartSettingsFile::defaultPath());
        QVERIFY(!probe.open(QIODevice::WriteOnly | QIODevice::Text));

        StartDialog d(fakeAdapters(2));
        box(d, "deviceIndexComboBox")->setCurrentIndex(1);
        box(d, "channelComboBox")->setCurrentIndex(2);
        box(d, "samleRateComboBox")->setCurrentIndex(1);
        BoxWatcher watcher;
        QTimer::singleShot(0, &d, [&d] { pressOk(d); });
        QCOMPARE(d.exec(), int(QDialog::Accepted));

        QCOMPARE(watcher.seen, 1);
        QCOMPARE(watcher.title, QStringLiteral("Warning"));
        QCOMPARE(watcher.text, QStringLiteral("Cannot open file %1:\n%2.")
                                   .arg(StartSettingsFile::defaultPath(), probe.errorString()));
        QCOMPARE(d.deviceIndex, 1);
        QCOMPARE(d.channelIndex, 2);
        QCOMPARE(d.sampleRate, 5000000);
    }

    void defaultConstructorListsTheLibrarysAdapters()
    {
        StartDialog d;
        const int count = qMax(0, int(scanAdapters(nullptr)));
        QCOMPARE(box(d, "deviceIndexComboBox")->count(), count);
        QCOMPARE(child<QPushButton>(&d, "positivePushButton")->isEnabled(), count > 0);
    }
};

QTEST_MAIN(StartDialogTest)
#include "startdialog_test.moc"
