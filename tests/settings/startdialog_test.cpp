#include "adaptercatalog.h"
#include "modalanswerer.h"
#include "startdialog.h"
#include "startsettingsfile.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {
// The settings file lives beside this executable; every test starts and ends
// without it so that no test depends on another.
void removeSettings()
{
    const QString dir = QFileInfo(StartSettingsFile::defaultPath()).absolutePath();
    QFile::remove(dir); // a file or a link in its place
    QDir(dir).removeRecursively();
}

void putSettings(const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(StartSettingsFile::defaultPath()).absolutePath());
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

void press(StartDialog &d, const char *button)
{
    QTest::mouseClick(child<QPushButton>(&d, button), Qt::LeftButton);
}
} // namespace

class StartDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeSettings(); }
    void cleanup() { removeSettings(); }

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
        press(d, "positivePushButton");
        QVERIFY(d.isVisible());
        press(d, "negativePushButton");
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(d.channelIndex, -1);
        QVERIFY(!QFile::exists(StartSettingsFile::defaultPath()));
    }

    void adaptersAreListedAndChosen()
    {
        StartDialog d(fakeAdapters(3));
        QComboBox *devices = box(d, "deviceIndexComboBox");
        QCOMPARE(devices->count(), 3);
        QCOMPARE(devices->itemText(2), QStringLiteral("2"));
        QCOMPARE(devices->itemData(2, Qt::ToolTipRole).toString(),
                 QStringLiteral("bench adapter #2"));

        // The note follows the channel pair, and keeps the last one when no
        // pair is chosen.
        auto *note = child<QLabel>(&d, "channelNoteLabel");
        box(d, "channelComboBox")->setCurrentIndex(3);
        QCOMPARE(note->text(), QStringLiteral("D6-->SDA D7-->SCL"));
        box(d, "channelComboBox")->setCurrentIndex(0);
        QCOMPARE(note->text(), QStringLiteral("D0-->SDA D1-->SCL"));
        box(d, "channelComboBox")->setCurrentIndex(-1);
        QCOMPARE(note->text(), QStringLiteral("D0-->SDA D1-->SCL"));

        // As the caller runs it: modally, OK pressed once it is up.
        devices->setCurrentIndex(2);
        box(d, "channelComboBox")->setCurrentIndex(1);
        box(d, "samleRateComboBox")->setCurrentIndex(2);
        QTimer::singleShot(0, &d, [&d] { press(d, "positivePushButton"); });
        QCOMPARE(d.exec(), int(QDialog::Accepted));
        QCOMPARE(d.deviceIndex, 2);
        QCOMPARE(d.channelIndex, 1);
        QCOMPARE(d.sampleRate, 2500000);
        QCOMPARE(settingsBytes(), settingsDocument(1, 2));
        QCOMPARE(StartDialog::sampleRateFromText("10MHz"), 10000000);
    }

    void settingsFilePresetsTheBoxes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("rate");
        QTest::newRow("stored") << settingsDocument(2, 3) << 2 << 3;
        QTest::newRow("malformed") << QByteArray("<StartSettings>") << 0 << 0;
        // An index beyond a list would leave its box empty and OK would yield
        // channel -1 or 0 Hz: such a value is ignored, the other one kept.
        QTest::newRow("channel out of range") << settingsDocument(4, 2) << 0 << 2;
        QTest::newRow("both out of range") << settingsDocument(-1, 4) << 0 << 0;
    }
    void settingsFilePresetsTheBoxes()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, channel);
        QFETCH(int, rate);
        putSettings(file);
        if (!file.startsWith("<?xml"))
            QTest::ignoreMessage(QtDebugMsg, "setcontent for do error");
        StartDialog d(fakeAdapters(1));
        QCOMPARE(box(d, "channelComboBox")->currentIndex(), channel);
        QCOMPARE(box(d, "samleRateComboBox")->currentIndex(), rate);
    }

    void unwritableSettingsWarnAndStillStart()
    {
        // The file's place is taken by a directory: opening it fails even as root.
        QVERIFY(QDir().mkpath(StartSettingsFile::defaultPath()));
        QFile probe(StartSettingsFile::defaultPath());
        QVERIFY(!probe.open(QIODevice::WriteOnly | QIODevice::Text));

        StartDialog d(fakeAdapters(2));
        box(d, "deviceIndexComboBox")->setCurrentIndex(1);
        box(d, "samleRateComboBox")->setCurrentIndex(1);
        ModalAnswerer answerer;
        QTimer::singleShot(0, &d, [&d] { press(d, "positivePushButton"); });
        QCOMPARE(d.exec(), int(QDialog::Accepted));
        QCOMPARE(answerer.titles, QStringList({"Warning"}));
        QCOMPARE(answerer.texts.first(),
                 QStringLiteral("Cannot open file %1:\n%2.")
                     .arg(StartSettingsFile::defaultPath(), probe.errorString()));
        QCOMPARE(d.deviceIndex, 1);
        QCOMPARE(d.sampleRate, 5000000);
    }
};

QTEST_MAIN(StartDialogTest)
#include "startdialog_test.moc"
