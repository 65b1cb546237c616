// The 解码 column and the decoded queries over a store of RTC and sensor transfers: pages
// deep in the capture decoded from checkpoints as from the start, honest text before the
// checkpoints come, other profile choices, Clear, the export; reg= and label= in scan and find.
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

#include <thread>

namespace {
constexpr int kTransactions = 350; // seven kinds: checkpoints (every 32) fall on each

// Transaction i: the RTC's pointer set alone (to 0 .. 3 in turn), then read on twice
// (not BCD once); the sensor's command (two in turn) written, its response read alone;
// the RTC's control written (its pointer moves into RAM), then a RAM byte read.
std::vector<CaptureRow> rowsOf(int i)
{
    const std::string kinds[] = {"68W0" + std::to_string(i / 7 % 4),
                                 i == 8 ? "68R7A35" : "68R3035",
                                 "68R23",
                                 i / 7 % 2 ? "40WF5" : "40WF3",
                                 "40R635264",
                                 "68W0710",
                                 "68R01"};
    const std::string &kind = kinds[i % 7];
    const int address = std::stoi(kind.substr(0, 2), nullptr, 16);
    const bool read = kind[2] == 'R';
    std::vector<CaptureRow> r = {CaptureRow::start(1000 * i), addrRow(address, read, true, 0)};
    for (size_t b = 3; b < kind.size(); b += 2)
        r.push_back(dataRow(address, read, kind.substr(b, 2), true, 1000 * i));
    r.push_back(CaptureRow::stop(1000 * i + 500));
    return r;
}

void waitFor(const DecodeCheckpoints &c, qint64 reached)
{
    for (int i = 0; i < 500 && c.reached() < reached; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(c.reached(), reached);
}

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

TEST(DecodedColumn, CheckpointsDecodePagesQueriesAndExportAsFromTheStart)
{
    QTemporaryDir dir;
    CapturePipeline p;
    TransactionIndex index(p.store());
    BlockIndex blocks(p.store());
    p.leaseStore()->addObserver(&index);
    p.leaseStore()->addObserver(&blocks);
    ASSERT_TRUE(p.leaseStore()->open(dir.filePath("I2CDataTemp.dat")));
    ProfileLibrary library;
    library.addDirectory(QStringLiteral(KORVEX_PROFILE_DIR));
    ProfileAssignment choices(&library);
    choices.choose(0x68, "ds1307");
    choices.choose(0x40, "sht2x");
    std::vector<TransactionDecoration::Output> expected(kTransactions); // from the start
    std::vector<qint64> firstLines(kTransactions);
    const auto fill = [&] {
        for (int i = 0; i < kTransactions; ++i) {
            std::vector<CaptureRow> rows = rowsOf(i);
            p.leaseStore()->appendRows(rows, p.mergeEnabled, p.decodeEnabled, nullptr);
        }
        const StoreLease lease = p.leaseStore();
        ProfileDecoration fromStart(choices);
        fromStart.rewind(0);
        Transaction t;
        for (int k = 0; k < kTransactions; ++k) {
            EXPECT_TRUE(TransactionReader::read(lease.store(), index, k, &t));
            fromStart.decode(t, &expected[size_t(k)], true);
            firstLines[size_t(k)] = t.firstLine;
        }
    };
    fill();
    EXPECT_EQ(expected[11].text, "SHT2x 读 Humidity=42.49 %RH");
    DecodeCheckpoints checkpoints(p, index);
    std::unique_ptr<TransactionDecoration> decoration = checkpoints.decoration();
    QStandardItemModel model(0, TransactionColumn::Count);
    TransactionPageFiller filler;
    const TransactionRows all(index);
    const EveryThird third(index);
    StoreLease held; // when held, the pages are filled under it
    // Each row's decoded cell, "=" where it equals the decoding from the start.
    const auto page = [&](const VisibleRows &rows, qint64 first, int count, int step = 1) {
        const StoreLease fresh = held ? StoreLease() : p.leaseStore();
        filler.fillRows(model, held ? held : fresh, index, rows, first, count, nullptr,
                        decoration.get());
        std::string s;
        for (int r = 0; r < model.rowCount(); ++r) {
            const std::string text =
                model.item(r, TransactionColumn::Decoded)->text().toStdString();
            s += (text == expected[size_t(step * (first + r))].text ? "=" : text) + "|";
        }
        return s;
    };
    // Checkpoints held back: what can be told without the pointers; once they come, a
    // page that follows on from one so told.
    held = p.leaseStore();
    checkpoints.start(choices);
    EXPECT_EQ(page(all, 302, 1), "DS1307 读 指针未知: 30 35|");
    held.release();
    waitFor(checkpoints, 320);
    EXPECT_EQ(page(all, 303, 1), "=|");
    EXPECT_EQ(page(all, 306, 1) + page(all, 303, 1), "=|=|");
    // Pages across checkpoints (a pointer or a command set before one), backwards and
    // forwards, a filter's rows; lookups past the last checkpoint.
    for (const qint64 first : {345, 200, 95, 64, 32, 31, 0, 150})
        EXPECT_EQ(page(all, first, 5), "=|=|=|=|=|") << first;
    EXPECT_EQ(page(third, 20, 4, 3), "=|=|=|=|");
    ProfileDecoder decoder;
    EXPECT_TRUE(
        checkpoints.checkpoint(100000) == 320 &&
        checkpoints.restore(100000, checkpoints.profiles(), &decoder) == 320 &&
        checkpoints.restore(100, std::make_shared<DecodeCheckpoints::Profiles>(), &decoder) == 0);
    EXPECT_LT(checkpoints.memoryBytes(), 512u); // a few bytes for each of 11 checkpoints
    // A raw value orange, the fields in the tooltip.
    page(all, 8, 1);
    const QStandardItem *cell = model.item(0, TransactionColumn::Decoded);
    EXPECT_TRUE(cell->foreground().color() == RowStyle::color(RowStyle::Orange) &&
                cell->toolTip().contains("Hours = "));

    // reg= and label= on decoded text, from a deep transaction on or from the start.
    const auto scan = [&](const char *text, int from, const std::function<bool(int)> &wanted) {
        TransactionQuery query;
        QString error;
        EXPECT_TRUE(query.parse(QString::fromUtf8(text), &error)) << error.toStdString();
        std::unique_ptr<TransactionDecoration> own = decoration->clone();
        TransactionScan s(p, index, query, &blocks, own.get());
        std::vector<qint64> found, want;
        s.scan(firstLines[size_t(from)], p.storedLineCount(), nullptr, [&](qint64 line) {
            found.push_back(line);
            return true;
        });
        for (int k = from; k < kTransactions; ++k)
            if (wanted(k))
                want.push_back(firstLines[size_t(k)]);
        return found == want && !found.empty();
    };
    const auto pointer = [](int k) { return k / 7 % 4; };
    EXPECT_TRUE(scan("reg=seconds", 201, [&](int k) { return k % 7 == 1 && pointer(k) == 0; }));
    EXPECT_TRUE(scan("REG=CONTROL reg=Nothing", 0, [](int k) { return k % 7 == 5; }));
    EXPECT_TRUE(scan("label=Humidity", 190, [](int k) { return k % 7 == 4 && k / 7 % 2; }));
    TransactionQuery query;
    SearchQuery rows;
    QString error;
    EXPECT_TRUE(!query.parse(QStringLiteral("reg="), &error) &&
                !rows.parse(QStringLiteral("reg=Seconds"), &error) && error.contains("事务视图"));
    // Find, both ways: the sensor's temperature, told by its command a transfer before.
    TransactionSearch search(p, index, blocks, nullptr, decoration.get());
    std::atomic<qint64> found{-1};
    QObject::connect(&search, &TransactionSearch::findFinished,
                     [&found](qint64 line, CaptureSearch::FindStatus, int) { found = line; });
    for (const bool forward : {true, false}) {
        // From a match: the next one, the one before (a register the response holds).
        ASSERT_TRUE(query.parse(forward ? QStringLiteral("label=Temperature")
                                        : QStringLiteral("reg=temperature"),
                                &error));
        // The worker says it has ended before it tells the result: wait for that.
        found = -2;
        search.find(query, firstLines[102], forward);
        for (int i = 0; i < 5000 && found.load() == -2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(found.load(), firstLines[forward ? 116 : 88]);
    }
    {
        // Far from any checkpoint a find goes a slice a call, each call on from the last.
        ProfileDecoration far(choices);
        const StoreLease lease = p.leaseStore();
        int calls = 1;
        while (!far.approach(lease.store(), index, 300, 3))
            ++calls;
        Transaction t;
        TransactionDecoration::Output out;
        ASSERT_TRUE(TransactionReader::read(lease.store(), index, 300, &t));
        far.decode(t, &out, true);
        EXPECT_TRUE(calls == 100 && out.text == expected[300].text) << calls << out.text;
    }

    // Other choices start again: the RTC no longer decodes; the page is written again
    // when the checkpoints come.
    ProfileAssignment sensorOnly = choices;
    sensorOnly.choose(0x68, "");
    held = p.leaseStore();
    checkpoints.start(sensorOnly);
    EXPECT_EQ(page(all, 305, 1), "SHT2x 读 命令未知: 63 52 64|");
    held.release();
    waitFor(checkpoints, 320);
    EXPECT_EQ(page(all, 305, 1), "=|");
    EXPECT_EQ(page(all, 199, 4), "=|=|||");
    // Clear: nothing known until the new lines are gone through; the export of a filter's
    // rows decodes through the rows it hides.
    checkpoints.start(choices);
    waitFor(checkpoints, 320);
    held = p.leaseStore();
    held->resetStore();
    EXPECT_TRUE(checkpoints.reached() == 0 && checkpoints.checkpoint(300) == 0);
    held.release();
    fill();
    waitFor(checkpoints, 320);
    EXPECT_EQ(page(all, 131, 5), "=|=|=|=|=|");
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    held = p.leaseStore();
    EXPECT_TRUE(TransactionWriter::write(held.store(), index, &third, out, {}, &choices).ok());
    const QList<QByteArray> lines = out.data().split('\n');
    ASSERT_EQ(lines.size(), 2 + third.count());
    for (int r = 1; r <= third.count(); ++r)
        EXPECT_EQ(lines[r].mid(lines[r].lastIndexOf(',') + 1).chopped(1).toStdString(),
                  expected[size_t(3 * (r - 1))].text);
    held.release();
    p.leaseStore()->removeObserver(&index);
    p.leaseStore()->removeObserver(&blocks);
}
