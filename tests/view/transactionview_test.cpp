// The transaction view without widgets: cell texts and colours, the page fill
// over a store and its transaction index, and the CSV export of what is shown.
#include "capture/capturepipeline.h"
#include "export/transactionwriter.h"
#include "rowtestutil.h"
#include "search/blockindex.h"
#include "transaction/transactionindex.h"
#include "view/transactionpagefiller.h"
#include "view/transactionrows.h"
#include "view/transactionsearch.h"
#include "view/transactiontext.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

namespace {
TransactionSegment seg(uint8_t address, bool read, std::vector<uint8_t> bytes, int nacked = -1)
{
    return {address, read, false, std::move(bytes), nacked};
}

// Every cell as "text/colour", a "+" after a cut one (whole in its tooltip).
std::string cells(const Transaction &t, int from = 0, int to = TransactionColumn::Decoded)
{
    const TransactionText::Cells c = TransactionText::cells(t);
    std::string s;
    for (int k = from; k < to; ++k)
        s += c[size_t(k)].text.toStdString() + "/" + std::to_string(c[size_t(k)].colour) +
             (c[size_t(k)].toolTip.isEmpty() ? "|" : "+|");
    return s;
}
} // namespace

TEST(TransactionText, CellsColoursAndCuts)
{
    Transaction t{4, 17, 6, 1002003, 2500, {}, {"[EEPROM]", "[读]"}};
    t.segments = {seg(0x50, false, {0x0E}), seg(0x50, true, {0x41, 0x42}, 1)};
    // Colours: 0 white, 1 green, 2 orange, 3 teal, 4 red, 5 pink, 7 olive, 8 light green.
    EXPECT_EQ(cells(t), "5/0|17/0|00.00.00.001.002.003/0|2.500 us/0|50 写 → 50 读/2|0E/1|41 42/1|"
                        "第 2 字节 NACK（50 读）/7|[EEPROM] [读]/0|--/0|");
    t.segments = {seg(0x68, false, {}), seg(0x68, true, {})};
    t.segments[0].addressNacked = true;
    t.labels.clear();
    t.status = Transaction::Open | Transaction::NoStart;
    EXPECT_EQ(cells(t, 5), "--/0|--/0|地址 NACK（68 写）/5|--/0|未结束，无 START/4|");
    t.segments.clear();
    t.status = Transaction::Open;
    EXPECT_EQ(cells(t, 4), "--/0|--/0|--/0|--/0|--/0|未结束/3|");
    t.segments = {seg(0x3C, true, {1})};
    t.status = Transaction::NoStop;
    EXPECT_EQ(cells(t, 6), "01/1|ACK/8|--/0|无 STOP/4|");
    // Bus-health kinds its lines hold follow the status: an error red, a warning orange.
    const auto status = [&t](uint32_t kinds, uint8_t severities) {
        const TransactionText::Cell c =
            TransactionText::cells(t, {-1, kinds, severities})[TransactionColumn::Status];
        return c.text.toStdString() + "/" + std::to_string(c.colour);
    };
    using K = HealthFinding::Kind;
    using S = HealthFinding::Severity;
    t.status = Transaction::Closed;
    EXPECT_EQ(status(HealthFinding::kindBit(K::TLow) | HealthFinding::kindBit(K::Stretch),
                     HealthFinding::severityBit(S::Warning) | HealthFinding::severityBit(S::Info)),
              "t-low，stretch/2");
    EXPECT_EQ(status(HealthFinding::kindBit(K::StartInByte),
                     HealthFinding::severityBit(S::Error) | HealthFinding::severityBit(S::Warning)),
              "start-in-byte/4");
    EXPECT_EQ(status(HealthFinding::kindBit(K::Stretch), HealthFinding::severityBit(S::Info)),
              "stretch/0");

    // Decoded text: whole up to its limit, then cut, whole in the tooltip before the
    // details; a value shown raw orange.
    TransactionDecoration::Output out{
        std::string(TransactionText::kMaxDecodedChars, 'x'), false, {}, {}};
    const auto decodedCell = [&t, &out] {
        const TransactionText::Cell c =
            TransactionText::cells(t, {}, &out)[TransactionColumn::Decoded];
        return c.text.toStdString() + "/" + std::to_string(c.colour) + "/" +
               c.toolTip.toStdString();
    };
    EXPECT_EQ(decodedCell(), out.text + "/0/");
    out = {out.text + "y", true, "Seconds = 45 [0x45]\n", {}};
    EXPECT_EQ(decodedCell(), out.text.substr(0, out.text.size() - 1) + "…/2/" + out.text +
                                 "\n\nSeconds = 45 [0x45]");

    // As many bytes as a cell lists: whole. One more, in a second write: cut, " | " between.
    std::vector<uint8_t> bytes(TransactionText::kMaxCellBytes, 0x11);
    bytes.back() = 0x17;
    t.segments = {seg(0x50, false, bytes)};
    std::string whole;
    for (size_t i = 1; i < bytes.size(); ++i)
        whole += "11 ";
    EXPECT_EQ(cells(t, 5, 6), whole + "17/1|");
    t.segments.push_back(seg(0x50, false, {0xAB}));
    for (int i = 0; i < TransactionText::kMaxCellSegments; ++i)
        t.segments.push_back(seg(0x51, true, {}));
    TransactionText::Cells c = TransactionText::cells(t);
    EXPECT_TRUE(c[5].text.endsWith(" 17 …") && c[5].toolTip.endsWith(" 17 | AB"));
    EXPECT_EQ(c[4].text, QStringLiteral("50 写 → 50 写 → 51 读 → 51 读 → …"));
    EXPECT_EQ(c[4].toolTip.count(QStringLiteral("51 读")), 4);
    // Rows left unread: "…" after what was read; the tooltip stops at its limit.
    t.cut = true;
    t.segments = {seg(0x50, true, std::vector<uint8_t>(TransactionText::kMaxTipBytes + 5, 0xEE))};
    c = TransactionText::cells(t);
    EXPECT_EQ(c[6].toolTip.count(QStringLiteral("EE")), TransactionText::kMaxTipBytes);
    EXPECT_TRUE(c[6].toolTip.endsWith("EE …") && c[4].text.endsWith("50 读 → …"));
    t.segments = {seg(0x50, true, {7})};
    EXPECT_EQ(TransactionText::cells(t)[6].toolTip, QStringLiteral("07 …"));

    QString d;
    for (const int64_t ns : {0LL, 999LL, 1000LL, 999999LL, 1000000LL, 25LL << 31, -999LL, -1000LL})
        d += TransactionText::durationText(ns) + ",";
    EXPECT_EQ(d, "0 ns,999 ns,1.000 us,999.999 us,1.000 ms,53.687 s,-999 ns,-1.000 us,");
}

