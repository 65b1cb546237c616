// Each test runs in a fresh working directory, so relative paths are its own.
#include "symbolfile.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {
void put(const char *path, const QByteArray &bytes)
{
    QFile f(QString::fromLatin1(path));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
} // namespace

TEST(SymbolFile, WritesTheCanonicalDocumentAndReadsEveryTextBack)
{
    const SymbolList one{{"EEPROM", "ADDR", "50", "-", "0", "WRITE"}};
    ASSERT_TRUE(SymbolFile::write("one.xml", one));
    QFile f("one.xml");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        f.readAll(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Symbols>\n    <Symbol Name=\"EEPROM\">\n"
        "        <Type>ADDR</Type>\n        <Addr>50</Addr>\n        <Data>-</Data>\n"
        "        <BytePosition>0</BytePosition>\n        <ReadWrite>WRITE</ReadWrite>\n"
        "    </Symbol>\n</Symbols>\n");
    EXPECT_EQ(SymbolFile::toXml({}), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Symbols/>\n");
    const SymbolList odd{{"a<b & \"c\" 'd' >", "DATA", "<&>", "]]> &amp; <!-- x -->", " 7 ", "x"},
                         {QString::fromUtf8("读寄存器,高位"), "", "", "", "", ""},
                         {"tab\there\nnew line\r\n", "ADDR", "7F", "-", "0x10", "READ"}};
    for (const SymbolList &written : {one, odd, SymbolList()}) {
        SymbolList read{{"previous", "", "", "", "", ""}};
        ASSERT_TRUE(SymbolFile::write("rt.xml", written));
        ASSERT_TRUE(SymbolFile::read("rt.xml", &read));
        EXPECT_EQ(read, written);
    }
}

TEST(SymbolFile, ReadsByPositionAndFailsWithoutChangingAnything)
{
    // Other element names, a missing Name, a comment and a stray text as
    // fields, too many and too few children, and a stray text under the root.
    put("odd.xml", "<Anything><Foo Name=\"first\"><a>DATA</a><b>50</b><c>A5</c><d>1</d>"
                   "<e>READ</e><f>extra</f></Foo>\n  <Symbol><Type>ADDR</Type></Symbol>\n"
                   "<Symbol Name=\"mixed\"><!-- c --><x>50</x>text<y>3</y></Symbol>\n"
                   "  loose\n  <Symbol Name=\"e\"/></Anything>\n");
    SymbolList read;
    ASSERT_TRUE(SymbolFile::read("odd.xml", &read));
    EXPECT_EQ(read, SymbolList({{"first", "DATA", "50", "A5", "1", "READ"},
                                {"", "ADDR", "", "", "", ""},
                                {"mixed", "", "50", "", "3", ""},
                                {"", "", "", "", "", ""},
                                {"e", "", "", "", "", ""}}));
    const SymbolList previous = read;
    put("bad.xml", "<Symbols><Symbol Name=\"x\"><Type>ADDR</Symbols>");
    put("blank.xml", "<?xml version=\"1.0\"?>\n");
    for (const char *name : {"missing.xml", "bad.xml", "blank.xml"}) {
        EXPECT_FALSE(SymbolFile::read(name, &read)) << name;
        EXPECT_EQ(read, previous) << name;
    }
    // No directory, a directory in the way, a full disk.
    ASSERT_TRUE(QDir().mkdir("taken.xml"));
    QFile::link("/dev/full", "full.xml");
    for (const char *name : {"no/such/dir/s.xml", "taken.xml", "full.xml"}) {
        QString error;
        EXPECT_FALSE(SymbolFile::write(name, previous, &error)) << name;
        EXPECT_FALSE(error.isEmpty()) << name;
    }
}
