#include "startsettingsfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {
class StartSettingsFileTest : public ::testing::Test
{
protected:
    QString path(const char *name = "Setting/start_setting.xml") const
    {
        return dir.filePath(QString::fromLatin1(name));
    }
    std::optional<StartSettingsFile::Values> readBack(const QByteArray &bytes)
    {
        QFile f(path("put.xml"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        return StartSettingsFile::read(path("put.xml"));
    }

    QTemporaryDir dir;
};
} // namespace

TEST_F(StartSettingsFileTest, ChildrenAreTakenByPosition)
{
    // Written with its directory, read back as written.
    QString error;
    ASSERT_TRUE(StartSettingsFile::write(path(), {3, 2}, &error));
    EXPECT_TRUE(error.isEmpty());
    auto values = StartSettingsFile::read(path());
    ASSERT_TRUE(values);
    EXPECT_EQ(values->channelIndex, 3);
    EXPECT_EQ(values->sampleRateIndex, 2);

    // Names, the root's included, are not checked; a non-number and a
    // missing second child read as 0; hex is not decimal; out-of-range
    // values come back as stored, for the dialog to judge.
    const struct
    {
        QByteArray xml;
        int channel, rate;
    } cases[] = {
        {"<Other><Rate>two</Rate></Other>", 0, 0},
        {"<S><ChannelIndex>0x2</ChannelIndex><SamleRate>2</SamleRate></S>", 0, 2},
        {"<S><SamleRate>7</SamleRate><ChannelIndex>-1</ChannelIndex></S>", 7, -1},
    };
    for (const auto &c : cases) {
        values = readBack(c.xml);
        ASSERT_TRUE(values) << c.xml.constData();
        EXPECT_EQ(values->channelIndex, c.channel) << c.xml.constData();
        EXPECT_EQ(values->sampleRateIndex, c.rate) << c.xml.constData();
    }
    // Nothing when missing or not XML: the dialog keeps its defaults.
    EXPECT_FALSE(StartSettingsFile::read(path("missing.xml")));
    EXPECT_FALSE(readBack("<StartSettings><ChannelIndex>2</ChannelIndex>"));
    EXPECT_FALSE(readBack("\n"));
}

TEST_F(StartSettingsFileTest, WriteFailuresAreReportedWithAReason)
{
    // The file's place is a directory; the directory's place is a file; the
    // file opens but the disk is full.
    QDir().mkpath(path("dir.xml"));
    readBack("x");
    QStringList failing{path("dir.xml"), path("put.xml/start_setting.xml")};
    if (QFile::exists(QStringLiteral("/dev/full")) &&
        QFile::link(QStringLiteral("/dev/full"), path("full.xml")))
        failing << path("full.xml");
    for (const QString &p : failing) {
        QString error;
        EXPECT_FALSE(StartSettingsFile::write(p, {1, 1}, &error)) << p.toStdString();
        EXPECT_FALSE(error.isEmpty()) << p.toStdString();
    }
}