// The rows a filter holds: the given first lines.
struct Lines : VisibleRows
{
    std::vector<qint64> lines;
    qint64 count() const override { return qint64(lines.size()); }
    qint64 storedLine(qint64 row) const override { return lines[size_t(row)]; }
    qint64 rowAtOrAfter(qint64) const override { return 0; }
};

TEST(TransactionPage, FillRowsAndExport)
{
    QTemporaryDir dir;
    CapturePipeline p;
    TransactionIndex index(p.store());
    ASSERT_TRUE(p.leaseStore()->open(dir.filePath("I2CDataTemp.dat")));
    p.leaseStore()->addObserver(&index);
    // Lines 0-1: begun mid-transfer; then transactions of four lines, the last open.
    std::vector<CaptureRow> rows = {dataRow(0x50, false, "0A", true, 1), CaptureRow::stop(2)};
    for (int i = 0; i < 5; ++i) {
        rows.insert(rows.end(),
                    {CaptureRow::start(100 * i), addrRow(0x50 + i, i % 2, true, 100 * i),
                     dataRow(0x50 + i, i % 2, "4" + std::to_string(i), i % 2 == 0, 100 * i),
                     CaptureRow::stop(100 * i + 13)});
    }
    rows.pop_back();
    p.leaseStore()->appendRows(rows, p.mergeEnabled, p.decodeEnabled, nullptr);
    QStandardItemModel model(0, TransactionColumn::Count);
    TransactionPageFiller filler;
    const TransactionRows all(index);
    const auto fill = [&](const VisibleRows &r, qint64 first, int count) {
        filler.fillRows(model, p.leaseStore(), index, r, first, count);
        QStringList t;
        for (int row = 0; row < model.rowCount(); ++row)
            t << model.item(row, 0)->text() + ":" + model.item(row, 7)->text() + ":" +
                     model.item(row, 9)->text();
        return t.join(',');
    };
    {
        const StoreLease held = p.leaseStore();
        EXPECT_EQ(all.count(), 6);
        QStringList found; // a visible row is a transaction known by its first line
        for (const qint64 line : {-4, 0, 2, 3, 18, 19})
            found << QString::number(all.rowAtOrAfter(line));
        EXPECT_EQ(found.join(','), "0,0,1,2,5,6");
        EXPECT_EQ(all.storedLine(2), 6);
    }
    EXPECT_EQ(fill(all, 1, 4),
              "2:ACK:--,3:第 1 字节 NACK（51 读）:--,4:ACK:--,5:第 1 字节 NACK（53 读）:--");
    EXPECT_EQ(model.item(0, 4)->foreground().color(), RowStyle::color(RowStyle::Orange));
    EXPECT_EQ(model.item(0, 0)->background().color(), QColor(Qt::black));
    // An unchanged page is not written again; another one, or the open one growing, is.
    model.item(0, 8)->setText("kept");
    fill(all, 1, 4);
    EXPECT_EQ(model.item(0, 8)->text(), "kept");
    EXPECT_EQ(fill(all, 3, 10), "4:ACK:--,5:第 1 字节 NACK（53 读）:--,6:ACK:未结束");
    std::vector<CaptureRow> more = {dataRow(0x54, false, "99", true, 500), CaptureRow::stop(501)};
    p.leaseStore()->appendRows(more, p.mergeEnabled, p.decodeEnabled, nullptr);
    EXPECT_EQ(fill(all, 5, 1), "6:ACK:--");
    EXPECT_EQ(model.item(0, 5)->text(), "44 99");
    EXPECT_EQ(fill(all, 1, 1), "2:ACK:--");
    EXPECT_EQ(model.item(0, 8)->text(), "--");
    // A filter ahead of an emptied store: the rows up to the first line not stored.
    Lines ahead;
    ahead.lines = {6, p.store().lineCount(), 2};
    EXPECT_EQ(fill(ahead, 0, 3), "3:第 1 字节 NACK（51 读）:--");
    EXPECT_EQ(fill(all, 7, 4), "");

    // The export: a filter's transactions, all of them, a refusing device, Cancel.
    Lines some;
    some.lines = {2, 10};
    QBuffer out, closed, part;
    out.open(QIODevice::WriteOnly);
    part.open(QIODevice::WriteOnly);
    StoreLease held = p.leaseStore();
    EXPECT_EQ(TransactionWriter::write(held.store(), index, &some, out).rowsWritten, 2);
    EXPECT_TRUE(out.data().contains("\r\n4,10,4,")) << out.data().data();
    EXPECT_EQ(
        TransactionWriter::rowCount(index, &some) + TransactionWriter::rowCount(index, nullptr), 8);
    EXPECT_FALSE(TransactionWriter::write(held.store(), index, nullptr, closed).ok());
    const TransferResult cancelled = TransactionWriter::write(held.store(), index, nullptr, part,
                                                              [](qint64 done) { return done < 3; });
    EXPECT_TRUE(cancelled.cancelled && cancelled.ok() && cancelled.rowsWritten == 3);
    held.release();
    p.leaseStore()->removeObserver(&index);
}

