// Transactions against a brute-force grouping of generated captures stored
// through the real store, and their CSV parsed back.
#include "capture/capturepipeline.h"
#include "rowtestutil.h"
#include "search/blockindex.h"
#include "transaction/transactioncsv.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionquery.h"
#include "transaction/transactionreader.h"
#include "transaction/transactionscan.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace {
struct Fixture
{
    QTemporaryDir dir;
    CapturePipeline pipeline;
    TransactionIndex index{pipeline.store()};
    std::mt19937 random{11};

    Fixture()
    {
        pipeline.leaseStore()->addObserver(&index);
        pipeline.leaseStore()->open(dir.filePath("I2CDataTemp.dat"));
    }
    // Rows as a bus gives them, with some STARTs or STOPs missing, labels,
    // NACKs and a capture that may begin mid-transfer.
    void store(int rows, bool merge)
    {
        std::vector<CaptureRow> batch;
        int64_t t = 86400000000000LL - 5000; // crosses midnight
        for (int i = 0; i < rows; ++i) {
            const unsigned r = unsigned(random());
            t = (t + 100) % 86400000000000LL;
            const int kind = r % 10;
            CaptureRow row =
                dataRow(0x50 + int(r >> 4 & 3), r >> 6 & 1,
                        kind == 9 ? "12 34" : (r >> 7 & 1 ? "18" : "E5"), (r >> 8) % 9 != 0, t);
            if (kind == 0)
                row = CaptureRow::start(t);
            else if (kind == 1)
                row = CaptureRow::stop(t);
            else if (kind == 2)
                row = addrRow(row.address, r >> 6 & 1, (r >> 8) % 9 != 0, t);
            if ((r >> 12) % 7 == 0 && row.type != CaptureRow::Type::Start)
                row.data += (r >> 15) % 2 ? " [EEPROM]" : " [CMD 1]";
            batch.push_back(row);
        }
        pipeline.mergeEnabled = merge;
        pipeline.leaseStore()->appendRows(batch, pipeline.mergeEnabled, pipeline.decodeEnabled,
                                          nullptr);
    }
    std::vector<std::string> lines()
    {
        const QByteArray all = pipeline.leaseStore()->readLines(0, pipeline.storedLineCount());
        std::vector<std::string> out;
        std::istringstream in(all.toStdString());
        for (std::string l; std::getline(in, l);)
            out.push_back(l);
        return out;
    }
};

std::string field(const std::string &line, int k)
{
    size_t at = 0;
    for (int i = 0; i < k; ++i)
        at = line.find(',', at) + 1;
    return line.substr(at, line.find(',', at) - at);
}

// The grouping written out plainly: first lines and statuses.
struct Expected
{
    std::vector<qint64> first;
    std::vector<uint8_t> status;
};
Expected group(const std::vector<std::string> &lines)
{
    Expected e;
    bool inside = false, started = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string type = field(lines[i], 1);
        const bool begin = !inside || (type == "START" && !started);
        if (begin) {
            if (inside)
                e.status.back() |= Transaction::NoStop;
            e.first.push_back(qint64(i));
            e.status.push_back(type == "START" ? 0 : Transaction::NoStart);
            started = type == "START";
        }
        inside = type != "STOP";
    }
    if (inside)
        e.status.back() |= Transaction::Open;
    return e;
}

// Segments as CSV writes them, from the lines alone.
std::string segmentsOf(const std::vector<std::string> &lines, qint64 first, qint64 end)
{
    std::string out;
    bool seg = false;
    for (qint64 i = first; i < end; ++i) {
        const std::string &l = lines[size_t(i)];
        const std::string type = field(l, 1), dir = field(l, 3) == "READ" ? "R" : "W";
        const bool nack = field(l, 5) == "NACK";
        if (type == "START" || type == "STOP") {
            seg = false;
            continue;
        }
        if (type == "ADDR" || !seg) {
            out += (out.empty() ? "" : "|") + field(l, 2) + dir +
                   (type == "ADDR" && nack ? "*" : "") + ":";
            seg = true;
        }
        if (type != "DATA")
            continue;
        std::istringstream words(field(l, 4));
        bool firstByte = true;
        for (std::string w; words >> w;) {
            if (w[0] == '[' || w.back() == ']' || w == "--")
                continue;
            out += (out.back() == ':' ? "" : " ") + w;
            if (nack && firstByte && out.find('*', out.rfind(':')) == std::string::npos)
                out += "*";
            firstByte = false;
        }
    }
    return out;
}
} // namespace

