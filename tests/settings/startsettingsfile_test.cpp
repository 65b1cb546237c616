#include "startsettingsfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace {

QStringList capturedLog;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    capturedLog << message;
}

// Collects the debug log for the lifetime of the object.
class LogCapture
{
public:
    LogCapture()
    {
        capturedLog.clear();
        previous = qInstallMessageHandler(captureMessage);
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
    const QStringList &lines() const { return capturedLog; }

private:
    QtMessageHandler previous;
};

class StartSettingsFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString &name = QStringLiteral("Setting/start_setting.xml")) const
    {
        return dir.filePath(name);
    }

    void put(const QString &file, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    static QByteArray contents(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

const char savedChannel1Rate2[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<StartSettings>\n"
                                  "    <ChannelIndex>1</ChannelIndex>\n"
                                  "    <SamleRate>2</SamleRate>\n"
                                  "</StartSettings>\n";

} // namespace

TEST_F(StartSettingsFileTest, WritesTheDocumentAndReadsItBack)
{
    // The directory does not exist yet: writing makes it.
    QString error;
    ASSERT_TRUE(StartSettingsFile::write(path(), {1, 2}, &error)) << error.toStdString();
    EXPECT_EQ(contents(path()), QByteArray(savedChannel1Rate2));

    const auto values = StartSettingsFile::read(path());
    ASSERT_TRUE(values);
    EXPECT_EQ(values->channelIndex, 1);
    EXPECT_EQ(values->sampleRateIndex, 2);

    // A second save replaces the first completely, even with shorter content.
    put(path(), QByteArray(savedChannel1Rate2) + "<!-- a long trailing comment -->\n");
    ASSERT_TRUE(StartSettingsFile::write(path(), {3, 0}));
    EXPECT_EQ(contents(path()),
              QByteArray(savedChannel1Rate2).replace(">1<", ">3<").replace(">2<", ">0<"));
    const auto again = StartSettingsFile::read(path());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->channelIndex, 3);
    EXPECT_EQ(again->sampleRateIndex, 0);
}

TEST_F(StartSettingsFileTest, MissingOrMalformedFilesGiveNothing)
{
    {
        LogCapture log;
        EXPECT_FALSE(StartSettingsFile::read(path()));
        EXPECT_TRUE(log.lines().isEmpty()) << "a missing file is not worth a log line";
    }
    for (const QByteArray &bad :
         {QByteArray(), QByteArray("<StartSettings><ChannelIndex>1</ChannelIndex>"),
          QByteArray("not xml at all"), QByteArray("<a><b>1</a></b>")}) {
        put(path(), bad);
        LogCapture log;
        EXPECT_FALSE(StartSettingsFile::read(path())) << bad.constData();
        EXPECT_EQ(log.lines(), QStringList{QStringLiteral("setcontent for do error")})
            << bad.constData();
    }
}

TEST_F(StartSettingsFileTest, ChildrenAreTakenByPosition)
{
    // Swapped children swap the values; names, root name included, are not checked.
    put(path(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<Other><SamleRate>3</SamleRate><ChannelIndex>1</ChannelIndex></Other>\n");
    auto values = StartSettingsFile::read(path());
    ASSERT_TRUE(values);
    EXPECT_EQ(values->channelIndex, 3);
    EXPECT_EQ(values->sampleRateIndex, 1);

    // Non-numbers and a missing second child read as 0; hex is not decimal.
    put(path(), "<StartSettings><ChannelIndex>two</ChannelIndex></StartSettings>");
    values = StartSettingsFile::read(path());
    ASSERT_TRUE(values);
    EXPECT_EQ(values->channelIndex, 0);
    EXPECT_EQ(values->sampleRateIndex, 0);

    put(path(), "<StartSettings><ChannelIndex>0x2</ChannelIndex><SamleRate>2</SamleRate>"
                "</StartSettings>");
    values = StartSettingsFile::read(path());
    ASSERT_TRUE(values);
    EXPECT_EQ(values->channelIndex, 0);
    EXPECT_EQ(values->sampleRateIndex, 2);

    // Out-of-range values come back as stored; the dialog decides what to do.
    put(path(), "<StartSettings><ChannelIndex>7</ChannelIndex><SamleRate>-1</SamleRate>"
                "</StartSettings>");
    values = StartSettingsFile::read(path());
    ASSERT_TRUE(values);
    EXPECT_EQ(values->channelIndex, 7);
    EXPECT_EQ(values->sampleRateIndex, -1);
}

TEST_F(StartSettingsFileTest, WriteFailuresAreReportedWithAReason)
{
    // The file's place is a directory.
    QDir().mkpath(path());
    QString error;
    EXPECT_FALSE(StartSettingsFile::write(path(), {1, 1}, &error));
    EXPECT_FALSE(error.isEmpty());

    // The settings directory's place is taken by a regular file.
    put(path(QStringLiteral("blocked")), "x");
    error.clear();
    EXPECT_FALSE(StartSettingsFile::write(path(QStringLiteral("blocked/start_setting.xml")), {1, 1},
                                          &error));
    EXPECT_FALSE(error.isEmpty());

    // The file opens but the disk is full: not a success.
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        const QString full = path(QStringLiteral("full.xml"));
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), full));
        error.clear();
        EXPECT_FALSE(StartSettingsFile::write(full, {1, 1}, &error));
        EXPECT_FALSE(error.isEmpty());
    }
}
