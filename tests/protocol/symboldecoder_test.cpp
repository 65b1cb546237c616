#include "rows.h"
#include "symboldecoder.h"
#include "symbolfile.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {
SymbolDef addrSymbol(const QString &name, const QString &addr, const QString &rw,
                     const QString &pos = "0")
{
    return SymbolDef(name, "ADDR", addr, "-", pos, rw);
}

SymbolDef dataSymbol(const QString &name, const QString &addr, const QString &data,
                     const QString &rw, const QString &pos = "0")
{
    return SymbolDef(name, "DATA", addr, data, pos, rw);
}

using Texts = std::vector<std::string>;

// Labels the rows in order and returns their data texts.
Texts label(SymbolDecoder &d, std::vector<CaptureRow> rows)
{
    Texts out;
    for (CaptureRow &r : rows) {
        d.applySymbols(r);
        out.push_back(r.data);
    }
    return out;
}

// A plain pass over the list, slow and written for clarity: the oracle the
// decoder's indexed labelling is checked against.
struct ReferenceLabeler
{
    SymbolList symbols;
    QList<QPair<QString, int>> pending;

    void apply(CaptureRow &row)
    {
        const QStringList f = row.toStringList();
        if (f[0] == "STOP")
            pending.clear();
        for (const SymbolDef &s : symbols) {
            bool match = s.type() == f[0] && s.addr() == f[1] && s.readWrite() == f[2];
            if (s.type() != "ADDR")
                match = match && s.data() == QString::fromStdString(row.data);
            if (!match)
                continue;
            const int n = SymbolDef::convertBytePosition(s.bytePosition());
            if (n == 0)
                row.data += SymbolDecoder::labelText(s.name());
            else
                pending.append({s.name(), n});
        }
        for (auto &e : pending) {
            if (e.second == 0 && (f[0] == "ADDR" || f[0] == "DATA"))
                row.data += SymbolDecoder::labelText(e.first);
            --e.second;
        }
        for (int i = pending.size() - 1; i >= 0; --i)
            if (pending[i].second < 0)
                pending.removeAt(i);
    }
};
} // namespace

TEST(Labelling, ImmediateDeferredAndDroppedLabels)
{
    SymbolDecoder d;
    d.setActiveSymbols(
        {addrSymbol("EEPROM", "50", "WRITE"), dataSymbol("CMD", "50", "A5", "WRITE")});
    EXPECT_EQ(label(d, {addrRow(0x50), addrRow(0x50, true), addrRow(0x51), dataRow(0x50, 0xA5),
                        dataRow(0x50, 0xA6), dataRow(0x50, 0xA5, true), dataRow(0x51, 0xA5)}),
              Texts({"-- [EEPROM]", "--", "--", "A5 [CMD]", "A6", "A5", "A5"}));

    // Deferred labels count every stored row; a STOP before they are due
    // drops them, and one due on a row that is neither ADDR nor DATA is lost.
    d.setActiveSymbols(
        {addrSymbol("DEV", "50", "WRITE", "0"), addrSymbol("REG", "50", "WRITE", "1"),
         addrSymbol("SECOND", "50", "WRITE", "2"), dataSymbol("NEXT", "50", "03", "WRITE", "1")});
    EXPECT_EQ(
        label(d, {CaptureRow::start(0), addrRow(0x50), dataRow(0x50, 0x01), dataRow(0x50, 0x02),
                  addrRow(0x50), CaptureRow::stop(0), dataRow(0x50, 0x02), dataRow(0x50, 0x03),
                  CaptureRow::start(0), dataRow(0x50, 0x04)}),
        Texts({"--", "-- [DEV]", "01 [REG]", "02 [SECOND]", "-- [DEV]", "--", "02", "03", "--",
               "04"}));
    EXPECT_TRUE(d.pendingLabels().isEmpty());
}

