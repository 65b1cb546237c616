#include "modalanswerer.h"
#include "startdialog.h"
#include "startsettingsfile.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {
// The settings file lives beside the test executables, shared with other tests:
// replaced for a test's run, what was there is put back even when a check fails.
struct SettingsGuard
{
    const QString path = StartSettingsFile::defaultPath();
    QFile saved{path};
    const bool existed = saved.open(QIODevice::ReadOnly);
    const QByteArray bytes = saved.readAll();

    explicit SettingsGuard(const QByteArray &file = {}) { put(file); }
    ~SettingsGuard() { put(existed ? bytes : QByteArray()); }
    void put(const QByteArray &b) const // an empty text: no file
    {
        QDir(QFileInfo(path).path()).removeRecursively();
        QFile f(path);
        QVERIFY(b.isEmpty() || (QDir().mkpath(QFileInfo(path).path()) &&
                                f.open(QIODevice::WriteOnly) && f.write(b) == b.size()));
    }
};

template <typename T = QComboBox> T *child(QObject *d, const char *name)
{
    return d->findChild<T *>(QLatin1String(name));
}

AdapterCatalog adapters(int count) // adapter i is described as "#i"
{
    return {[count] { return count; }, [](int i) { return QString("#%1").arg(i); }};
}
} // namespace

class StartDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void presetsChoiceAdaptersAndUnwritableSettings()
    {
        // Children are read by position. An index beyond a list would leave its
        // box empty and OK would yield channel -1 or 0 Hz: it is ignored.
        const std::tuple<QByteArray, int, int, int> cases[] = {
            {"", 0, 0, 10000000},
            {"<S><c>2</c><r>3</r></S>", 2, 3, 1000000},
            {"<S><c>2</c>", 0, 0, 10000000},
            {"<S><c>4</c><r>2</r></S>", 0, 2, 2500000},
            {"<S><c>-1</c><r>4</r></S>", 0, 0, 10000000}};
        for (const auto &[file, channel, rate, hertz] : cases) {
            SettingsGuard guard(file);
            StartDialog d(adapters(3));
            QCOMPARE(child(&d, "channelComboBox")->currentIndex(), channel);
            QCOMPARE(child(&d, "samleRateComboBox")->currentIndex(), rate);
            child(&d, "deviceIndexComboBox")->setCurrentIndex(2);
            child<QPushButton>(&d, "positivePushButton")->click();
            QCOMPARE(QVector<int>({d.deviceIndex, d.channelIndex, d.sampleRate}),
                     QVector<int>({2, channel, hertz}));
            const auto stored = StartSettingsFile::read(guard.path);
            QVERIFY(stored && stored->channelIndex == channel && stored->sampleRateIndex == rate);
        }

        SettingsGuard guard;
        StartDialog none(adapters(0));
        QVERIFY(!child<QPushButton>(&none, "positivePushButton")->isEnabled());
        StartDialog d(adapters(3));
        QComboBox *devices = child(&d, "deviceIndexComboBox");
        QCOMPARE(devices->count(), 3);
        QCOMPARE(devices->itemText(2) + devices->itemData(2, Qt::ToolTipRole).toString(), "2#2");
        for (int channel : {3, 0, -1}) // the note keeps the last pair when none is chosen
            child(&d, "channelComboBox")->setCurrentIndex(channel);
        QCOMPARE(child<QLabel>(&d, "channelNoteLabel")->text(), QString("D0-->SDA D1-->SCL"));
        child<QPushButton>(&d, "negativePushButton")->click();
        QCOMPARE(d.channelIndex, -1); // nothing handed over on Cancel

        // A directory in the file's place, even for root: a warning, and the start goes on.
        QVERIFY(QDir().mkpath(guard.path));
        child(&d, "samleRateComboBox")->setCurrentIndex(1);
        ModalAnswerer answerer;
        child<QPushButton>(&d, "positivePushButton")->click();
        QCOMPARE(answerer.titles, QStringList({"Warning"}));
        QVERIFY(answerer.texts[0].startsWith(QString("Cannot open file %1:\n").arg(guard.path)));
        QCOMPARE(d.sampleRate, 5000000);
    }
};

QTEST_MAIN(StartDialogTest)
#include "startdialog_test.moc"
