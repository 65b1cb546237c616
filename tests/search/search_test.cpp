#include "search/capturescanner.h"
#include "search/capturesearch.h"
#include "searchtestutil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

TEST(SearchQueryTest, ReadsTermsAndRefusesWhatItCannot)
{
    SearchQuery q;
    QString error;
    const std::pair<const char *, const char *> refused[] = {
        {"", "请输入查找条件"},
        {"addr=80", "地址应为 00 到 7F 的十六进制数：80"},
        {"data=123", "数据应为十六进制字节，例如 data=12,34：123"},
        {"data=1g", "数据应为十六进制字节，例如 data=12,34：1g"},
        {"addr=0x", "地址应为 00 到 7F 的十六进制数：0x"},
        {"addr=0x050", "地址应为 00 到 7F 的十六进制数：0x050"},
        {"addr=x50", "地址应为 00 到 7F 的十六进制数：x50"},
        {"data=12,0x", "数据应为十六进制字节，例如 data=12,34：12,0x"},
        {"data=0x0x12", "数据应为十六进制字节，例如 data=12,34：0x0x12"},
        {"data=1 data=2", "数据只能指定一次"},
        {"label=", "标签文字不能为空"},
        {"ACK --", "无法识别的查找条件：--"}};
    for (const auto &r : refused) {
        EXPECT_FALSE(q.parse(QString::fromUtf8(r.first), &error)) << r.first;
        EXPECT_EQ(error, QString::fromUtf8(r.second));
    }
    // Whole bytes before the labels; label text within one name.
    ASSERT_TRUE(q.parse("数据=\"12 34\"", &error));
    EXPECT_EQ(q.needle(), "12 34");
    EXPECT_TRUE(q.matches("5,DATA,50,WRITE,12 34,ACK,1\n"));
    EXPECT_TRUE(q.matches("5,DATA,50,WRITE,AB 12 34 CD [x],ACK,1"));
    EXPECT_FALSE(q.matches("5,DATA,50,WRITE,112 345,ACK,1"));
    EXPECT_FALSE(q.matches("5,DATA,50,WRITE,AB [12 34],ACK,1"));
    EXPECT_FALSE(q.matches("5,DATA,50,WRITE,12 34"));
    // The "0x" of the CSV export, before an address and before each byte.
    for (const char *text :
         {"addr=0x50 data=0x12,0X34", "地址=0X50 数据=\"0x12 0x34 \"", "ADDR=50 data=0x1234"}) {
        ASSERT_TRUE(q.parse(QString::fromUtf8(text), &error)) << text;
        EXPECT_EQ(q.needle(), "12 34") << text;
        EXPECT_TRUE(q.matches("5,DATA,50,WRITE,12 34,ACK,1"));
        EXPECT_FALSE(q.matches("5,DATA,51,WRITE,12 34,ACK,1"));
    }
    ASSERT_TRUE(q.parse("addr=0x7f data=0xA", &error));
    EXPECT_TRUE(q.matches("5,DATA,7F,WRITE,0A,ACK,1"));
    ASSERT_TRUE(q.parse("label=M 2", &error) == false && q.parse("标签=\"M 2\" addr=7f", &error));
    EXPECT_TRUE(q.matches("1,ADDR,7F,READ,-- [] [CM 2x],ACK,1"));
    EXPECT_TRUE(q.matches("1,ADDR,7f,READ,-- [CM 2],ACK,1"));
    EXPECT_FALSE(q.matches("1,ADDR,7F,READ,-- [CM] [2],ACK,1"));
    EXPECT_FALSE(q.matches("1,ADDR,7E,READ,-- [CM 2],ACK,1"));
    BlockSummary block;
    EXPECT_FALSE(q.mayMatch(block));
    block.addresses[1] = uint64_t(1) << 63;
    EXPECT_TRUE(q.mayMatch(block));
    ASSERT_TRUE(q.parse("write nack data stop", &error));
    block.types = 1 << int(CaptureRow::Type::Data);
    block.directions = 1 << int(CaptureRow::Direction::Write);
    EXPECT_FALSE(q.mayMatch(block));
    block.responses = 1 << int(CaptureRow::Response::Nack);
    EXPECT_TRUE(q.mayMatch(block));
    block.directions = 1 << int(CaptureRow::Direction::Read);
    EXPECT_FALSE(q.mayMatch(block));
}