TEST(Labelling, SeveralLabelsOnOneRowInListOrder)
{
    SymbolDecoder d;
    d.setActiveSymbols({
        addrSymbol("A1", "50", "WRITE"),
        addrSymbol("LATER", "50", "WRITE", "1"),
        addrSymbol("A2", "50", "WRITE"),
        dataSymbol("X", "50", "A5", "WRITE"),
        // Immediate labels are part of the data by now: these see "A5 [X]".
        dataSymbol("NOT-SEEN", "50", "A5", "WRITE"),
        dataSymbol("CHAINED", "50", "A5 [X]", "WRITE"),
        // A deferred match leaves the data as it is.
        dataSymbol("DEFERRED", "50", "A5 [X] [CHAINED]", "WRITE", "1"),
        dataSymbol("ALSO", "50", "A5 [X] [CHAINED]", "WRITE"),
    });
    EXPECT_EQ(label(d, {addrRow(0x50), dataRow(0x50, 0xA5), dataRow(0x50, 0x00)}),
              Texts({"-- [A1] [A2]", "A5 [X] [CHAINED] [ALSO] [LATER]", "00 [DEFERRED]"}));
}

TEST(Labelling, BytePositionTakesItsBaseFromThePrefix)
{
    SymbolDecoder d;
    d.setActiveSymbols({
        addrSymbol("HEX2", "50", "WRITE", "0x2"),
        addrSymbol("OCT8", "50", "WRITE", "010"),
        addrSymbol("BAD08", "50", "WRITE", "08"), // not octal: 0, immediate
        addrSymbol("EMPTY", "50", "WRITE", ""),
        addrSymbol("NEG", "50", "WRITE", "-1"),
        addrSymbol("SPACED", "50", "WRITE", " 3 "),
        addrSymbol("FAR", "50", "WRITE", "200"),
    });
    std::vector<CaptureRow> rows{addrRow(0x50)};
    for (int i = 0; i < 9; ++i)
        rows.push_back(dataRow(0x50, uint8_t(i)));
    EXPECT_EQ(label(d, rows), Texts({"-- [BAD08] [EMPTY]", "00", "01 [HEX2]", "02 [SPACED]", "03",
                                     "04", "05", "06", "07 [OCT8]", "08"}));
    using P = QPair<QString, int>;
    EXPECT_EQ(d.pendingLabels(), QVector<P>({P("FAR", 190)}));
}

TEST(Labelling, HandEditedSymbolsAndNames)
{
    SymbolDecoder d;
    d.setActiveSymbols({
        addrSymbol("ONEDIGIT", "5", "WRITE"),
        addrSymbol("LOWER", "5a", "WRITE"),
        addrSymbol("RW", "50", "write"),
        SymbolDef("TYPE", "addr", "50", "-", "0", "WRITE"),
        dataSymbol("DATA", "50", "a5", "WRITE"),
        SymbolDef::fromList({"SHORT", "ADDR", "50"}),
        SymbolDef(),
    });
    EXPECT_EQ(label(d, {addrRow(0x05), addrRow(0x5A), addrRow(0x50), dataRow(0x50, 0xA5)}),
              Texts({"--", "--", "--", "A5"}));

    // Names cannot split the stored line into more fields or lines; a NUL
    // read from a hand-edited file (found by fuzzing) becomes a space.
    d.setActiveSymbols({addrSymbol("reg,hi", "50", "WRITE"),
                        addrSymbol(QString::fromLatin1("two\nlines\r\0", 11), "50", "WRITE"),
                        addrSymbol(QString::fromUtf8("寄存器,读"), "50", "WRITE")});
    EXPECT_EQ(label(d, {addrRow(0x50)}), Texts({"-- [reg;hi] [two lines  ] [寄存器;读]"}));
}

TEST(Labelling, ReplacingTheList)
{
    // Rows pass untouched before any list; deferred labels of a replaced list still come.
    SymbolDecoder d;
    EXPECT_EQ(label(d, {addrRow(0x50)}), Texts({"--"}));
    d.setActiveSymbols({addrSymbol("OLD", "50", "WRITE", "1")});
    EXPECT_EQ(label(d, {addrRow(0x50)}), Texts({"--"}));
    d.setActiveSymbols({});
    EXPECT_TRUE(d.activeSymbols().isEmpty());
    EXPECT_EQ(label(d, {dataRow(0x50, 0x01), addrRow(0x50)}), Texts({"01 [OLD]", "--"}));

    // A file that cannot be read leaves the list in force; the default file
    // is relative to the working directory.
    const SymbolList before{dataSymbol("CMD", "50", "A5", "WRITE")};
    d.setActiveSymbols(before);
    QFile::remove(SymbolFile::defaultPath());
    EXPECT_FALSE(d.loadActiveSymbols());
    EXPECT_EQ(d.activeSymbols(), before);
    QDir().mkdir("symbols");
    ASSERT_TRUE(
        SymbolFile::write(SymbolFile::defaultPath(), {addrSymbol("EEPROM", "50", "WRITE")}));
    EXPECT_TRUE(d.loadActiveSymbols());
    QFile::remove(SymbolFile::defaultPath());
    EXPECT_EQ(label(d, {addrRow(0x50), dataRow(0x50, 0xA5)}), Texts({"-- [EEPROM]", "A5"}));
}