TEST(Transactions, GroupingFollowsStoresMergesClearAndCutLines)
{
    Fixture f;
    for (int round = 0; round < 6; ++round) {
        const bool merge = round % 2 == 1;
        f.store(3 * int(TransactionIndex::kBlockLines) + 77 * round, merge);
        if (round == 3) {
            f.pipeline.leaseStore()->resetStore(); // Clear
            f.store(500, false);
        }
        const std::vector<std::string> lines = f.lines();
        const Expected e = group(lines);
        StoreLease lease = f.pipeline.leaseStore();
        ASSERT_EQ(f.index.count(), qint64(e.first.size())) << round;
        ASSERT_EQ(f.index.lineCount(), qint64(lines.size()));
        for (size_t k = 0; k < e.first.size(); ++k) {
            const qint64 end = k + 1 < e.first.size() ? e.first[k + 1] : qint64(lines.size());
            ASSERT_EQ(f.index.firstLine(qint64(k)), e.first[k]) << k;
            ASSERT_EQ(f.index.endLine(qint64(k)), end);
            ASSERT_EQ(f.index.status(qint64(k)), e.status[k]) << k;
            ASSERT_EQ(f.index.transactionAt(e.first[k]), qint64(k));
            ASSERT_EQ(f.index.transactionAt(end - 1), qint64(k));
        }
        EXPECT_EQ(f.index.firstLine(f.index.count()), -1);
        EXPECT_EQ(f.index.endLine(-1), -1);
        EXPECT_EQ(f.index.transactionAt(qint64(lines.size())), -1);
        EXPECT_LE(f.index.memoryBytes(), lines.size() / 4 + 40000);
    }
    // Only the first lines stay (a failed write): as if the rest never came.
    const std::vector<std::string> lines = f.lines();
    StoreLease lease = f.pipeline.leaseStore();
    for (const qint64 keep : {TransactionIndex::kBlockLines + 5, qint64(7)}) {
        f.index.linesKept(keep);
        const Expected e = group(std::vector<std::string>(lines.begin(), lines.begin() + keep));
        ASSERT_EQ(f.index.count(), qint64(e.first.size()));
        EXPECT_EQ(f.index.lineCount(), keep);
        EXPECT_EQ(f.index.completedLines(),
                  (keep - 1) / TransactionIndex::kBlockLines * TransactionIndex::kBlockLines);
        for (size_t k = 0; k < e.first.size(); ++k) {
            EXPECT_EQ(f.index.firstLine(qint64(k)), e.first[k]);
            EXPECT_EQ(f.index.status(qint64(k)), e.status[k]) << keep << " " << k;
        }
    }
    f.index.storeReset();
    EXPECT_EQ(f.index.count(), 0);
    EXPECT_EQ(f.index.lineCount(), 0);
}

