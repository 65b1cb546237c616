// The transaction view without widgets: cell texts and colours, the page fill
// over a store and its transaction index, and the CSV export of what is shown.
#include "capture/capturepipeline.h"
#include "export/transactionwriter.h"
#include "rowtestutil.h"
#include "transaction/transaction.h"
#include "transaction/transactionindex.h"
#include "view/transactionpagefiller.h"
#include "view/transactionrows.h"
#include "view/transactiontext.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QStandardItemModel>
#include <QTemporaryDir>

namespace {
using C = TransactionColumn::Column;

TransactionSegment segment(uint8_t address, bool read, std::vector<uint8_t> bytes, int nacked = -1)
{
    TransactionSegment s;
    s.address = address;
    s.read = read;
    s.bytes = std::move(bytes);
    s.nackedByte = nacked;
    return s;
}

QString texts(const TransactionText::Cells &cells, std::initializer_list<C> columns)
{
    QStringList t;
    for (const C c : columns)
        t << cells[size_t(c)].text;
    return t.join(QLatin1Char('|'));
}
} // namespace

TEST(TransactionText, CellsOfAWriteThenARead)
{
    Transaction t;
    t.number = 4;
    t.firstLine = 17;
    t.startNs = 1002003;
    t.durationNs = 2500;
    t.segments = {segment(0x50, false, {0x0E}), segment(0x50, true, {0x41, 0x42}, 1)};
    t.labels = {"[EEPROM]", "[读]"};
    TransactionText::Cells c = TransactionText::cells(t);
    EXPECT_EQ(texts(c, {C::Number, C::FirstRow, C::Start, C::Duration, C::Segments, C::Written,
                        C::Read, C::Ack, C::Labels, C::Status}),
              "5|17|00.00.00.001.002.003|2.500 us|50 写 → 50 读|0E|41 42|第 2 字节 NACK（50 读）|"
              "[EEPROM] [读]|--");
    EXPECT_EQ(c[C::Segments].colour, RowStyle::Orange);
    EXPECT_EQ(c[C::Written].colour, RowStyle::Green);
    EXPECT_EQ(c[C::Ack].colour, RowStyle::OliveGreen);
    EXPECT_EQ(c[C::Status].colour, RowStyle::White);
    for (const auto &cell : c)
        EXPECT_TRUE(cell.toolTip.isEmpty()) << cell.text.toStdString();

    // The address NACKed, open, begun without a START: said and coloured so.
    t.segments = {segment(0x68, false, {}), segment(0x68, true, {})};
    t.segments[0].addressNacked = true;
    t.labels.clear();
    t.status = Transaction::Open | Transaction::NoStart;
    c = TransactionText::cells(t);
    EXPECT_EQ(texts(c, {C::Written, C::Read, C::Ack, C::Labels, C::Status}),
              "--|--|地址 NACK（68 写）|--|未结束，无 START");
    EXPECT_EQ(c[C::Ack].colour, RowStyle::Pink);
    EXPECT_EQ(c[C::Status].colour, RowStyle::Red);
    EXPECT_EQ(c[C::Written].colour, RowStyle::White);
    t.status = Transaction::Open;
    t.segments.clear();
    c = TransactionText::cells(t);
    EXPECT_EQ(texts(c, {C::Segments, C::Ack, C::Status}), "--|--|未结束");
    EXPECT_EQ(c[C::Status].colour, RowStyle::Teal);
    EXPECT_EQ(c[C::Ack].colour, RowStyle::White);
    t.status = Transaction::NoStop;
    t.segments = {segment(0x3C, true, {1})};
    c = TransactionText::cells(t);
    EXPECT_EQ(texts(c, {C::Ack, C::Status}), "ACK|无 STOP");
    EXPECT_EQ(c[C::Ack].colour, RowStyle::LightGreen);
}

