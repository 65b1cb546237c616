// Each test runs in a fresh working directory, so relative paths are its own.
#include "startsettingsfile.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(StartSettingsFile, WrittenReadBackByPositionAndFailuresGiveAReason)
{
    QString error;
    ASSERT_TRUE(StartSettingsFile::write("Setting/s.xml", {3, 2}, &error)); // makes its directory
    EXPECT_TRUE(error.isEmpty());
    QFile written("Setting/s.xml");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StartSettings>\n"
                                 "    <ChannelIndex>3</ChannelIndex>\n"
                                 "    <SamleRate>2</SamleRate>\n</StartSettings>\n");

    // Names, the root's included, are not checked; a non-number and a missing
    // child read as 0; hex is not decimal; values come back as stored, for
    // the dialog to judge. Nothing when the file is missing or not XML.
    const std::pair<QByteArray, std::string> cases[] = {
        {"<Other><Rate>two</Rate></Other>", "0 0"},
        {"<S><ChannelIndex>0x2</ChannelIndex><SamleRate>2</SamleRate></S>", "0 2"},
        {"<S><SamleRate>7</SamleRate><ChannelIndex>-1</ChannelIndex></S>", "7 -1"},
        {"<StartSettings><ChannelIndex>2</ChannelIndex>", "none"},
        {"\n", "none"}};
    for (const auto &[xml, expected] : cases) {
        QFile f("put.xml");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(xml) > 0);
        f.close();
        const auto v = StartSettingsFile::read("put.xml");
        EXPECT_EQ(v ? std::to_string(v->channelIndex) + " " + std::to_string(v->sampleRateIndex)
                    : "none",
                  expected);
    }
    EXPECT_FALSE(StartSettingsFile::read("missing.xml"));
    // The file's place is a directory; the directory's place is a file; a full disk.
    QDir().mkpath("dir.xml");
    QFile::link("/dev/full", "full.xml");
    for (const char *path : {"dir.xml", "put.xml/s.xml", "full.xml"}) {
        EXPECT_FALSE(StartSettingsFile::write(path, {1, 1}, &error)) << path;
        EXPECT_FALSE(error.isEmpty()) << path;
        error.clear();
    }
}