// The index must give exactly the labels, their order and the pending
// countdown of a plain pass over the list, also for odd hand-edited sets.
TEST(Labelling, IndexAgreesWithListPassOnRandomStreams)
{
    const QStringList names{"EEPROM", "", "a,b", "x]y", QString::fromUtf8("名"), "N1", "N2"};
    const QStringList types{"ADDR", "ADDR", "DATA", "DATA", "DATA", "START", "STOP", "data", ""};
    const QStringList addrs{"50", "50", "51", "7F", "--", "00", "5", "5a", ""};
    const QStringList datas{"A5", "00",      "01",          "--",      "-",      "a5",
                            "",   "A5 [N1]", "A5 [EEPROM]", "01 [N2]", "-- [N1]"};
    const QStringList positions{"0",  "0", "0",   "1",   "2",   "3",   "0x2", "010", "08",
                                "-1", "",  "abc", "126", "127", "128", "130", "200", " 1 "};
    const QStringList rws{"WRITE", "READ", "WRITE", "READ", "--", "write", ""};
    const uint8_t rowAddrs[] = {0x50, 0x51, 0x7F, 0x00, 0x05};
    const uint8_t rowData[] = {0xA5, 0x00, 0x01, 0xFF};

    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 rng(seed);
        auto number = [&rng](int below) {
            return std::uniform_int_distribution<int>(0, below - 1)(rng);
        };
        auto pick = [&](const QStringList &l) { return l[number(l.size())]; };
        auto randomSymbols = [&] {
            SymbolList list;
            for (int i = number(41); i > 0; --i) {
                QStringList f{pick(names), pick(types),     pick(addrs),
                              pick(datas), pick(positions), pick(rws)};
                if (!list.isEmpty() && number(100) < 25) {
                    // Data that an earlier symbol's immediate label produces.
                    const SymbolDef &e = list[number(list.size())];
                    f[1] = e.type();
                    f[2] = e.addr();
                    f[3] = e.data() + QString::fromStdString(SymbolDecoder::labelText(e.name()));
                    f[5] = e.readWrite();
                }
                if (number(100) < 5)
                    f = f.mid(0, number(6));
                // Anywhere in the list: a chained symbol ahead of its source must not match.
                list.insert(number(100) < 20 ? number(list.size() + 1) : list.size(),
                            SymbolDef::fromList(f));
            }
            return list;
        };

        SymbolDecoder decoder;
        ReferenceLabeler reference;
        const int stopPercent = number(9);
        for (int i = 0; i < 3000; ++i) {
            if (i % 1000 == 0) {
                reference.symbols = randomSymbols();
                decoder.setActiveSymbols(reference.symbols);
            }
            const int kind = number(100);
            const uint8_t a = rowAddrs[number(5)];
            const bool read = number(100) < 30;
            CaptureRow row = kind < stopPercent ? CaptureRow::stop(0)
                             : kind < 10        ? CaptureRow::start(0)
                             : kind < 30        ? addrRow(a, read)
                                                : dataRow(a, rowData[number(4)], read);
            CaptureRow expected = row;
            reference.apply(expected);
            decoder.applySymbols(row);
            ASSERT_EQ(row.data, expected.data) << "seed " << seed << " row " << i;

            const QVector<QPair<QString, int>> pending = decoder.pendingLabels();
            ASSERT_EQ(pending.size(), reference.pending.size()) << "seed " << seed << " row " << i;
            for (int k = 0; k < pending.size(); ++k) {
                ASSERT_EQ(SymbolDecoder::labelText(pending[k].first),
                          SymbolDecoder::labelText(reference.pending[k].first));
                ASSERT_EQ(pending[k].second, reference.pending[k].second);
            }
        }
    }
}
