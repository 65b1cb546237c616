#include "protocol/symbolfile.h"
#include "protocol/symbollabeler.h"
#include "rowtestutil.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include <sys/stat.h>

namespace {
// An address (byte < 0) or data row as the converter produces it.
CaptureRow row(uint8_t address, int byte = -1, bool read = false)
{
    const std::string hex = QByteArray(1, char(byte)).toHex().toUpper().toStdString();
    return byte < 0 ? addrRow(address, read, true, 0) : dataRow(address, read, hex, true, 0);
}

SymbolDef sym(const QString &name, const QString &pos = "0", const QString &data = "")
{
    return SymbolDef(name, data.isEmpty() ? "ADDR" : "DATA", "50", data, pos, "WRITE");
}

// A plain pass over the list, slow and written for clarity: the oracle the
// decoder's indexed labelling is checked against.
struct ReferenceLabeler
{
    SymbolList symbols;
    QVector<QPair<QString, int>> pending; // names as shown

    void apply(CaptureRow &row)
    {
        const QStringList f = row.toStringList();
        if (f[0] == "STOP")
            pending.clear();
        for (const SymbolDef &s : symbols) {
            if (s.type() != f[0] || s.addr() != f[1] || s.readWrite() != f[2] ||
                (s.type() != "ADDR" && s.data() != QString::fromStdString(row.data)))
                continue;
            const std::string text = SymbolLabeler::labelText(s.name());
            const int n = SymbolDef::convertBytePosition(s.bytePosition());
            if (n == 0)
                row.data += text;
            else if (n > 0) // a negative position never counts down to a label
                pending.append({QString::fromStdString(text.substr(2, text.size() - 3)), n});
        }
        QVector<QPair<QString, int>> later;
        for (const auto &[name, rows] : pending)
            if (rows > 0)
                later.append({name, rows - 1});
            else if (f[0] == "ADDR" || f[0] == "DATA") // lost on other rows
                row.data += SymbolLabeler::labelText(name);
        pending = later;
    }
};
} // namespace

TEST(Labelling, ReadableExamplesEscapingAndBytePositions)
{
    SymbolLabeler d;
    CaptureRow rows[] = {row(0x50), CaptureRow::start(0), row(0x50), row(0x50, 0xA5)};
    d.applySymbols(rows[0]); // no list yet
    d.setActiveSymbols({sym("DEV"), sym("REG", "2"), sym("CMD", "0", "A5")});
    for (int i = 1; i < 4; ++i)
        d.applySymbols(rows[i]);
    EXPECT_EQ(rows[0].data + "|" + rows[2].data + "|" + rows[3].data, "--|-- [DEV]|A5 [CMD]");
    EXPECT_EQ(d.pendingLabels(), (QVector<QPair<QString, int>>{{"REG", 0}}));
    // Names cannot split the stored line; a NUL (hand-edited, found by fuzzing) is a space.
    EXPECT_EQ(SymbolLabeler::labelText(QString::fromLatin1("a,b\nc\rd\0e", 9)), " [a;b c d e]");
    EXPECT_EQ(SymbolLabeler::labelText(QString::fromUtf8("寄存器,读")), " [寄存器;读]");
    // The base comes from the prefix; what does not convert is 0.
    for (const auto &[text, rows] : std::map<QString, int>{
             {"0x1A", 26}, {"010", 8}, {" 3 ", 3}, {"-1", -1}, {"08", 0}, {"", 0}})
        EXPECT_EQ(SymbolDef::convertBytePosition(text), rows);
}

