#include "capture/capturepipeline.h"
#include "quietdebug.h"
#include "rowtestutil.h"

#include <gtest/gtest.h>

#include <korvex/korvexhealth.h>

#include <QTemporaryDir>

#include <cstring>

namespace {
using K = HealthFinding::Kind;
using S = HealthFinding::Severity;

class HealthLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dropDebugMessages();
        ASSERT_TRUE(p.leaseStore()->open(dir.filePath("I2CDataTemp.dat")));
        p.beginCapture();
    }
    void feed(const std::vector<I2CEvent> &e) { p.onI2CEvents(e.data(), int(e.size())); }
    // The line of every finding, in the log's order.
    std::vector<qint64> lines() const
    {
        std::vector<qint64> out;
        for (const HealthFinding &f : p.health().findings(-1, 1 << 20))
            out.push_back(f.line);
        return out;
    }

    QTemporaryDir dir;
    CapturePipeline p;
};

// START, ADDR 50 WRITE ACK, two DATA bytes ACK, STOP: events 0..7.
std::vector<I2CEvent> transfer(int64_t t)
{
    return {ev(EventStart, 0, t),    ev(EventAddr, 0xA0, t + 1), ev(EventAck, 0, t + 2),
            ev(EventData, 1, t + 3), ev(EventAck, 0, t + 4),     ev(EventData, 2, t + 5),
            ev(EventAck, 0, t + 6),  ev(EventStop, 0, t + 7)};
}
} // namespace

TEST_F(HealthLogTest, FindingsLandOnTheLinesTheirEventsRowsWentTo)
{
    for (const bool merge : {false, true}) {
        p.leaseStore()->resetStore();
        p.beginCapture();
        p.mergeEnabled = merge;
        // Out of order on purpose: they are placed by event.
        for (const int64_t e : {5, 0, 3, 7, 8, 12})
            p.onHealthFinding(healthFinding(e, K::Spike));
        feed(transfer(100));
        // A stray ACK (event 8) makes no row: its finding goes to the next one.
        // An ADDR (event 10) waits for its ACK in the next batch.
        p.onHealthFinding(healthFinding(10, K::TLow));
        feed({ev(EventAck, 0, 200), ev(EventStart, 0, 201), ev(EventAddr, 0xA1, 202)});
        EXPECT_EQ(p.health().findingCount(), 5u);
        feed({ev(EventAck, 0, 203), ev(EventStop, 0, 204), ev(EventStart, 0, 205)});
        const std::vector<qint64> expected = merge ? std::vector<qint64>{0, 2, 2, 3, 4, 5, 6}
                                                   : std::vector<qint64>{0, 2, 3, 4, 5, 6, 7};
        EXPECT_EQ(lines(), expected) << "merge " << merge;
        // The rows carry their findings' kinds into the line's flags.
        const HealthLog::LineFlags l = p.health().flagsOfLines(expected[5], expected[5] + 1);
        EXPECT_EQ(l.kinds, HealthFinding::kindBit(K::TLow));
        EXPECT_EQ(l.severities, HealthFinding::severityBit(S::Error));
        EXPECT_EQ(p.health().flagsOfLines(1, 2).kinds, 0u);
    }
}

TEST_F(HealthLogTest, KeptRowsClearAndTheCapturesEnd)
{
    p.onHealthFinding(healthFinding(1, K::Pec));
    {
        // The view holds the store: rows and their findings wait together,
        // and rows kept over a Clear are stored after it with theirs.
        StoreLease held = p.leaseStore();
        feed(transfer(0));
        EXPECT_EQ(p.health().findingCount(), 0u);
        held->resetStore();
    }
    const quint64 generation = p.health().generation();
    feed({});
    EXPECT_EQ(lines(), std::vector<qint64>{1});
    p.leaseStore()->resetStore();
    EXPECT_TRUE(p.health().findingCount() == 0 && lines().empty());
    EXPECT_GT(p.health().generation(), generation);
    EXPECT_EQ(p.health().summaries()[size_t(K::Pec)].count, 0u);
    // Named events that never came: the newest line takes them at the end
    // of the capture, or no line while none is stored.
    p.beginCapture();
    p.onHealthFinding(healthFinding(99, K::StuckLow));
    p.endCapture();
    EXPECT_EQ(lines(), std::vector<qint64>{-1});
    p.leaseStore()->resetStore();
    p.beginCapture();
    p.onI2CEvents(nullptr, 3); // no events: none counted
    p.onHealthFinding(healthFinding(1, K::Pec));
    feed(transfer(0));
    p.onHealthFinding(healthFinding(50, K::StuckLow));
    p.endCapture();
    EXPECT_EQ(lines(), (std::vector<qint64>{1, 4}));
}