TEST(TransactionText, LongListsAreCutAndWholeInTheTooltip)
{
    Transaction t;
    std::vector<uint8_t> bytes(TransactionText::kMaxCellBytes);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i);
    t.segments = {segment(0x50, false, bytes)};
    // Exactly as many bytes as a cell lists: whole, no tooltip.
    TransactionText::Cells c = TransactionText::cells(t);
    EXPECT_FALSE(c[C::Written].text.contains(QStringLiteral("…")));
    EXPECT_TRUE(c[C::Written].toolTip.isEmpty());
    EXPECT_TRUE(c[C::Written].text.endsWith(QStringLiteral(" 17")));
    // One more in a second write: cut, the tooltip holds both, " |" between them.
    t.segments.push_back(segment(0x50, false, {0xAB}));
    for (int i = 0; i < TransactionText::kMaxCellSegments; ++i)
        t.segments.push_back(segment(0x51, true, {}));
    c = TransactionText::cells(t);
    EXPECT_TRUE(c[C::Written].text.endsWith(QStringLiteral(" 17 …")));
    EXPECT_TRUE(c[C::Written].toolTip.endsWith(QStringLiteral(" 17 | AB")));
    EXPECT_TRUE(c[C::Written].toolTip.startsWith(QStringLiteral("00 01 ")));
    EXPECT_EQ(c[C::Segments].text, QStringLiteral("50 写 → 50 写 → 51 读 → 51 读 → …"));
    EXPECT_EQ(c[C::Segments].toolTip.count(QStringLiteral("51 读")), 4);
    // Cut rows: "…" at the end of what was read; the tooltip stops at its limit.
    t.cut = true;
    t.segments = {
        segment(0x50, true, std::vector<uint8_t>(TransactionText::kMaxTipBytes + 5, 0xEE))};
    c = TransactionText::cells(t);
    EXPECT_EQ(c[C::Read].toolTip.count(QStringLiteral("EE")), TransactionText::kMaxTipBytes);
    EXPECT_TRUE(c[C::Read].toolTip.endsWith(QStringLiteral("EE …")));
    EXPECT_TRUE(c[C::Segments].text.endsWith(QStringLiteral("50 读 → …")));
    t.segments = {segment(0x50, true, {7})};
    EXPECT_EQ(TransactionText::cells(t)[C::Read].toolTip, QStringLiteral("07 …"));
}

TEST(TransactionText, Durations)
{
    EXPECT_EQ(TransactionText::durationText(0), "0 ns");
    EXPECT_EQ(TransactionText::durationText(999), "999 ns");
    EXPECT_EQ(TransactionText::durationText(1000), "1.000 us");
    EXPECT_EQ(TransactionText::durationText(999999), "999.999 us");
    EXPECT_EQ(TransactionText::durationText(1000000), "1.000 ms");
    EXPECT_EQ(TransactionText::durationText(2500000000), "2.500 s");
    EXPECT_EQ(TransactionText::durationText(7200000000000), "7200.000 s");
    EXPECT_EQ(TransactionText::durationText(-999), "-999 ns"); // a clock that went back
    EXPECT_EQ(TransactionText::durationText(-1000), "-1.000 us");
}

namespace {
class TransactionPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(p.leaseStore()->open(dir.filePath("I2CDataTemp.dat")));
        p.leaseStore()->addObserver(&index);
        model.setColumnCount(TransactionColumn::Count);
        // Lines 0-1: begun mid-transfer; then transactions of four lines, the last open.
        std::vector<CaptureRow> rows = {dataRow(0x50, false, "0A", true, 1), CaptureRow::stop(2)};
        for (int i = 0; i < 5; ++i) {
            rows.push_back(CaptureRow::start(100 * i + 10));
            rows.push_back(addrRow(0x50 + i, i % 2, true, 100 * i + 11));
            rows.push_back(
                dataRow(0x50 + i, i % 2, "4" + std::to_string(i), i % 2 == 0, 100 * i + 12));
            if (i < 4)
                rows.push_back(CaptureRow::stop(100 * i + 13));
        }
        p.leaseStore()->appendRows(rows, p.mergeEnabled, p.decodeEnabled, nullptr);
    }
    void TearDown() override { p.leaseStore()->removeObserver(&index); }
    QString column(int c) const
    {
        QStringList t;
        for (int r = 0; r < model.rowCount(); ++r)
            t << model.item(r, c)->text();
        return t.join(QLatin1Char(','));
    }

    QTemporaryDir dir;
    CapturePipeline p;
    TransactionIndex index{p.store()};
    QStandardItemModel model;
    TransactionPageFiller filler;
};
} // namespace

