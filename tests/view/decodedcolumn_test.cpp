// The 解码 column and the decoded queries over a store of RTC and sensor transfers: pages
// deep in the capture decoded from checkpoints as from the start, honest text before the
// checkpoints come, other profile choices, Clear; reg= and label= in scan and find.
#include "capture/capturepipeline.h"
#include "device/decodecheckpoints.h"
#include "device/profiledecoration.h"
#include "device/profilelibrary.h"
#include "export/transactionwriter.h"
#include "rowtestutil.h"
#include "search/blockindex.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionreader.h"
#include "transaction/transactionscan.h"
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
constexpr int kTransactions = 350; // 7 kinds, so checkpoints (every 32) fall on each

// Transaction i: the RTC's pointer set alone, then read on in two reads (the first's
// seconds not BCD once); the sensor's command written, then its response read alone;
// the RTC's control written, moving its pointer into RAM, then a RAM byte read.
std::vector<CaptureRow> rowsOf(int i)
{
    const int64_t t = 1000 * i;
    std::vector<CaptureRow> r = {CaptureRow::start(t)};
    const auto add = [&](int address, bool read, std::vector<std::string> bytes) {
        r.push_back(addrRow(address, read, true, t));
        for (const std::string &b : bytes)
            r.push_back(dataRow(address, read, b, true, t));
    };
    switch (i % 7) {
    case 0:
        add(0x68, false, {"00"});
        break;
    case 1:
        add(0x68, true, {i == 8 ? "7A" : "30", "35"});
        break;
    case 2:
        add(0x68, true, {"23"});
        break;
    case 3:
        add(0x40, false, {"F3"});
        break;
    case 4:
        add(0x40, true, {"63", "52", "64"});
        break;
    case 5:
        add(0x68, false, {"07", "10"});
        break;
    default:
        add(0x68, true, {"01"});
    }
    r.push_back(CaptureRow::stop(t + 500));
    return r;
}

struct Capture
{
    QTemporaryDir dir;
    CapturePipeline p;
    TransactionIndex index{p.store()};
    BlockIndex blocks{p.store()};
    ProfileLibrary library;
    ProfileAssignment choices{&library};
    std::vector<TransactionDecoration::Output> expected; // decoded from the start

    Capture()
    {
        library.addDirectory(QStringLiteral(KORVEX_PROFILE_DIR));
        choices.choose(0x68, "ds1307");
        choices.choose(0x40, "sht2x");
        p.leaseStore()->addObserver(&index);
        p.leaseStore()->addObserver(&blocks);
        EXPECT_TRUE(p.leaseStore()->open(dir.filePath("I2CDataTemp.dat")));
        fill();
    }
    ~Capture()
    {
        p.leaseStore()->removeObserver(&index);
        p.leaseStore()->removeObserver(&blocks);
    }
    void fill()
    {
        for (int i = 0; i < kTransactions; ++i) {
            std::vector<CaptureRow> rows = rowsOf(i);
            p.leaseStore()->appendRows(rows, p.mergeEnabled, p.decodeEnabled, nullptr);
        }
        const StoreLease held = p.leaseStore();
        ProfileDecoration fromStart(choices);
        fromStart.rewind(0);
        expected.resize(kTransactions);
        Transaction t;
        for (int k = 0; k < kTransactions; ++k) {
            EXPECT_TRUE(TransactionReader::read(held.store(), index, k, &t));
            fromStart.decode(t, &expected[size_t(k)], true);
        }
    }
    static void waitFor(const DecodeCheckpoints &c, qint64 reached)
    {
        for (int i = 0; i < 500 && c.reached() < reached; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(c.reached(), reached);
    }
};

// Every third transaction, as a filter shows them.
struct EveryThird : VisibleRows
{
    const TransactionIndex &index;
    explicit EveryThird(const TransactionIndex &i) : index(i) {}
    qint64 count() const override { return (index.count() + 2) / 3; }
    qint64 storedLine(qint64 row) const override { return index.firstLine(3 * row); }
    qint64 rowAtOrAfter(qint64) const override { return 0; }
};
} // namespace