TEST_F(HealthLogTest, SummariesNextAndWorst)
{
    p.onHealthFinding(healthFinding(2, K::TLow, S::Warning, 1250, 1300));
    p.onHealthFinding(healthFinding(4, K::TLow, S::Error, 1000, 1300));
    // As far past: the first stays.
    p.onHealthFinding(healthFinding(6, K::TLow, S::Error, 1600, 1300));
    p.onHealthFinding(healthFinding(7, K::GeneralCall, S::Info));
    p.onHealthFinding(healthFinding(0, K::Pec, S::Error));
    p.onHealthFinding(healthFinding(5, K::Pec, S::Error));
    for (int i = 0; i < 2000; ++i) // past the first block
        feed(transfer(i * 10));
    // A warning far past its limit is still less than an error.
    p.onHealthFinding(healthFinding(8 * 2000 + 3, K::TLow, S::Warning, 100, 1300));
    feed(transfer(99999));
    const auto s = p.health().summaries();
    const HealthLog::KindSummary &t = s[size_t(K::TLow)];
    EXPECT_EQ(t.count, 4u);
    EXPECT_EQ(t.firstLine, 1);
    EXPECT_EQ(t.severities,
              HealthFinding::severityBit(S::Error) | HealthFinding::severityBit(S::Warning));
    // The most severe, then the furthest past its limit.
    EXPECT_EQ(t.worst.measuredNs, 1000);
    EXPECT_EQ(t.worst.line, 2);
    EXPECT_EQ(s[size_t(K::GeneralCall)].count, 1u);
    EXPECT_EQ(s[size_t(K::Spike)].count, 0u);
    EXPECT_EQ(p.health().nextLine(K::TLow, 1), 2);
    EXPECT_EQ(p.health().nextLine(K::TLow, 2), 3);
    EXPECT_EQ(p.health().nextLine(K::TLow, 3), 10002);
    EXPECT_EQ(p.health().nextLine(K::TLow, 10002), -1);
    EXPECT_EQ(s[size_t(K::Pec)].firstLine, 0);
    EXPECT_EQ(p.health().nextLine(K::Pec, -1), 0);
    EXPECT_EQ(p.health().nextLine(K::Pec, 0), 3);
    EXPECT_EQ(p.health().nextLine(K::Spike, -1), -1);
    EXPECT_EQ(p.health().flagsOfLines(1, 9000).kinds, HealthFinding::kindBit(K::TLow) |
                                                          HealthFinding::kindBit(K::GeneralCall) |
                                                          HealthFinding::kindBit(K::Pec));
    EXPECT_EQ(p.health().findings(1, 2).size(), 1u); // not line 2's
    EXPECT_EQ(p.health().flaggedLines(3, 10003).size(), 3u);
    EXPECT_TRUE(p.health().findings(5, 5).empty() && p.health().flaggedLines(3, 3).empty());
    // Memory grows by blocks, not by findings.
    EXPECT_LT(p.health().memoryBytes(), 4096u);
}

TEST(HealthFindingTest, LibraryRecordsAndNames)
{
    KorvexFinding k{};
    k.kind = KORVEX_HEALTH_T_SU_STO;
    k.severity = KORVEX_SEVERITY_UNRESOLVED;
    k.measuredNs = 7;
    k.eventIndex = 9;
    std::memset(k.detail, 'x', sizeof k.detail); // not terminated
    HealthFinding f;
    ASSERT_TRUE(HealthFinding::fromLibrary(k, &f));
    EXPECT_TRUE(f.kind == K::TSuSto && f.severity == S::Unresolved && f.measuredNs == 7 &&
                f.eventIndex == 9 && f.detail.size() == sizeof k.detail);
    EXPECT_EQ(HealthFinding::kindName(f.kind), korvexHealthKindName(k.kind));
    for (const auto &[kind, severity] :
         {std::pair{0, 0}, {KORVEX_HEALTH_KIND_COUNT, 0}, {1, -1}, {1, 4}}) {
        k.kind = kind;
        k.severity = severity;
        EXPECT_FALSE(HealthFinding::fromLibrary(k, &f)) << kind << " " << severity;
    }
    for (int code = 1; code < KORVEX_HEALTH_KIND_COUNT; ++code) {
        K kind;
        ASSERT_TRUE(HealthFinding::kindFromName(korvexHealthKindName(code), &kind));
        k.kind = code;
        k.severity = KORVEX_SEVERITY_ERROR;
        EXPECT_TRUE(HealthFinding::fromLibrary(k, &f) && f.kind == kind && int(kind) == code - 1);
    }
    EXPECT_TRUE(HealthFinding::kindName(K::Count).empty() &&
                HealthFinding::severityName(S::Count).empty());
    EXPECT_EQ(HealthFinding::severityName(S::Unresolved), korvexHealthSeverityName(3));
    K kind;
    EXPECT_FALSE(HealthFinding::kindFromName("T-LOW", &kind));
    EXPECT_EQ(HealthFinding::worstSeverity(0x0C), S::Info);
    EXPECT_EQ(HealthFinding::worstSeverity(0x10), S::Count);
    EXPECT_EQ(healthFinding(0, K::TLow, S::Error, 1300, 1000).excess(), 300);
    EXPECT_EQ(healthFinding(0, K::TLow, S::Error, 1000, -1).excess(), 0);
    EXPECT_EQ(healthFinding(0, K::TLow, S::Error, 0, 5).excess(), 5);
}

// Lines cut off after a failed write take their findings with them; the rest stay readable.
TEST(HealthLogCutTest, CutLinesTakeTheirFindings)
{
    HealthLog log;
    for (const qint64 line : {1, 5, 5, 9})
        log.addToLine(line, healthFinding(0, line == 9 ? K::Pec : K::Spike));
    log.flush();
    const quint64 generation = log.generation();
    log.linesKept(5);
    const std::vector<HealthFinding> left = log.findings(0, 100);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].line, 1);
    EXPECT_EQ(log.summaries()[size_t(K::Spike)].count, 1u);
    EXPECT_EQ(log.summaries()[size_t(K::Pec)].count, 0u);
    EXPECT_GT(log.generation(), generation);
}