// Every query over a capture of several blocks, plain and merged, against a brute-force
// scan: all matches, from block edges, and first / last round.
TEST(CaptureScannerTest, FindsWhatABruteForceScanFinds)
{
    SearchFixture f;
    f.store(9000, false);
    f.store(4000, true, 700);
    f.store(200, false);
    const QStringList lines = f.lines();
    const qint64 n = lines.size();
    ASSERT_GT(n, 3 * BlockIndex::kBlockLines);
    EXPECT_EQ(f.blocks.completedBlocks(), (n - 1) / BlockIndex::kBlockLines);
    for (const OracleQuery &o : oracleQueries()) {
        SCOPED_TRACE(o.text);
        SearchQuery q;
        QString error;
        ASSERT_TRUE(q.parse(o.text, &error));
        const std::vector<qint64> expected = bruteForce(lines, o);
        ASSERT_FALSE(expected.empty());
        std::atomic<qint64> walked{0};
        CaptureScanner scanner(f.pipeline, f.blocks, q, nullptr, &walked);
        std::vector<qint64> found;
        EXPECT_EQ(scanner.scan(0, n + 5, [&](qint64 l) { return found.push_back(l), true; }),
                  CaptureScanner::Outcome::Done);
        EXPECT_EQ(found, expected);
        EXPECT_EQ(walked.load(), n);
        CaptureScanner::Outcome outcome;
        for (qint64 from : std::vector<qint64>{0, 4095, 4096, 4097, 8191, 8192, n - 1}) {
            auto after = std::lower_bound(expected.begin(), expected.end(), from);
            EXPECT_EQ(scanner.findFirst(from, n, &outcome), after == expected.end() ? -1 : *after);
            EXPECT_EQ(scanner.findLast(0, from, &outcome),
                      after == expected.begin() ? -1 : *(after - 1));
            EXPECT_EQ(outcome, after == expected.begin() ? CaptureScanner::Outcome::Done
                                                         : CaptureScanner::Outcome::Stopped);
        }
        EXPECT_EQ(scanner.findFirst(expected.back() + 1, n, &outcome), -1);
    }
}