TEST(DecodedColumn, PagesDecodeFromCheckpointsAsFromTheStart)
{
    Capture c;
    EXPECT_EQ(c.expected[1].text, "DS1307 读 Seconds=30 Minutes=35");
    EXPECT_EQ(c.expected[4].text, "SHT2x 读 Temperature=21.32 °C");
    EXPECT_TRUE(c.expected[8].marked && !c.expected[1].marked);
    DecodeCheckpoints checkpoints(c.p, c.index);
    std::unique_ptr<TransactionDecoration> decoration = checkpoints.decoration();
    QStandardItemModel model(0, TransactionColumn::Count);
    TransactionPageFiller filler;
    const TransactionRows all(c.index);
    const EveryThird third(c.index);
    // Each row's decoded cell against the decoding from the start ("=" where equal).
    const auto page = [&](const VisibleRows &rows, qint64 first, int count, int step = 1) {
        filler.fillRows(model, c.p.leaseStore(), c.index, rows, first, count, nullptr,
                        decoration.get());
        std::string s;
        for (int r = 0; r < model.rowCount(); ++r) {
            const QString text = model.item(r, TransactionColumn::Decoded)->text();
            s += text == QString::fromStdString(c.expected[size_t(step * (first + r))].text)
                     ? "="
                     : text.toStdString();
            s += '|';
        }
        return s;
    };
    {
        // Checkpoints held back: the page says what it can without the pointers, and is
        // written again once they come.
        StoreLease held = c.p.leaseStore();
        checkpoints.start(c.choices);
        filler.fillRows(model, held, c.index, all, 302, 5, nullptr, decoration.get());
        std::string s;
        for (int r = 0; r < model.rowCount(); ++r)
            s += model.item(r, TransactionColumn::Decoded)->text().toStdString() + "|";
        EXPECT_EQ(s, "DS1307 读 指针未知: 30 35|DS1307 读 指针未知: 23|SHT2x 写 测温|"
                     "SHT2x 读 Temperature=21.32 °C|DS1307 写 Control=0x10|");
    }
    Capture::waitFor(checkpoints, 320);
    EXPECT_EQ(page(all, 302, 5), "=|=|=|=|=|");
    // Deep pages at every place between checkpoints, a filter's rows, the whole text
    // and the fields in the tooltip, a raw value in the warning colour.
    for (const qint64 first : {0, 31, 33, 64, 95, 200, 329, 345})
        EXPECT_EQ(page(all, first, 5), "=|=|=|=|=|") << first;
    EXPECT_EQ(page(third, 20, 4, 3), "=|=|=|=|");
    page(all, 7, 2);
    EXPECT_EQ(model.item(1, TransactionColumn::Decoded)->foreground().color(),
              RowStyle::color(RowStyle::Orange));
    EXPECT_EQ(model.item(0, TransactionColumn::Decoded)->foreground().color(),
              RowStyle::color(RowStyle::White));
    const QString tip = model.item(1, TransactionColumn::Decoded)->toolTip();
    EXPECT_TRUE(tip.startsWith(QString::fromStdString(c.expected[8].text)) &&
                tip.contains(QStringLiteral("Minutes = 35 [0x35]")))
        << tip.toStdString();
    EXPECT_LT(checkpoints.memoryBytes(), 512u); // a few bytes for each of the 11 checkpoints

    // Other choices start again: the RTC no longer decodes, the page is written anew.
    ProfileAssignment sensorOnly = c.choices;
    sensorOnly.choose(0x68, "");
    checkpoints.start(sensorOnly);
    Capture::waitFor(checkpoints, 320);
    EXPECT_EQ(page(all, 199, 4), "=|=|||");
    // Clear: nothing known until the new lines are gone through.
    checkpoints.start(c.choices);
    Capture::waitFor(checkpoints, 320);
    c.p.leaseStore()->resetStore();
    EXPECT_TRUE(checkpoints.reached() == 0 && checkpoints.checkpoint(300) == 0);
    c.fill();
    Capture::waitFor(checkpoints, 320);
    EXPECT_EQ(page(all, 131, 5), "=|=|=|=|=|");
    // The export of a filter's rows decodes through the rows it hides.
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    EXPECT_TRUE(
        TransactionWriter::write(c.p.leaseStore().store(), c.index, &third, out, {}, &c.choices)
            .ok());
    const QList<QByteArray> lines = out.data().split('\n');
    ASSERT_EQ(lines.size(), 2 + third.count());
    for (int r = 1; r <= third.count(); ++r)
        EXPECT_EQ(lines[r].mid(lines[r].lastIndexOf(',') + 1).chopped(1).toStdString(),
                  c.expected[size_t(3 * (r - 1))].text);
}