TEST(Transactions, ReaderAndCsvAgreeWithTheLines)
{
    Fixture f;
    f.store(2 * int(TransactionIndex::kBlockLines), true);
    f.store(3000, false);
    const std::vector<std::string> lines = f.lines();
    StoreLease lease = f.pipeline.leaseStore();
    qint64 cut = 0, labelled = 0;
    for (qint64 k = 0; k < f.index.count(); ++k) {
        const qint64 first = f.index.firstLine(k), end = f.index.endLine(k);
        Transaction t;
        ASSERT_TRUE(TransactionReader::read(lease.store(), f.index, k, &t, 6));
        EXPECT_EQ(t.number, k);
        EXPECT_EQ(t.firstLine, first);
        EXPECT_EQ(t.lineCount, end - first);
        EXPECT_EQ(t.cut, end - first > 6);
        EXPECT_EQ(t.status, f.index.status(k));
        int64_t t0 = 0, t1 = 0;
        CaptureRow::timestampFromText(field(lines[size_t(first)], 6), &t0);
        CaptureRow::timestampFromText(field(lines[size_t(end - 1)], 6), &t1);
        EXPECT_EQ(t.startNs, t0);
        EXPECT_EQ(t.durationNs, (t1 - t0 + 86400000000000LL) % 86400000000000LL);
        std::string csv;
        TransactionCsv::appendSegments(csv, t);
        EXPECT_EQ(csv, segmentsOf(lines, first, std::min(end, first + 6))) << k;
        if (t.cut) {
            ++cut;
            continue;
        }
        size_t labels = 0;
        for (qint64 i = first; i < end; ++i)
            for (size_t at = lines[size_t(i)].find(" ["); at != std::string::npos;
                 at = lines[size_t(i)].find(" [", at + 1))
                ++labels;
        EXPECT_EQ(t.labels.size(), labels);
        labelled += labels > 0;
    }
    EXPECT_GT(cut, 10);
    EXPECT_GT(labelled, 10);
    Transaction none;
    EXPECT_FALSE(TransactionReader::read(lease.store(), f.index, f.index.count(), &none));
}

TEST(Transactions, CsvRowsAndQueries)
{
    Transaction t;
    t.number = 4;
    t.firstLine = 17;
    t.lineCount = 6;
    t.startNs = 1234567890;
    t.durationNs = 5000;
    t.segments = {{0x68, false, false, {0x0F}, -1}, {0x68, true, false, {0x08, 0x09}, 1}};
    t.labels = {"EEPROM", "a,\"b\""};
    t.status = Transaction::NoStart | Transaction::NoStop;
    std::string row;
    TransactionCsv::appendRow(row, t);
    EXPECT_EQ(row, "5,17,6,00.00.01.234.567.890,5000,68W:0F|68R:08 09*,NACK 68R#2,no-start "
                   "no-stop,\"[EEPROM] [a,\"\"b\"\"]\"\r\n");
    row.clear();
    t.segments = {{0x50, true, true, {}, -1}};
    t.labels.clear();
    t.status = Transaction::Open;
    t.cut = true;
    TransactionCsv::appendRow(row, t);
    EXPECT_EQ(row, "5,17,6,00.00.01.234.567.890,5000,50R*:,NACK 50R,open cut,\r\n");

    t.segments = {{0x68, false, false, {0x0E}, -1}, {0x68, true, false, {0x18, 0xE5}, -1}};
    t.labels = {"EEPROM"};
    t.status = Transaction::Closed;
    const auto matches = [&t](const char *text) {
        TransactionQuery q;
        QString error;
        EXPECT_TRUE(q.parse(QString::fromUtf8(text), &error)) << text;
        return q.matches(t);
    };
    for (const char *yes : {"addr=68", "data=18,E5", "data=E5", "READ", "WRITE", "ACK", "START",
                            "STOP", "ADDR", "DATA", "label=EEP", "dur>4999ns", "dur<5.001us",
                            "dur>4us dur<1ms", "addr=68 READ ACK data=0E", "NACK ACK"})
        EXPECT_TRUE(matches(yes)) << yes;
    for (const char *no : {"addr=50", "data=0E,18", "data=E5,18", "NACK", "label=CMD", "dur>5000ns",
                           "dur<5us", "dur>1ms", "addr=68 NACK"})
        EXPECT_FALSE(matches(no)) << no;
    t.segments[1].nackedByte = 1;
    t.status = Transaction::NoStart | Transaction::Open;
    EXPECT_TRUE(matches("NACK"));
    EXPECT_FALSE(matches("ACK"));
    EXPECT_FALSE(matches("START"));
    EXPECT_FALSE(matches("STOP"));
    t.segments = {{0x68, true, true, {}, -1}};
    EXPECT_TRUE(matches("NACK READ"));
    EXPECT_FALSE(matches("WRITE"));
    EXPECT_FALSE(matches("DATA"));
    for (const char *bad : {"", "dur>5", "dur>xms", "dur>1s dur>2s", "dur=5ms", "addr=80"}) {
        TransactionQuery q;
        QString error;
        EXPECT_FALSE(q.parse(QString::fromUtf8(bad), &error)) << bad;
        EXPECT_FALSE(error.isEmpty());
    }
    // Block summaries rule out only what no transaction over them can hold.
    TransactionQuery q;
    QString error;
    ASSERT_TRUE(q.parse(QStringLiteral("addr=68 NACK data=01"), &error));
    BlockSummary s;
    s.addresses[1] = uint64_t(1) << (0x68 - 64);
    s.responses = 1u << unsigned(CaptureRow::Response::Nack);
    s.types = 1u << unsigned(CaptureRow::Type::Data);
    EXPECT_TRUE(q.mayMatch(s));
    s.types = 1u << unsigned(CaptureRow::Type::Addr);
    EXPECT_FALSE(q.mayMatch(s));
    s.types |= 1u << unsigned(CaptureRow::Type::Data);
    s.responses = 1u << unsigned(CaptureRow::Response::Ack);
    EXPECT_FALSE(q.mayMatch(s));
    s.responses |= 1u << unsigned(CaptureRow::Response::Nack);
    s.addresses[1] = 0;
    s.addresses[0] = 1;
    EXPECT_FALSE(q.mayMatch(s));
}

