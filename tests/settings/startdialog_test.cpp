#include "modalanswerer.h"
#include "settings/startdialog.h"
#include "settings/startsettingsfile.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

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
        // An index beyond a list would leave its box empty (channel -1, 0 Hz): ignored.
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
        QCOMPARE(child<QLabel>(&none, "noAdapterLabel")->text(),
                 QStringLiteral("无设备连接！请连接设备后重新启动。"));
        StartDialog d(adapters(3));
        QVERIFY(!d.findChild<QLabel *>(QStringLiteral("noAdapterLabel")));
        QComboBox *devices = child(&d, "deviceIndexComboBox");
        QCOMPARE(devices->itemText(2) + devices->itemData(2, Qt::ToolTipRole).toString() +
                     devices->itemText(3),
                 "2#2");
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

    void settingsFileRoundTripByPositionAndFailures()
    {
        QString error;
        // It makes its directory.
        QVERIFY(StartSettingsFile::write("Setting/s.xml", {3, 2}, &error) && error.isEmpty());
        QFile f("Setting/s.xml");
        QVERIFY(f.open(QIODevice::ReadWrite));
        QCOMPARE(f.readAll(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<StartSettings>\n    <ChannelIndex>3</ChannelIndex>\n"
                                         "    <SamleRate>2</SamleRate>\n</StartSettings>\n"));
        // Names are not checked; a non-number or a missing child reads as 0, hex
        // is not decimal; values come back as stored, for the dialog to judge.
        // A comment or text is a child too; nesting beyond the limit is refused.
        const auto nest = [](int n) {
            return QByteArray("<a>").repeated(n) + QByteArray("</a>").repeated(n);
        };
        for (const auto &[xml, expected] :
             std::map<QByteArray, QString>{{"<O><R>two</R></O>", "0 0"},
                                           {"<S><C>0x2</C><R>2</R></S>", "0 2"},
                                           {"<S><R>7</R><C>-1</C></S>", "7 -1"},
                                           {"<S><C>2</C>", "none"},
                                           {"\n", "none"},
                                           {"<S><!--c--><R>5</R></S>", "0 5"},
                                           {"<S>x<R><a>4</a>2</R></S>", "0 42"},
                                           {"<S>" + nest(15) + "<R>6</R></S>", "0 6"},
                                           {"<S>" + nest(16) + "</S>", "none"},
                                           {"<S>" + nest(50000) + "</S>", "none"}}) {
            f.resize(0);
            f.write(xml);
            f.flush();
            const auto v = StartSettingsFile::read("Setting/s.xml");
            QCOMPARE(v ? QString("%1 %2").arg(v->channelIndex).arg(v->sampleRateIndex) : "none",
                     expected);
        }
        // A FIFO is refused at once, never waited on, for reading and writing.
        QCOMPARE(::mkfifo("fifo.xml", 0600), 0);
        QVERIFY(!StartSettingsFile::read("fifo.xml", &error));
        QCOMPARE(error, QString("不是普通文件，而是命名管道"));
        // The file's place is a directory; the directory's place is a file; a device.
        QFile::link("/dev/full", "full.xml");
        for (const char *path : {"Setting", "Setting/s.xml/s.xml", "full.xml", "fifo.xml"}) {
            error.clear();
            QVERIFY2(!StartSettingsFile::write(path, {1, 1}, &error) && !error.isEmpty(), path);
        }
    }

    void settingsStayWithTheUserWhereTheProgramFolderIsNotWritable()
    {
        qputenv("XDG_CONFIG_HOME", QDir::current().absoluteFilePath("config").toLocal8Bit());
        const QString user = StartSettingsFile::userPath();
        QCOMPARE(user, QDir::current().absoluteFilePath("config/korvex/start_setting.xml"));
        const auto where = [&user](const QString &beside) {
            const auto at = StartSettingsFile::locate(beside, user);
            return at.read + ' ' + at.write;
        };
        // Beside a program that may write there, made or replaced.
        QCOMPARE(where("Setting/s.xml"), "Setting/s.xml Setting/s.xml");
        QVERIFY(StartSettingsFile::write("Setting/s.xml", {1, 1}) &&
                StartSettingsFile::canWrite("Setting/s.xml"));
        // A folder that cannot be made (a file in its place: permission bits do
        // not stop root): read beside the program until the user has a file.
        QFile plain("plain");
        QVERIFY(plain.open(QIODevice::WriteOnly) && !StartSettingsFile::canWrite("plain/s.xml"));
        QCOMPARE(where("plain/Setting/s.xml"), "plain/Setting/s.xml " + user);
        QVERIFY(StartSettingsFile::write(user, {2, 3}));
        QCOMPARE(where("plain/Setting/s.xml"), user + ' ' + user);
        QCOMPARE(where("Setting/s.xml"), "Setting/s.xml Setting/s.xml");
    }
};

QTEST_MAIN(StartDialogTest)
#include "startdialog_test.moc"