// The index must give exactly the labels, their order and the pending
// countdown of a plain pass over the list, also for odd hand-edited sets.
TEST(Labelling, IndexAgreesWithListPassOnRandomStreams)
{
    const QStringList vocab[] = {
        {"EEPROM", "", "a,b", "x]y", QString::fromUtf8("名"), "N1", "N2"},
        {"ADDR", "ADDR", "DATA", "DATA", "DATA", "START", "STOP", "data", ""},
        {"50", "50", "51", "7F", "--", "00", "5", "5a", ""},
        {"A5", "00", "01", "--", "-", "a5", "", "A5 [N1]", "A5 [EEPROM]", "01 [N2]", "-- [N1]"},
        {"0", "0", "0", "1", "2", "3", "0x2", "010", "08", "-1", "", "abc", "126", "127", "128",
         "130", "200", " 1 "},
        {"WRITE", "READ", "WRITE", "READ", "--", "write", ""}};
    const uint8_t addrs[] = {0x50, 0x51, 0x7F, 0x00, 0x05};
    const int bytes[] = {0xA5, 0x00, 0x01, 0xFF};
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 rng(seed);
        auto number = [&rng](int below) {
            return std::uniform_int_distribution<int>(0, below - 1)(rng);
        };
        SymbolLabeler decoder;
        ReferenceLabeler reference;
        const int stopPercent = number(9);
        for (int i = 0; i < 3000; ++i) {
            if (i % 1000 == 0) { // deferred labels of the old list still come
                SymbolList &list = reference.symbols;
                list.clear();
                for (int k = number(41); k > 0; --k) {
                    QStringList f;
                    for (const QStringList &v : vocab)
                        f << v[number(v.size())];
                    if (!list.isEmpty() && number(100) < 25) {
                        // Data that an earlier symbol's immediate label produces.
                        const SymbolDef &e = list[number(list.size())];
                        f[1] = e.type();
                        f[2] = e.addr();
                        f[3] =
                            e.data() + QString::fromStdString(SymbolLabeler::labelText(e.name()));
                        f[5] = e.readWrite();
                    }
                    // Anywhere: a chained symbol ahead of its source must not match.
                    list.insert(number(100) < 20 ? number(list.size() + 1) : list.size(),
                                SymbolDef::fromList(f));
                }
                decoder.setActiveSymbols(list);
                // The map's names: the symbols that label an address row at once.
                const auto names = SymbolLabeler::addressNames(list);
                for (const uint8_t a : addrs) {
                    QStringList expected;
                    for (const SymbolDef &s : list) {
                        ReferenceLabeler forWrite{{s}, {}}, forRead{{s}, {}};
                        CaptureRow w = row(a), r = row(a, -1, true);
                        forWrite.apply(w);
                        forRead.apply(r);
                        if ((w.data != "--" || r.data != "--") && !expected.contains(s.name()))
                            expected << s.name();
                    }
                    ASSERT_EQ(names[a], expected) << seed << ':' << int(a);
                }
            }
            const int kind = number(100);
            CaptureRow r = kind < stopPercent ? CaptureRow::stop(0) : CaptureRow::start(0);
            if (kind >= 10)
                r = row(addrs[number(5)], kind < 30 ? -1 : bytes[number(4)], number(100) < 30);
            CaptureRow expected = r;
            reference.apply(expected);
            decoder.applySymbols(r);
            ASSERT_EQ(r.data, expected.data) << seed << ':' << i;
            ASSERT_EQ(decoder.pendingLabels(), reference.pending) << seed << ':' << i;
        }
    }
}

// One thread swaps the lists while another labels: no row mixes two (run under TSan too).
TEST(LabellingConcurrency, SwappedListsNeverMixWithinARow)
{
    SymbolLabeler decoder;
    const SymbolList lists[] = {SymbolList(50, sym("a")), SymbolList(50, sym("b")), {}};
    const QString allA = "--" + QString(" [a]").repeated(50),
                  allB = QString(allA).replace("[a]", "[b]");
    std::atomic<bool> done{false};
    int rowsLabelled = 0, mixed = 0; // storing thread only until joined
    std::thread storing([&] {
        for (; !done.load() || rowsLabelled < 1000; ++rowsLabelled) {
            CaptureRow r = row(0x50);
            decoder.applySymbols(r);
            const QString text = QString::fromStdString(r.data);
            mixed += text != "--" && text != allA && text != allB;
        }
    });
    for (int i = 0; i < 2000; ++i)
        decoder.setActiveSymbols(lists[i % 3]);
    done.store(true);
    storing.join();
    EXPECT_EQ(mixed, 0);
}