namespace {
// The first lines of the transactions query matches, read one by one.
std::vector<qint64> expectedMatches(Fixture &f, const TransactionQuery &q)
{
    std::vector<qint64> out;
    StoreLease lease = f.pipeline.leaseStore();
    Transaction t;
    for (qint64 k = 0; k < f.index.count(); ++k)
        if (TransactionReader::read(lease.store(), f.index, k, &t, 1 << 16) && q.matches(t))
            out.push_back(t.firstLine);
    return out;
}

} // namespace

TEST(Transactions, ScanReportsMatchingTransactionsWithinRangesAcrossAppendsAndClear)
{
    Fixture f;
    BlockIndex blocks(f.pipeline.store());
    f.pipeline.leaseStore()->addObserver(&blocks);
    f.store(5 * int(TransactionIndex::kBlockLines), false);
    TransactionQuery q, nacks;
    QString error;
    ASSERT_TRUE(q.parse(QStringLiteral("data=34,18 NACK"), &error));
    // NACK alone is answered from the index's bits, never reading a line.
    ASSERT_TRUE(nacks.parse(QStringLiteral("NACK"), &error));
    ASSERT_TRUE(nacks.onlyNacks() && !q.onlyNacks());
    TransactionScan scan(f.pipeline, f.index, q), nackScan(f.pipeline, f.index, nacks);
    const auto run = [&](qint64 from, qint64 to, size_t stopAfter = size_t(-1),
                         TransactionScan *with = nullptr) {
        std::vector<qint64> out;
        const auto outcome = (with ? *with : scan).scan(from, to, nullptr, [&](qint64 line) {
            out.push_back(line);
            return out.size() < stopAfter;
        });
        return std::make_pair(outcome, out);
    };
    for (int round = 0; round < 3; ++round) {
        // Appends, merged ones among them, then a Clear and more.
        if (round == 2)
            f.pipeline.leaseStore()->resetStore();
        if (round > 0)
            f.store(3000 + 40000 * round, round == 1);
        const qint64 lines = f.pipeline.storedLineCount();
        for (TransactionScan *with : {&scan, &nackScan}) {
            const std::vector<qint64> expected = expectedMatches(f, with == &scan ? q : nacks);
            ASSERT_GT(expected.size(), 3u) << round;
            EXPECT_EQ(run(0, lines, size_t(-1), with),
                      std::make_pair(TransactionScan::Outcome::Done, expected));
            // Only transactions beginning in [from, to): one starting at
            // `from` counts, one starting at `to` does not.
            const qint64 a = expected[1], b = expected[expected.size() - 2];
            EXPECT_EQ(run(a, b, size_t(-1), with).second,
                      std::vector<qint64>(expected.begin() + 1, expected.end() - 2));
            EXPECT_EQ(run(a + 1, b + 1, size_t(-1), with).second,
                      std::vector<qint64>(expected.begin() + 2, expected.end() - 1));
            EXPECT_EQ(run(0, lines, 2, with),
                      std::make_pair(TransactionScan::Outcome::Stopped,
                                     std::vector<qint64>(expected.begin(), expected.begin() + 2)));
        }
        // Only the newest transaction may still grow, and only while open.
        const qint64 last = f.index.count() - 1;
        EXPECT_EQ(scan.unsettledFrom(lines),
                  f.index.status(last) & Transaction::Open ? f.index.firstLine(last) : lines);
        EXPECT_EQ(scan.unsettledFrom(0), 0);
    }
    // Block summaries skip blocks no transaction reaching into them can
    // match: 0x66 in one block, once across a block edge, and at the end.
    std::vector<CaptureRow> quiet;
    const size_t base = size_t(f.pipeline.storedLineCount());
    const auto transfer = [&](int address, size_t rows) {
        quiet.push_back(CaptureRow::start(0));
        quiet.push_back(addrRow(address, false, true, 0));
        while ((base + quiet.size()) % TransactionIndex::kBlockLines !=
               rows % TransactionIndex::kBlockLines)
            quiet.push_back(dataRow(address, false, "18", true, 0));
        quiet.push_back(CaptureRow::stop(0));
    };
    for (size_t edge : {5u, 4090u, 4094u, 6000u, 12200u, 12287u, 16380u})
        transfer(0x60, edge);
    for (size_t edge : {16390u, 20470u})
        transfer(0x66, edge);
    f.pipeline.leaseStore()->appendRows(quiet, false, false, nullptr);
    f.store(3 * int(TransactionIndex::kBlockLines), false);
    quiet.assign(1, CaptureRow::start(0));
    quiet.push_back(addrRow(0x66, true, true, 0));
    f.pipeline.leaseStore()->appendRows(quiet, false, false, nullptr);
    for (const char *text : {"addr=66", "addr=66 WRITE", "addr=66 READ", "data=34,18 NACK",
                             "addr=60 NACK", "addr=7F", "NACK"}) {
        ASSERT_TRUE(q.parse(QLatin1String(text), &error));
        TransactionScan skipping(f.pipeline, f.index, q, &blocks);
        std::vector<qint64> out;
        const qint64 lines = f.pipeline.storedLineCount();
        EXPECT_EQ(skipping.scan(0, lines, nullptr,
                                [&](qint64 line) {
                                    out.push_back(line);
                                    return true;
                                }),
                  TransactionScan::Outcome::Done);
        EXPECT_EQ(out, expectedMatches(f, q)) << text;
    }
    f.pipeline.leaseStore()->removeObserver(&blocks);
    const quint64 before = scan.generation();
    std::atomic<bool> cancel{true};
    EXPECT_EQ(scan.scan(0, 10, &cancel, [](qint64) { return true; }),
              TransactionScan::Outcome::Canceled);
    f.pipeline.leaseStore()->resetStore();
    EXPECT_NE(scan.generation(), before);
    EXPECT_EQ(run(0, 10).first, TransactionScan::Outcome::Done);
}

TEST(Transactions, OpenInManyBatchesGroupsAsCaptured)
{
    Fixture captured, opened;
    captured.store(2 * int(TransactionIndex::kBlockLines) + 77, true);
    const QByteArray all =
        captured.pipeline.leaseStore()->readLines(0, captured.pipeline.storedLineCount());
    opened.store(500, false); // an earlier capture, replaced by Open
    StoreLease lease = opened.pipeline.leaseStore();
    lease->resetStore();
    // Batches of whole lines, of any length.
    for (qint64 at = 0; at < all.size();) {
        const int from = int(std::min<qint64>(all.size() - 1, at + opened.random() % 9000));
        const qint64 end = all.indexOf('\n', from) + 1;
        ASSERT_TRUE(lease->appendStoredLines(all.constData() + at, end - at));
        at = end;
    }
    ASSERT_EQ(opened.index.lineCount(), captured.index.lineCount());
    ASSERT_EQ(opened.index.count(), captured.index.count());
    for (qint64 k = 0; k < captured.index.count(); ++k) {
        EXPECT_EQ(opened.index.firstLine(k), captured.index.firstLine(k)) << k;
        EXPECT_EQ(opened.index.status(k), captured.index.status(k)) << k;
    }
}