TEST(TransactionSearch, FilterHoldsTheOpenTransactionApartUntilItCloses)
{
    QTemporaryDir dir;
    CapturePipeline p;
    TransactionIndex index(p.store());
    BlockIndex blocks(p.store());
    ASSERT_TRUE(p.leaseStore()->open(dir.filePath("I2CDataTemp.dat")));
    p.leaseStore()->addObserver(&index);
    p.leaseStore()->addObserver(&blocks);
    std::vector<CaptureRow> rows;
    for (int i = 0; i < 3; ++i)
        rows.insert(rows.end(), {CaptureRow::start(10 * i), addrRow(0x50 + i, false, true, 10 * i),
                                 CaptureRow::stop(10 * i + 5)});
    rows.pop_back(); // 0x52's transaction stays open
    p.leaseStore()->appendRows(rows, p.mergeEnabled, p.decodeEnabled, nullptr);
    TransactionSearch search(p, index, blocks);
    const auto filtered = [&](const char *text, qint64 want) {
        TransactionQuery q;
        QString error;
        EXPECT_TRUE(q.parse(QString::fromUtf8(text), &error));
        search.startFilter(q);
        for (int i = 0; i < 500 && search.filterTally().matches != want; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const FilterRows::Tally t = search.filterTally();
        return std::to_string(t.matches) + "/" + std::to_string(t.outOf);
    };
    EXPECT_EQ(filtered("addr=51", 1), "1/8");
    EXPECT_EQ(filtered("addr=52", 1), "1/8"); // shown while it grows
    for (int i = 0; i < 500 && search.filterProgress() < 100; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(search.filterProgress(), 100); // the open one was looked at too
    std::vector<CaptureRow> more = {CaptureRow::stop(40), CaptureRow::start(50),
                                    addrRow(0x52, false, true, 50), CaptureRow::stop(55)};
    p.leaseStore()->appendRows(more, p.mergeEnabled, p.decodeEnabled, nullptr);
    EXPECT_EQ(filtered("addr=52", 2), "2/12");
    search.stopFilter();
    p.leaseStore()->removeObserver(&blocks);
    p.leaseStore()->removeObserver(&index);
}