TEST(SymbolFile, CanonicalDocumentRoundTripAndFailures)
{
    const SymbolList one{{"EEPROM", "ADDR", "50", "-", "0", "WRITE"}};
    const SymbolList odd{{"a<b & \"c\" 'd' >", "DATA", "<&>", "]]> &amp; <!-- x -->", " 7 ", "x"},
                         {QString::fromUtf8("读,高\t\n\r\n"), "", "", "", "", ""}};
    SymbolList read;
    const SymbolList escaped{{"<&>\"'", "DATA", "]]>", "", "1", "x"}}; // the writer's layout
    for (const SymbolList &written : {odd, escaped, SymbolList(), one}) {
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
    // Hand-edited: fields go by position whatever the names, a stray text is an empty field, extra
    // children are dropped, missing ones empty. A malformed file, or none, changes nothing.
    for (const char *xml : {"<A><X Name=\"n\"><a>DATA</a>text<c>51</c><d/><e/><f/><g/></X><Y/></A>",
                            "<S><X>", "\n"}) {
        f.resize(0);
        f.write(xml);
        f.flush();
        EXPECT_EQ(SymbolFile::read("s.xml", &read), xml[1] == 'A');
        EXPECT_FALSE(SymbolFile::read("missing.xml", &read));
        EXPECT_EQ(read, SymbolList({{"n", "DATA", "", "51", "", ""}, {}}));
    }
    // A comment is a symbol, text a field, a field all the text in it;
    // nesting beyond the limit, even 50,000 deep, is refused with its reason.
    QString error;
    for (int n : {SymbolFile::kMaxDepth - 2, SymbolFile::kMaxDepth - 1, 50000}) {
        const QByteArray deep =
            QByteArray("<a>").repeated(n) + "7" + QByteArray("</a>").repeated(n);
        QBuffer in;
        in.setData("<S><!--c--><X Name=\"n\">t" + deep + "</X></S>");
        in.open(QIODevice::ReadOnly);
        EXPECT_EQ(SymbolFile::read(&in, &read, &error), n < SymbolFile::kMaxDepth - 1);
        EXPECT_EQ(read, SymbolList({{}, {"n", "", "7", "", "", ""}}));
    }
    EXPECT_EQ(error, "第 1 行: 元素嵌套超过 64 层");
    QBuffer ref; // the writer's layout, but a character reference in it
    ref.setData("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Symbols><Symbol Name=\"&#65;\"><Type/>"
                "<Addr/><Data/><BytePosition/><ReadWrite/></Symbol></Symbols>");
    ref.open(QIODevice::ReadOnly);
    EXPECT_TRUE(SymbolFile::read(&ref, &read));
    EXPECT_EQ(read, SymbolList({{"A", "", "", "", "", ""}}));
    QByteArray bytes = QByteArray(ref.data()).replace("&#65;", "\xff"); // not UTF-8: refused
    QBuffer bad(&bytes);
    bad.open(QIODevice::ReadOnly);
    EXPECT_FALSE(SymbolFile::read(&bad, &read));
    ASSERT_EQ(::mkfifo("fifo.xml", 0600), 0);
    EXPECT_FALSE(SymbolFile::read("fifo.xml", &read, &error));
    EXPECT_EQ(error, "不是普通文件，而是命名管道");
    // No directory, a directory in the way, a device, a FIFO.
    QFile::link("/dev/full", "full.xml");
    for (const char *name : {"no/such/dir/s.xml", ".", "full.xml", "fifo.xml"}) {
        error.clear();
        EXPECT_TRUE(!SymbolFile::write(name, one, &error) && !error.isEmpty()) << name;
    }
}
