#include "modalanswerer.h"
#include "startdialog.h"
#include "startsettingsfile.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {
// The settings file lives beside the test executables, shared with other
// tests: each test starts without it and puts back what it found, even
// when a check fails.
struct SettingsGuard
{
    const QString path = StartSettingsFile::defaultPath();
    const QString dir = QFileInfo(path).absolutePath();
    QFile saved{path};
    const bool existed = saved.open(QIODevice::ReadOnly);
    const QByteArray bytes = saved.readAll();

    SettingsGuard() { clear(); }
    ~SettingsGuard()
    {
        clear();
        if (existed)
            put(bytes);
    }
    void clear() const
    {
        QFile::remove(dir); // a file in its place
        QDir(dir).removeRecursively();
    }
    void put(const QByteArray &b) const
    {
        QDir().mkpath(dir);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(b) == b.size());
    }
};

AdapterCatalog fakeAdapters(int count)
{
    return {[count] { return count; }, [](int i) { return QString("bench adapter #%1").arg(i); }};
}

template <typename T = QComboBox> T *child(QObject *d, const char *name)
{
    return d->findChild<T *>(QLatin1String(name));
}

QByteArray document(int channel, int rate)
{
    return QString("<StartSettings><ChannelIndex>%1</ChannelIndex><SamleRate>%2</SamleRate>"
                   "</StartSettings>")
        .arg(channel)
        .arg(rate)
        .toUtf8();
}
} // namespace

class StartDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void settingsPresetTheBoxesAndOkHandsOverTheChoice()
    {
        // An index beyond a list would leave its box empty and OK would yield
        // channel -1 or 0 Hz: such a value is ignored, the other one kept.
        const struct
        {
            QByteArray file;
            int channel, rate, hertz;
        } cases[] = {{"", 0, 0, 10000000},
                     {document(2, 3), 2, 3, 1000000},
                     {"<StartSettings>", 0, 0, 10000000},
                     {document(4, 2), 0, 2, 2500000},
                     {document(-1, 4), 0, 0, 10000000}};
        for (const auto &c : cases) {
            SettingsGuard guard;
            if (!c.file.isEmpty())
                guard.put(c.file);
            StartDialog d(fakeAdapters(3));
            QCOMPARE(child(&d, "channelComboBox")->currentIndex(), c.channel);
            QCOMPARE(child(&d, "samleRateComboBox")->currentIndex(), c.rate);
            child(&d, "deviceIndexComboBox")->setCurrentIndex(2);
            child<QPushButton>(&d, "positivePushButton")->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
            QCOMPARE(d.deviceIndex, 2);
            QCOMPARE(d.channelIndex, c.channel);
            QCOMPARE(d.sampleRate, c.hertz);
            const auto stored = StartSettingsFile::read(guard.path);
            QVERIFY(stored && stored->channelIndex == c.channel &&
                    stored->sampleRateIndex == c.rate);
        }
    }

    void adaptersListedAndChannelNote()
    {
        SettingsGuard guard;
        for (int count : {0, -3}) { // none, and a library error
            StartDialog d(fakeAdapters(count));
            QCOMPARE(child(&d, "deviceIndexComboBox")->count(), 0);
            QVERIFY(!child<QPushButton>(&d, "positivePushButton")->isEnabled());
            child<QPushButton>(&d, "negativePushButton")->click();
            QCOMPARE(d.result(), int(QDialog::Rejected));
            QCOMPARE(d.channelIndex, -1);
        }
        StartDialog d(fakeAdapters(3));
        QComboBox *devices = child(&d, "deviceIndexComboBox");
        QCOMPARE(devices->count(), 3);
        QCOMPARE(devices->itemText(2), QString("2"));
        QCOMPARE(devices->itemData(2, Qt::ToolTipRole).toString(), QString("bench adapter #2"));
        // The note follows the channel pair and keeps the last one when none is chosen.
        child(&d, "channelComboBox")->setCurrentIndex(3);
        QCOMPARE(child<QLabel>(&d, "channelNoteLabel")->text(), QString("D6-->SDA D7-->SCL"));
        child(&d, "channelComboBox")->setCurrentIndex(-1);
        QCOMPARE(child<QLabel>(&d, "channelNoteLabel")->text(), QString("D6-->SDA D7-->SCL"));
        QVERIFY(!QFile::exists(guard.path));
    }

    void unwritableSettingsWarnAndStillStart()
    {
        SettingsGuard guard;
        QVERIFY(QDir().mkpath(guard.path)); // a directory in the file's place, even for root
        StartDialog d(fakeAdapters(2));
        child(&d, "samleRateComboBox")->setCurrentIndex(1);
        ModalAnswerer answerer;
        child<QPushButton>(&d, "positivePushButton")->click();
        QCOMPARE(answerer.titles, QStringList({"Warning"}));
        QVERIFY(answerer.texts[0].startsWith(QString("Cannot open file %1:\n").arg(guard.path)));
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.sampleRate, 5000000);
    }
};

QTEST_MAIN(StartDialogTest)
#include "startdialog_test.moc"
