#include "referencelabeler.h"
#include "rows.h"
#include "symboldecoder.h"
#include "symbolfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

// Labels the rows in order and returns their data texts.
std::vector<std::string> label(SymbolDecoder &d, std::vector<CaptureRow> rows)
{
    std::vector<std::string> out;
    for (CaptureRow &r : rows) {
        d.applySymbols(r);
        out.push_back(r.data);
    }
    return out;
}

using Texts = std::vector<std::string>;
} // namespace

TEST(Labelling, ImmediateAndDeferredLabels)
{
    SymbolDecoder d;
    d.setActiveSymbols(
        {addrSymbol("EEPROM", "50", "WRITE"), dataSymbol("CMD", "50", "A5", "WRITE")});
    EXPECT_EQ(label(d, {addrRow(0x50), addrRow(0x50, true), addrRow(0x51), dataRow(0x50, 0xA5),
                        dataRow(0x50, 0xA6), dataRow(0x50, 0xA5, true), dataRow(0x51, 0xA5)}),
              Texts({"-- [EEPROM]", "--", "--", "A5 [CMD]", "A6", "A5", "A5"}));

    // Deferred labels count every stored row.
    d.setActiveSymbols({addrSymbol("DEV", "50", "WRITE", "0"),
                        addrSymbol("REG", "50", "WRITE", "1"),
                        addrSymbol("SECOND", "50", "WRITE", "2")});
    EXPECT_EQ(
        label(d, {startRow(), addrRow(0x50), dataRow(0x50, 0x01), dataRow(0x50, 0x02), stopRow()}),
        Texts({"--", "-- [DEV]", "01 [REG]", "02 [SECOND]", "--"}));

    // A STOP before the row is due drops the label.
    EXPECT_EQ(label(d, {startRow(), addrRow(0x50), dataRow(0x50, 0x01), stopRow(), startRow(),
                        dataRow(0x50, 0x02)}),
              Texts({"--", "-- [DEV]", "01 [REG]", "--", "--", "02"}));
    EXPECT_TRUE(d.pendingLabels().isEmpty());

    // A due label on a row that is neither ADDR nor DATA is lost.
    d.setActiveSymbols({dataSymbol("NEXT", "50", "03", "WRITE", "1")});
    EXPECT_EQ(label(d, {addrRow(0x50), dataRow(0x50, 0x03), startRow(), addrRow(0x50, true),
                        dataRow(0x50, 0x04, true)}),
              Texts({"--", "03", "--", "--", "04"}));
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
    });
    std::vector<CaptureRow> rows{addrRow(0x50)};
    for (int i = 0; i < 9; ++i)
        rows.push_back(dataRow(0x50, uint8_t(i)));
    EXPECT_EQ(label(d, rows), Texts({"-- [BAD08] [EMPTY]", "00", "01 [HEX2]", "02 [SPACED]", "03",
                                     "04", "05", "06", "07 [OCT8]", "08"}));
    EXPECT_TRUE(d.pendingLabels().isEmpty());

    // Labels due far ahead keep their order with nearer ones.
    d.setActiveSymbols(
        {addrSymbol("FAR", "50", "WRITE", "200"), dataSymbol("NEAR", "50", "77", "WRITE", "100")});
    rows = {addrRow(0x50)};
    for (int i = 1; i <= 200; ++i)
        rows.push_back(dataRow(0x50, i == 100 ? 0x77 : 0x01));
    const Texts out = label(d, rows);
    EXPECT_EQ(out[200], "01 [FAR] [NEAR]");
    for (int i = 1; i < 200; ++i)
        ASSERT_EQ(out[size_t(i)], i == 100 ? "77" : "01") << i;

    // The pending list as the list pass would hold it, oldest first.
    CaptureRow r = addrRow(0x50);
    d.applySymbols(r);
    r = dataRow(0x50, 0x77);
    d.applySymbols(r);
    using P = QPair<QString, int>;
    EXPECT_EQ(d.pendingLabels(), QVector<P>({P("FAR", 198), P("NEAR", 99)}));
    r = stopRow();
    d.applySymbols(r);
    EXPECT_TRUE(d.pendingLabels().isEmpty());
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
        SymbolDef::fromList({"SHORTDATA", "DATA", "50", "A5"}),
        SymbolDef(),
    });
    EXPECT_EQ(label(d, {addrRow(0x05), addrRow(0x5A), addrRow(0x50), dataRow(0x50, 0xA5)}),
              Texts({"--", "--", "--", "A5"}));

    // Names cannot split the stored line into more fields or lines.
    d.setActiveSymbols({addrSymbol("reg,hi", "50", "WRITE"),
                        addrSymbol("two\nlines\r", "50", "WRITE"), addrSymbol("", "50", "WRITE")});
    CaptureRow r = addrRow(0x50);
    d.applySymbols(r);
    EXPECT_EQ(r.data, "-- [reg;hi] [two lines ] []");
    EXPECT_EQ(SymbolDecoder::labelText(QString::fromUtf8("寄存器,读")),
              std::string(" [") + "寄存器;读" + "]");
    // A NUL read from a hand-edited file (found by fuzzing) becomes a space.
    EXPECT_EQ(SymbolDecoder::labelText(QString::fromLatin1("a\0b", 3)), " [a b]");
}

