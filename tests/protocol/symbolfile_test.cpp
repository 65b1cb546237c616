// Each test runs in a fresh working directory, so relative paths are its own.
#include "symbolfile.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(SymbolFile, CanonicalDocumentRoundTripAndFailures)
{
    const SymbolList one{{"EEPROM", "ADDR", "50", "-", "0", "WRITE"}};
    EXPECT_EQ(SymbolFile::toXml({}), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Symbols/>\n");
    const SymbolList odd{{"a<b & \"c\" 'd' >", "DATA", "<&>", "]]> &amp; <!-- x -->", " 7 ", "x"},
                         {QString::fromUtf8("读寄存器,高位"), "", "", "", "", ""},
                         {"tab\there\nnew line\r\n", "ADDR", "7F", "-", "0x10", "READ"}};
    SymbolList read;
    for (const SymbolList &written : {odd, SymbolList(), one}) {
        ASSERT_TRUE(SymbolFile::write("s.xml", written));
        ASSERT_TRUE(SymbolFile::read("s.xml", &read));
        EXPECT_EQ(read, written);
    }
    QFile f("s.xml");
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    EXPECT_EQ(
        f.readAll(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Symbols>\n    <Symbol Name=\"EEPROM\">\n"
        "        <Type>ADDR</Type>\n        <Addr>50</Addr>\n        <Data>-</Data>\n"
        "        <BytePosition>0</BytePosition>\n        <ReadWrite>WRITE</ReadWrite>\n"
        "    </Symbol>\n</Symbols>\n");

    // Hand-edited files: fields go by position whatever the names, a stray
    // text is an empty field, extra children are dropped, missing ones empty.
    // Malformed ones, or none, change nothing.
    const std::pair<QByteArray, SymbolList> cases[] = {
        {"<A><X Name=\"n\"><a>DATA</a>text<c>51</c><d/><e/><f/><g>extra</g></X><Y/></A>",
         {{"n", "DATA", "", "51", "", ""}, {"", "", "", "", "", ""}}},
        {"<S><X Name=\"x\"><a>ADDR</S>", {{"n", "DATA", "", "51", "", ""}, {}}},
        {"\n", {{"n", "DATA", "", "51", "", ""}, {}}}};
    for (const auto &[xml, expected] : cases) {
        f.resize(0);
        f.write(xml);
        f.flush();
        EXPECT_EQ(SymbolFile::read("s.xml", &read), xml.startsWith("<A>"));
        EXPECT_FALSE(SymbolFile::read("missing.xml", &read));
        EXPECT_EQ(read, expected);
    }
    // No directory, a directory in the way, a full disk.
    QFile::link("/dev/full", "full.xml");
    for (const char *name : {"no/such/dir/s.xml", ".", "full.xml"}) {
        QString error;
        EXPECT_FALSE(SymbolFile::write(name, one, &error)) << name;
        EXPECT_FALSE(error.isEmpty()) << name;
    }
}
