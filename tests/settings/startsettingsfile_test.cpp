// Each test runs in a fresh working directory, so relative paths are its own.
#include "startsettingsfile.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(StartSettingsFile, WrittenReadBackByPositionAndFailuresGiveAReason)
{
    QString error;
    ASSERT_TRUE(StartSettingsFile::write("Setting/s.xml", {3, 2}, &error)); // makes its directory
    EXPECT_TRUE(error.isEmpty());
    QFile f("Setting/s.xml");
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    EXPECT_EQ(f.readAll(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StartSettings>\n"
                           "    <ChannelIndex>3</ChannelIndex>\n"
                           "    <SamleRate>2</SamleRate>\n</StartSettings>\n");
    // Names are not checked; a non-number or a missing child reads as 0, and
    // hex is not decimal; values come back as stored, for the dialog to judge.
    for (const auto &[xml, expected] :
         std::map<QByteArray, std::string>{{"<O><R>two</R></O>", "0 0"},
                                           {"<S><C>0x2</C><R>2</R></S>", "0 2"},
                                           {"<S><R>7</R><C>-1</C></S>", "7 -1"},
                                           {"<S><C>2</C>", "none"},
                                           {"\n", "none"}}) {
        f.resize(0);
        f.write(xml);
        f.flush();
        const auto v = StartSettingsFile::read("Setting/s.xml");
        EXPECT_EQ(v ? std::to_string(v->channelIndex) + " " + std::to_string(v->sampleRateIndex)
                    : "none",
                  expected);
    }
    EXPECT_FALSE(StartSettingsFile::read("missing.xml"));
    // The file's place is a directory; the directory's place is a file; a full disk.
    QFile::link("/dev/full", "full.xml");
    for (const char *path : {"Setting", "Setting/s.xml/s.xml", "full.xml"}) {
        EXPECT_FALSE(StartSettingsFile::write(path, {1, 1}, &error)) << path;
        EXPECT_FALSE(error.isEmpty()) << path;
        error.clear();
    }
}