TEST(DecodedColumn, RegAndLabelFindAndFilterOnDecodedText)
{
    Capture c;
    DecodeCheckpoints checkpoints(c.p, c.index);
    checkpoints.start(c.choices);
    Capture::waitFor(checkpoints, 320);
    std::unique_ptr<TransactionDecoration> decoration = checkpoints.decoration();
    const auto expected = [&](qint64 from, const std::function<bool(int)> &wanted) {
        std::vector<qint64> lines;
        const StoreLease held = c.p.leaseStore();
        for (int k = 0; k < kTransactions; ++k)
            if (c.index.firstLine(k) >= from && wanted(k))
                lines.push_back(c.index.firstLine(k));
        return lines;
    };
    const auto scan = [&](const QString &text, qint64 from) {
        TransactionQuery query;
        QString error;
        EXPECT_TRUE(query.parse(text, &error)) << error.toStdString();
        TransactionScan s(c.p, c.index, query, &c.blocks, decoration.get());
        std::vector<qint64> lines;
        s.scan(from, c.p.storedLineCount(), nullptr, [&](qint64 line) {
            lines.push_back(line);
            return true;
        });
        return lines;
    };
    // Seconds: the first read after the pointer write, never the write itself.
    const qint64 deep = [&] {
        const StoreLease held = c.p.leaseStore();
        return c.index.firstLine(201);
    }();
    EXPECT_EQ(scan("reg=seconds", deep), expected(deep, [](int k) { return k % 7 == 1; }));
    EXPECT_EQ(scan("REG=Hours reg=Control", 0),
              expected(0, [](int k) { return k % 7 == 2 || k % 7 == 5; }));
    // label= holds the decoded text too (a command remembered from the transfer before).
    EXPECT_EQ(scan("label=Temperature", deep), expected(deep, [](int k) { return k % 7 == 4; }));
    EXPECT_EQ(scan("label=0x08=01 addr=68", 0), expected(0, [](int k) { return k % 7 == 6; }));
    // Without a decoration, reg= matches nothing and label= only labels.
    TransactionQuery query;
    QString error;
    ASSERT_TRUE(query.parse(QStringLiteral("reg=Seconds"), &error));
    EXPECT_EQ(TransactionScan(c.p, c.index, query, &c.blocks)
                  .scan(0, 10000, nullptr, [](qint64) { return false; }),
              TransactionScan::Outcome::Done);
    EXPECT_FALSE(query.parse(QStringLiteral("reg="), &error));
    SearchQuery rows;
    EXPECT_FALSE(rows.parse(QStringLiteral("reg=Seconds"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("事务视图")));

    // Find, both ways, from a deep transaction.
    TransactionSearch search(c.p, c.index, c.blocks, nullptr, decoration.get());
    std::atomic<qint64> found{-2};
    QObject::connect(&search, &TransactionSearch::findFinished,
                     [&found](qint64 line, CaptureSearch::FindStatus, int) { found = line; });
    const auto find = [&](qint64 k, bool forward) {
        qint64 from = 0;
        {
            const StoreLease held = c.p.leaseStore();
            from = c.index.firstLine(k);
        }
        search.find(query, from, forward);
        while (search.findRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const StoreLease held = c.p.leaseStore();
        return c.index.transactionAt(found.load());
    };
    ASSERT_TRUE(query.parse(QStringLiteral("label=Temperature"), &error));
    EXPECT_EQ(find(100, true), 102);
    EXPECT_EQ(find(100, false), 95);
}
