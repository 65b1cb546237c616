// Each test runs in a fresh working directory, so relative paths are its own.
#include "symbolfile.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(SymbolFile, CanonicalDocumentRoundTripAndFailures)
{
    const SymbolList one{{"EEPROM", "ADDR", "50", "-", "0", "WRITE"}};
    ASSERT_TRUE(SymbolFile::write("one.xml", one));
    QFile f("one.xml");
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
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
    SymbolList read;
    for (const SymbolList &written : {one, odd, SymbolList()}) {
        ASSERT_TRUE(SymbolFile::write("rt.xml", written));
        ASSERT_TRUE(SymbolFile::read("rt.xml", &read));
        EXPECT_EQ(read, written);
    }

    // Hand-edited: fields by position whatever the names, a stray text as an
    // empty field, extra children dropped, missing ones empty.
    f.resize(0);
    f.write("<Any><X Name=\"n\"><a>DATA</a>text<c>51</c><d/><e/><f/><g>extra</g></X><Y/></Any>");
    f.close();
    ASSERT_TRUE(SymbolFile::read("one.xml", &read));
    EXPECT_EQ(read, SymbolList({{"n", "DATA", "", "51", "", ""}, {"", "", "", "", "", ""}}));
    // Unreadable, malformed, or without a document element: nothing changes.
    for (const QByteArray &bad : {QByteArray("<S><X Name=\"x\"><a>ADDR</S>"), QByteArray("\n")}) {
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bad);
        f.close();
        EXPECT_FALSE(SymbolFile::read("one.xml", &read));
        EXPECT_FALSE(SymbolFile::read("missing.xml", &read));
        EXPECT_EQ(read.size(), 2);
    }
    // No directory, a directory in the way, a full disk.
    ASSERT_TRUE(QDir().mkdir("taken.xml"));
    QFile::link("/dev/full", "full.xml");
    for (const char *name : {"no/such/dir/s.xml", "taken.xml", "full.xml"}) {
        QString error;
        EXPECT_FALSE(SymbolFile::write(name, one, &error)) << name;
        EXPECT_FALSE(error.isEmpty()) << name;
    }
}