// A filter and finds while another thread stores rows, clears the store and stores again:
// the filter ends with exactly the brute-force matches.
TEST(CaptureSearchTest, KeepsUpWithRowsStoredMeanwhile)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    SearchFixture f;
    f.store(5000, true, 300);
    CaptureSearch search(f.pipeline, f.blocks);
    SearchQuery filterQuery, findQuery;
    QString error;
    ASSERT_TRUE(filterQuery.parse("addr=33", &error) && findQuery.parse("data=12,34", &error));
    search.startFilter(filterQuery);
    std::vector<std::pair<qint64, CaptureSearch::FindStatus>> answers;
    QObject::connect(
        &search, &CaptureSearch::findFinished,
        [&](qint64 line, CaptureSearch::FindStatus s, int) { answers.emplace_back(line, s); });
    std::thread storer([&] {
        for (int i = 0; i < 40; ++i) {
            f.store(300, i % 3 == 0, 300);
            if (i == 20)
                f.pipeline.leaseStore()->resetStore();
        }
    });
    for (int i = 0; i < 20; ++i) {
        search.find(findQuery, i * 500, i % 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    storer.join();
    search.cancelFind();
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.size(), 20u);
    int found = 0;
    for (const auto &a : answers) {
        found += a.first >= 0;
        EXPECT_EQ(a.first >= 0,
                  a.second == CaptureSearch::Found || a.second == CaptureSearch::FoundWrapped);
    }
    EXPECT_GT(found, 0);
    const std::vector<qint64> expected = bruteForce(f.lines(), oracleQueries()[0]);
    const VisibleRows &rows = caughtUp(search, expected.size());
    ASSERT_EQ(rows.count(), qint64(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(rows.storedLine(qint64(i)), expected[i]);
        EXPECT_EQ(rows.rowAtOrAfter(expected[i]), qint64(i));
        EXPECT_EQ(rows.rowAtOrAfter(expected[i] + 1), qint64(i + 1));
    }
    EXPECT_EQ(rows.storedLine(rows.count()), -1);
    // The newest line's match is held apart and may be withdrawn.
    FilterRows held;
    held.append({3, 9}, 12, 13);
    EXPECT_EQ(std::vector<qint64>({held.count(), held.storedLine(2), held.rowAtOrAfter(12),
                                   held.rowAtOrAfter(13), held.rowAtOrAfter(4),
                                   held.tally().matches, held.tally().outOf}),
              std::vector<qint64>({3, 12, 2, 3, 1, 3, 13}));
    held.append({}, -1, 14);
    EXPECT_TRUE(held.count() == 2 && held.rowAtOrAfter(10) == 2);
    held.clear();
    EXPECT_EQ(held.tally().matches + held.tally().outOf, 0);
    search.stopFilter();
    EXPECT_EQ(search.filterRows(), nullptr);
}

// While a filter scans, the matches found so far are shown (here the scan waits for the
// store at the newest lines), out of the lines it judges.
TEST(CaptureSearchTest, AFilterShowsWhatItFoundSoFar)
{
    SearchFixture f;
    f.store(int(20 * BlockIndex::kBlockLines), false, 300);
    const std::vector<qint64> expected = bruteForce(f.lines(), oracleQueries()[0]);
    CaptureSearch search(f.pipeline, f.blocks);
    SearchQuery query;
    QString error;
    ASSERT_TRUE(query.parse("addr=33", &error));
    StoreLease held = f.pipeline.leaseStore();
    search.startFilter(query);
    EXPECT_EQ(search.filterTally().outOf, f.pipeline.storedLineCount());
    for (int wait = 0; wait < 500 && search.filterTally().matches == 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const FilterRows::Tally sofar = search.filterTally();
    EXPECT_LT(search.filterProgress(), 100);
    EXPECT_GT(sofar.matches, 0);
    EXPECT_LT(sofar.matches, qint64(expected.size()));
    EXPECT_EQ(sofar.outOf, f.pipeline.storedLineCount());
    EXPECT_EQ(search.filterRows()->storedLine(sofar.matches - 1),
              expected[size_t(sofar.matches - 1)]);
    held.release();
    for (int wait = 0; wait < 500 && search.filterProgress() < 100; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(search.filterTally().matches, qint64(expected.size()));
    search.stopFilter();
    EXPECT_EQ(search.filterTally().matches + search.filterTally().outOf, 0);
}

// ERR, WARN and flag= over findings the capture callback placed: the same lines as the
// findings' own, and blocks without such findings are ruled out by their summaries.
TEST(CaptureScannerTest, FindsRowsByTheirBusHealth)
{
    using K = HealthFinding::Kind;
    using S = HealthFinding::Severity;
    SearchFixture f;
    const auto finding = [&f](int64_t event, K kind, S severity) {
        f.pipeline.onHealthFinding(healthFinding(event, kind, severity));
    };
    // Transfer k is events 6k..6k+5 and lines 4k..4k+3: START, ADDR, DATA, STOP.
    finding(6 * 3 + 1, K::TLow, S::Error);       // line 13, block 0
    finding(6 * 3 + 3, K::Pec, S::Warning);      // line 14
    finding(6 * 1500 + 5, K::TLow, S::Warning);  // line 6003, block 1
    finding(6 * 2600 + 0, K::Stretch, S::Error); // line 10400, block 2
    const std::vector<I2CEvent> events = busTransfers(3000);
    {
        QtMessageHandler old =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        f.pipeline.onI2CEvents(events.data(), int(events.size()));
        qInstallMessageHandler(old);
    }
    const std::pair<const char *, std::vector<qint64>> cases[] = {
        {"ERR", {13, 10400}},
        {"warn", {14, 6003}},
        {"ERR WARN", {13, 14, 6003, 10400}},
        {"flag=t-low", {13, 6003}},
        {"flag=t-low flag=pec", {13, 14, 6003}},
        {"flag=T-LOW WARN", {6003}},
        {"ERR addr=50", {13}},
        {"ERR STOP", {}},
        {"问题=stretch", {10400}}};
    for (const auto &[text, expected] : cases) {
        SearchQuery q;
        QString error;
        ASSERT_TRUE(q.parse(QString::fromUtf8(text), &error)) << text;
        EXPECT_TRUE(q.needsHealth());
        std::vector<qint64> found;
        CaptureScanner scanner(f.pipeline, f.blocks, q);
        EXPECT_EQ(scanner.scan(0, 20000, [&](qint64 l) { return found.push_back(l), true; }),
                  CaptureScanner::Outcome::Done);
        EXPECT_EQ(found, expected) << text;
    }
    // The summaries: only block 1 holds no error, so an ERR filter passes it unread.
    BlockSummary s[2];
    ASSERT_EQ(f.blocks.copyBlocks(0, 2, s), 2);
    SearchQuery err, lowWarn, plain;
    QString error;
    ASSERT_TRUE(err.parse("ERR", &error) && lowWarn.parse("flag=t-low WARN", &error) &&
                plain.parse("START", &error));
    EXPECT_TRUE(err.mayMatch(s[0]) && !err.mayMatch(s[1]));
    // Block 0 holds t-low (an error) and a warning (pec): it may hold a match, so it is read.
    EXPECT_TRUE(lowWarn.mayMatch(s[1]) && lowWarn.mayMatch(s[0]));
    EXPECT_EQ(s[1].healthKinds, HealthFinding::kindBit(K::TLow));
    EXPECT_EQ(s[1].healthSeverities, HealthFinding::severityBit(S::Warning));
    EXPECT_FALSE(plain.needsHealth());
    EXPECT_FALSE(err.healthMatches(~0u, HealthFinding::severityBit(S::Warning)));
    EXPECT_FALSE(lowWarn.healthMatches(HealthFinding::kindBit(K::Pec), 0xFF));
    EXPECT_FALSE(err.parse("flag=nope", &error));
    EXPECT_EQ(error, QStringLiteral("未知的总线问题类型：nope（例如 flag=t-low）"));
    EXPECT_FALSE(err.parse("flag=", &error) || err.parse("ERROR", &error));
}
