#include "symbolfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
class SymbolFileTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    void put(const char *name, const QByteArray &text)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
};
} // namespace

TEST_F(SymbolFileTest, WritesTheCanonicalDocument)
{
    const SymbolList symbols{{"EEPROM", "ADDR", "50", "-", "0", "WRITE"}};
    const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<Symbols>\n"
                                "    <Symbol Name=\"EEPROM\">\n"
                                "        <Type>ADDR</Type>\n"
                                "        <Addr>50</Addr>\n"
                                "        <Data>-</Data>\n"
                                "        <BytePosition>0</BytePosition>\n"
                                "        <ReadWrite>WRITE</ReadWrite>\n"
                                "    </Symbol>\n"
                                "</Symbols>\n";
    EXPECT_EQ(SymbolFile::toXml(symbols), expected);
    ASSERT_TRUE(SymbolFile::write(path("s.xml"), symbols));
    QFile f(path("s.xml"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), expected);

    // An empty list is still a document, and reading it empties the list.
    EXPECT_EQ(SymbolFile::toXml({}), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Symbols/>\n");
    ASSERT_TRUE(SymbolFile::write(path("empty.xml"), {}));
    SymbolList read = symbols;
    ASSERT_TRUE(SymbolFile::read(path("empty.xml"), &read));
    EXPECT_TRUE(read.isEmpty());
}

TEST_F(SymbolFileTest, RoundTripKeepsEveryTextExactly)
{
    const SymbolList symbols{
        {"", "DATA", "50", "A5", "0", "WRITE"},
        {"a<b & \"c\" 'd' >", "ADDR", "7F", "-", "2", "READ"},
        {"]]> &amp; <!-- x -->", "DATA", "0", "ff", "0x10", "write"},
        {QString::fromUtf8("读寄存器,高位"), "DATA", "<&>", "\"'", "  7 ", "READ"},
        {"  padded  ", "", "", "", "", ""},
        {"tab\there\nnew line\r\n", "ADDR", "50", "-", "99", "WRITE"},
    };
    ASSERT_TRUE(SymbolFile::write(path("rt.xml"), symbols));
    SymbolList read;
    ASSERT_TRUE(SymbolFile::read(path("rt.xml"), &read));
    EXPECT_EQ(read, symbols);
}

TEST_F(SymbolFileTest, ReadsByPositionWhateverTheNames)
{
    // Other element names, a missing Name, a comment and a stray text as
    // fields, too many and too few children, and a stray text under the root.
    put("odd.xml", "<?xml version=\"1.0\"?>\n"
                   "<Anything>\n"
                   "  <Foo Name=\"first\"><a>DATA</a><b>50</b><c>A5</c>"
                   "<d>1</d><e>READ</e><f>extra</f></Foo>\n"
                   "  <Symbol><Type>ADDR</Type><Addr>51</Addr></Symbol>\n"
                   "  <Symbol Name=\"mixed\"><!-- c --><x>50</x>text<y>3</y></Symbol>\n"
                   "  loose\n"
                   "  <Symbol Name=\"e\"/>\n"
                   "</Anything>\n");
    SymbolList read;
    ASSERT_TRUE(SymbolFile::read(path("odd.xml"), &read));
    EXPECT_EQ(read, SymbolList({{"first", "DATA", "50", "A5", "1", "READ"},
                                {"", "ADDR", "51", "", "", ""},
                                {"mixed", "", "50", "", "3", ""},
                                {"", "", "", "", "", ""},
                                {"e", "", "", "", "", ""}}));
}

TEST_F(SymbolFileTest, FailuresChangeNothing)
{
    const SymbolList previous{{"keep", "ADDR", "50", "-", "0", "WRITE"}};
    SymbolList read = previous;
    put("bad.xml", "<Symbols><Symbol Name=\"x\"><Type>ADDR</Symbols>");
    put("blank.xml", "<?xml version=\"1.0\"?>\n");
    for (const char *name : {"missing.xml", "bad.xml", "blank.xml"}) {
        EXPECT_FALSE(SymbolFile::read(path(name), &read)) << name;
        EXPECT_EQ(read, previous) << name;
    }

    // No directory, and a directory in the way of the file.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.xml"));
    for (const char *name : {"no/such/dir/s.xml", "taken.xml"}) {
        QString error;
        EXPECT_FALSE(SymbolFile::write(path(name), {}, &error)) << name;
        EXPECT_FALSE(error.isEmpty()) << name;
    }
}
