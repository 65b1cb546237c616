#include "symbolfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
void writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

class SymbolFileTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
};
} // namespace

TEST_F(SymbolFileTest, WritesIndentedUtf8DocumentEvenWhenEmpty)
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

    const QByteArray xml = SymbolFile::toXml({});
    EXPECT_TRUE(xml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")) << xml.constData();
    EXPECT_TRUE(xml.contains("<Symbols/>")) << xml.constData();

    ASSERT_TRUE(SymbolFile::write(path("empty.xml"), {}));
    SymbolList read{{"stale", "", "", "", "", ""}};
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
    ASSERT_EQ(read.size(), symbols.size());
    for (int i = 0; i < symbols.size(); ++i)
        EXPECT_EQ(read[i].toStringList(), symbols[i].toStringList()) << "symbol " << i;
}

TEST_F(SymbolFileTest, ReadsByPositionWhateverTheNames)
{
    // Other element names, a missing Name, a comment and a stray text as
    // fields, too many and too few children, and a stray text under the root.
    writeText(path("odd.xml"), "<?xml version=\"1.0\"?>\n"
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
    ASSERT_EQ(read.size(), 5);
    EXPECT_EQ(read[0].toStringList(), QStringList({"first", "DATA", "50", "A5", "1", "READ"}));
    EXPECT_EQ(read[1].toStringList(), QStringList({"", "ADDR", "51", "", "", ""}));
    EXPECT_EQ(read[2].toStringList(), QStringList({"mixed", "", "50", "", "3", ""}));
    EXPECT_EQ(read[3].toStringList(), QStringList({"", "", "", "", "", ""}));
    EXPECT_EQ(read[4].toStringList(), QStringList({"e", "", "", "", "", ""}));
}

TEST_F(SymbolFileTest, FailuresChangeNothing)
{
    const SymbolList previous{{"keep", "ADDR", "50", "-", "0", "WRITE"}};
    SymbolList read = previous;
    EXPECT_FALSE(SymbolFile::read(path("missing.xml"), &read));
    EXPECT_EQ(read, previous);

    writeText(path("bad.xml"), "<Symbols><Symbol Name=\"x\"><Type>ADDR</Symbols>");
    EXPECT_FALSE(SymbolFile::read(path("bad.xml"), &read));
    EXPECT_EQ(read, previous);

    writeText(path("blank.xml"), "<?xml version=\"1.0\"?>\n");
    EXPECT_FALSE(SymbolFile::read(path("blank.xml"), &read));
    EXPECT_EQ(read, previous);

    QString error;
    EXPECT_FALSE(SymbolFile::write(path("no/such/dir/s.xml"), {}, &error));
    EXPECT_FALSE(error.isEmpty());
    // A directory in the way of the file.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.xml"));
    error.clear();
    EXPECT_FALSE(SymbolFile::write(path("taken.xml"), {}, &error));
    EXPECT_FALSE(error.isEmpty());
}