TEST(Labelling, ReplacingTheList)
{
    // Deferred labels of a replaced list still come.
    SymbolDecoder d;
    d.setActiveSymbols({addrSymbol("OLD", "50", "WRITE", "1")});
    EXPECT_EQ(d.activeSymbols().size(), 1);
    CaptureRow r = addrRow(0x50);
    d.applySymbols(r);
    d.setActiveSymbols({});
    EXPECT_TRUE(d.activeSymbols().isEmpty());
    EXPECT_EQ(label(d, {dataRow(0x50, 0x01), addrRow(0x50)}), Texts({"01 [OLD]", "--"}));

    QTemporaryDir dir;
    const QString good = dir.filePath("good.xml");
    ASSERT_TRUE(SymbolFile::write(good, {addrSymbol("EEPROM", "50", "WRITE")}));
    const QString bad = dir.filePath("bad.xml");
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<Symbols><Symbol>");
    }

    // A file that cannot be read or parsed leaves the list in force.
    const SymbolList before{dataSymbol("CMD", "50", "A5", "WRITE")};
    d.setActiveSymbols(before);
    EXPECT_FALSE(d.loadActiveSymbols(dir.filePath("missing.xml")));
    EXPECT_EQ(d.activeSymbols(), before);
    EXPECT_FALSE(d.loadActiveSymbols(bad));
    EXPECT_EQ(d.activeSymbols(), before);
    EXPECT_TRUE(d.loadActiveSymbols(good));
    EXPECT_EQ(label(d, {addrRow(0x50), dataRow(0x50, 0xA5)}), Texts({"-- [EEPROM]", "A5"}));

    // The default file is relative to the working directory.
    QDir().mkdir("symbols");
    QFile::remove(SymbolFile::defaultPath());
    EXPECT_FALSE(d.loadActiveSymbols());
    ASSERT_TRUE(SymbolFile::write(SymbolFile::defaultPath(), before));
    EXPECT_TRUE(d.loadActiveSymbols());
    EXPECT_EQ(d.activeSymbols(), before);
    QFile::remove(SymbolFile::defaultPath());
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
        auto pick = [&rng](const QStringList &l) {
            return l[int(std::uniform_int_distribution<int>(0, l.size() - 1)(rng))];
        };
        auto chance = [&rng](int percent) {
            return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
        };
        auto randomSymbols = [&] {
            SymbolList list;
            const int n = std::uniform_int_distribution<int>(0, 40)(rng);
            for (int i = 0; i < n; ++i) {
                QStringList f{pick(names), pick(types),     pick(addrs),
                              pick(datas), pick(positions), pick(rws)};
                if (!list.isEmpty() && chance(25)) {
                    // Data that an earlier symbol's immediate label produces.
                    const SymbolDef &e =
                        list[std::uniform_int_distribution<int>(0, list.size() - 1)(rng)];
                    f[1] = e.type();
                    f[2] = e.addr();
                    f[3] = e.data() + QString::fromStdString(SymbolDecoder::labelText(e.name()));
                    f[5] = e.readWrite();
                }
                if (chance(5))
                    f = f.mid(0, std::uniform_int_distribution<int>(0, 5)(rng));
                // Anywhere in the list: a chained symbol ahead of its source must not match.
                list.insert(chance(20) ? std::uniform_int_distribution<int>(0, list.size())(rng)
                                       : list.size(),
                            SymbolDef::fromList(f));
            }
            return list;
        };

        SymbolDecoder decoder;
        ReferenceLabeler reference;
        const int stopPercent = std::uniform_int_distribution<int>(0, 8)(rng);
        for (int i = 0; i < 3000; ++i) {
            if (i % 1000 == 0) {
                const SymbolList symbols = randomSymbols();
                decoder.setActiveSymbols(symbols);
                reference.activeSymbols = symbols;
            }
            CaptureRow row;
            const int kind = std::uniform_int_distribution<int>(0, 99)(rng);
            const uint8_t a = rowAddrs[std::uniform_int_distribution<int>(0, 4)(rng)];
            const bool read = chance(30);
            if (kind < stopPercent)
                row = stopRow();
            else if (kind < 10)
                row = startRow();
            else if (kind < 30)
                row = addrRow(a, read);
            else
                row = dataRow(a, rowData[std::uniform_int_distribution<int>(0, 3)(rng)], read);

            CaptureRow expected = row;
            reference.applySymbols(expected);
            decoder.applySymbols(row);
            ASSERT_EQ(row.data, expected.data) << "seed " << seed << " row " << i;

            const QVector<QPair<QString, int>> pending = decoder.pendingLabels();
            ASSERT_EQ(pending.size(), reference.pendingLabels.size())
                << "seed " << seed << " row " << i;
            for (int k = 0; k < pending.size(); ++k) {
                ASSERT_EQ(SymbolDecoder::labelText(pending[k].first),
                          SymbolDecoder::labelText(reference.pendingLabels[k].first));
                ASSERT_EQ(pending[k].second, reference.pendingLabels[k].second);
            }
        }
    }
}
