#include "startsettingsfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

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

    QTemporaryDir dir;
};

} // namespace

TEST_F(StartSettingsFileTest, ChildrenAreTakenByPosition)
{
    // Names, the root's included, are not checked; a non-number and a
    // missing second child read as 0; hex is not decimal.
    put(path(), "<Other><Rate>two</Rate></Other>");
    auto values = StartSettingsFile::read(path());
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