TEST_F(TransactionPageTest, PagesOfTransactionsAndTheirRows)
{
    const TransactionRows all(index);
    {
        const StoreLease held = p.leaseStore();
        ASSERT_EQ(all.count(), 6);
        // A visible row is a transaction known by its first line.
        EXPECT_EQ(all.storedLine(2), 6);
        EXPECT_EQ(all.rowAtOrAfter(-4) + all.rowAtOrAfter(0), 0);
        EXPECT_EQ(all.rowAtOrAfter(2), 1);
        EXPECT_EQ(all.rowAtOrAfter(3), 2);
        EXPECT_EQ(all.rowAtOrAfter(18), 5);
        EXPECT_EQ(all.rowAtOrAfter(19), 6);
        filler.fillRows(model, held, index, all, 1, 4);
    }
    EXPECT_EQ(column(C::Number), "2,3,4,5");
    EXPECT_EQ(column(C::FirstRow), "2,6,10,14");
    EXPECT_EQ(column(C::Segments), "50 写,51 读,52 写,53 读");
    EXPECT_EQ(column(C::Ack), "ACK,第 1 字节 NACK（51 读）,ACK,第 1 字节 NACK（53 读）");
    EXPECT_EQ(model.item(0, C::Segments)->foreground().color(), RowStyle::color(RowStyle::Orange));
    EXPECT_EQ(model.item(0, C::Number)->background().color(), QColor(Qt::black));
    // An unchanged page is not written again; the open one growing is.
    model.item(0, C::Labels)->setText("kept");
    {
        const StoreLease held = p.leaseStore();
        filler.fillRows(model, held, index, all, 1, 4);
        filler.fillRows(model, held, index, all, 3, 10); // clamped: the last three
    }
    EXPECT_EQ(column(C::Number), "4,5,6");
    EXPECT_EQ(column(C::Status), "--,--,未结束");
    std::vector<CaptureRow> more = {dataRow(0x54, false, "99", true, 500), CaptureRow::stop(501)};
    p.leaseStore()->appendRows(more, p.mergeEnabled, p.decodeEnabled, nullptr);
    {
        const StoreLease held = p.leaseStore();
        filler.fillRows(model, held, index, all, 3, 10);
    }
    EXPECT_EQ(column(C::Status), "--,--,--");
    EXPECT_EQ(column(C::Written), "42,--,44 99");
    {
        const StoreLease held = p.leaseStore();
        filler.fillRows(model, held, index, all, 1, 4);
    }
    EXPECT_EQ(model.item(0, C::Labels)->text(), "--"); // rewritten after another page
    // A filter ahead of an emptied store: the rows up to the first line not stored.
    struct Ahead : VisibleRows
    {
        qint64 stored = 0;
        qint64 count() const override { return 3; }
        qint64 storedLine(qint64 row) const override
        {
            return row == 0 ? 6 : row == 1 ? stored : 2;
        }
        qint64 rowAtOrAfter(qint64) const override { return 0; }
    } ahead;
    ahead.stored = p.store().lineCount();
    {
        const StoreLease held = p.leaseStore();
        filler.fillRows(model, held, index, ahead, 0, 3);
    }
    EXPECT_EQ(column(C::Number), "3");
    {
        const StoreLease held = p.leaseStore();
        filler.fillRows(model, held, index, all, 7, 4); // past the end: nothing
    }
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(TransactionPageTest, ExportWritesTheTransactionsShown)
{
    struct Some : VisibleRows // the 2nd and 4th transactions, as a filter holds them
    {
        qint64 count() const override { return 2; }
        qint64 storedLine(qint64 row) const override { return row == 0 ? 2 : 10; }
        qint64 rowAtOrAfter(qint64) const override { return 0; }
    } some;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TransferResult r;
    {
        const StoreLease held = p.leaseStore();
        r = TransactionWriter::write(held.store(), index, &some, out);
        EXPECT_EQ(TransactionWriter::rowCount(index, &some), 2);
        EXPECT_EQ(TransactionWriter::rowCount(index, nullptr), 6);
    }
    EXPECT_TRUE(r.ok() && !r.cancelled);
    EXPECT_EQ(r.rowsWritten, 2);
    const QList<QByteArray> lines = out.data().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "number,first_row,rows,start,duration_ns,segments,ack,status,labels\r");
    EXPECT_TRUE(lines[1].startsWith("2,2,4,") && lines[1].contains(",50W:40,")) << lines[1].data();
    EXPECT_TRUE(lines[2].startsWith("4,10,4,") && lines[2].contains(",52W:42,")) << lines[2].data();
    // All of them; a device that refuses the bytes is an error, never a success.
    QBuffer all;
    all.open(QIODevice::WriteOnly);
    QBuffer closed;
    {
        const StoreLease held = p.leaseStore();
        EXPECT_EQ(TransactionWriter::write(held.store(), index, nullptr, all).rowsWritten, 6);
        EXPECT_FALSE(TransactionWriter::write(held.store(), index, nullptr, closed).ok());
        // Cancel after the third: three written, and said so.
        QBuffer part;
        part.open(QIODevice::WriteOnly);
        const TransferResult cancelled = TransactionWriter::write(
            held.store(), index, nullptr, part, [](qint64 done) { return done < 3; });
        EXPECT_TRUE(cancelled.cancelled && cancelled.ok());
        EXPECT_EQ(cancelled.rowsWritten, 3);
    }
    EXPECT_EQ(all.data().count('\n'), 7);
    EXPECT_TRUE(all.data().contains(",open,")) << all.data().data();
}
