// Bus health: faults injected by the simulator at 1 to 100 MHz, timing verdicts
// around each limit, the glitch filter, and what the recorded captures show.
#include "korvex/src/bussimulator.h"
#include "korvex/src/capturedecoding.h"
#include "korvex/src/healthchecker.h"
#include "korvex/src/healthkinds.h"
#include "korvextest.h"

#include <cstring>
#include <map>
#include <set>

namespace korvex {
namespace {

constexpr uint64_t kMHz = 1000000;

struct HealthRun
{
    std::vector<I2CEvent> events;
    std::vector<KorvexFinding> findings;
    int32_t mode = 0;

    std::vector<KorvexFinding> of(int32_t kind) const
    {
        std::vector<KorvexFinding> found;
        for (const KorvexFinding &f : findings) {
            if (f.kind == kind)
                found.push_back(f);
        }
        return found;
    }
    size_t count(int32_t kind, const char *detailStart) const
    {
        size_t n = 0;
        for (const KorvexFinding &f : of(kind))
            n += std::strncmp(f.detail, detailStart, std::strlen(detailStart)) == 0;
        return n;
    }
    int worst(int32_t kind) const // lowest severity code seen, 9 for none
    {
        int worst = 9;
        for (const KorvexFinding &f : of(kind))
            worst = std::min(worst, f.severity);
        return worst;
    }
};

struct SimSetup
{
    uint64_t rate = kMHz;
    SimulatorTiming timing;
    SimulatorFaults faults;
    HealthConfig health;
    uint64_t ms = 60;
    size_t chunk = 0; // samples per buffer; 0: uneven buffers of about 30,000
};

// Simulates and decodes with the checker, in uneven buffers, checking as a
// delivery would that no finding names an event already handed on.
HealthRun simulate(SimSetup s)
{
    BusSimulator bus(s.rate, 0, 7, s.timing, s.faults);
    I2CDecoderConfig config;
    config.sampleRate = s.rate;
    config.assumeIdle = true;
    config.glitchSamples = s.health.glitchSamples;
    s.health.sampleRate = s.rate;
    HealthChecker checker(s.health);
    I2CDecoder decoder;
    EXPECT_TRUE(decoder.configure(config));
    decoder.setObserver(&checker);
    HealthRun run;
    uint64_t released = 0;
    std::vector<uint8_t> samples;
    auto collect = [&](bool atEnd) {
        const size_t before = run.findings.size();
        checker.take(run.findings);
        for (size_t i = before; i < run.findings.size(); ++i)
            EXPECT_GE(run.findings[i].eventIndex, released) << run.findings[i].kindName;
        released =
            atEnd ? decoder.eventCount() : std::min(checker.openEvent(), decoder.eventCount());
    };
    uint64_t lastChange = 0;
    uint8_t level = 0xFF;
    for (uint64_t left = s.rate * s.ms / 1000, n = 0; left > 0; left -= n) {
        n = std::min<uint64_t>(left, s.chunk ? s.chunk : 4093 + (left % 50000));
        samples.clear();
        bus.generate(n, samples);
        for (size_t i = 0; i < samples.size(); ++i) {
            if (samples[i] != level)
                lastChange = decoder.samplesSeen() + i;
            level = samples[i];
        }
        decoder.feed(samples.data(), samples.size(), run.events);
        checker.advance(decoder.samplesSeen(), decoder.eventCount());
        collect(false);
        // Once the bus has idled a while no event waits any more.
        if (decoder.samplesSeen() - lastChange > s.rate / 5000 && level == 3) {
            EXPECT_EQ(released, decoder.eventCount()) << decoder.samplesSeen();
        }
    }
    decoder.flush(run.events);
    checker.finish(decoder.samplesSeen(), decoder.eventCount());
    collect(true);
    run.mode = checker.mode();
    return run;
}

TEST(HealthChecker, CleanTrafficHasNoErrorOrWarningAndInjectedFaultsShowEveryKind)
{
    for (uint64_t rate : {1 * kMHz, 4 * kMHz, 25 * kMHz, 100 * kMHz}) {
        SimSetup clean;
        clean.rate = rate;
        clean.ms = rate >= 25 * kMHz ? 40 : 200;
        const HealthRun run = simulate(clean);
        EXPECT_EQ(run.mode, KORVEX_HEALTH_MODE_SM) << rate;
        for (const KorvexFinding &f : run.findings)
            EXPECT_GE(f.severity, KORVEX_SEVERITY_INFO)
                << rate << " " << f.kindName << " " << f.detail;
    }
    for (uint64_t rate : {1 * kMHz, 10 * kMHz}) {
        SimSetup faulty;
        faulty.rate = rate;
        faulty.ms = 900;
        faulty.faults.kinds = ~0u & ~((1u << KORVEX_HEALTH_UNDERSAMPLED) | 1u);
        faulty.health.mode = KORVEX_HEALTH_MODE_SMBUS;
        faulty.health.pec[BusSimulator::kPecDevice] = true;
        const HealthRun run = simulate(faulty);
        std::set<int32_t> kinds;
        for (const KorvexFinding &f : run.findings) {
            kinds.insert(f.kind);
            ASSERT_LE(f.eventIndex, run.events.size());
            EXPECT_STREQ(f.kindName, healthKindName(f.kind));
        }
        for (int32_t kind = 1; kind < KORVEX_HEALTH_UNDERSAMPLED; ++kind)
            EXPECT_TRUE(kinds.count(kind)) << rate << " " << kind;
    }
}

// Each finding names the event the issue belongs to; counted against the events.
TEST(HealthChecker, ProtocolFindingsNameTheirEvents)
{
    for (unsigned cut = 1; cut <= 8; ++cut) {
        SimSetup s;
        s.rate = 10 * kMHz;
        s.faults.kinds = (1u << KORVEX_HEALTH_START_IN_BYTE) | (1u << KORVEX_HEALTH_STOP_IN_BYTE);
        s.faults.cutAfter = cut;
        const HealthRun run = simulate(s);
        const auto starts = run.of(KORVEX_HEALTH_START_IN_BYTE);
        const auto stops = run.of(KORVEX_HEALTH_STOP_IN_BYTE);
        ASSERT_FALSE(starts.empty());
        ASSERT_FALSE(stops.empty());
        const std::string bits = std::to_string(cut) + (cut == 1 ? " bit" : " bits");
        // After eight bits the next clock is the acknowledge's.
        EXPECT_EQ(std::string(starts[0].detail),
                  cut < 8 ? "START inside a byte: aborted after " + bits
                          : "START in the ACK slot: aborted after 8 bits");
        EXPECT_EQ(std::string(stops[0].detail), cut < 8 ? "STOP inside a byte: cut after " + bits
                                                        : "STOP in the ACK slot: the byte is cut "
                                                          "after 8 bits");
        EXPECT_EQ(run.events[starts[0].eventIndex].type, KORVEX_EVENT_START);
        EXPECT_EQ(run.events[stops[0].eventIndex].type, KORVEX_EVENT_STOP);
        // The simulator's own repeated STARTs (sensor, RTC, EEPROM reads) are ordinary.
        for (const KorvexFinding &f : run.findings)
            EXPECT_TRUE(f.kind == KORVEX_HEALTH_START_IN_BYTE ||
                        f.kind == KORVEX_HEALTH_STOP_IN_BYTE || f.kind == KORVEX_HEALTH_STRETCH)
                << f.kindName << " " << f.detail;
    }
    SimSetup s;
    s.rate = 10 * kMHz;
    s.ms = 400;
    for (int32_t k :
         {KORVEX_HEALTH_TEN_BIT_ADDRESS, KORVEX_HEALTH_PEC, KORVEX_HEALTH_HS_MASTER_CODE,
          KORVEX_HEALTH_LAST_READ_ACKED, KORVEX_HEALTH_MISSING_STOP,
          KORVEX_HEALTH_EMPTY_TRANSACTION, KORVEX_HEALTH_GENERAL_CALL, KORVEX_HEALTH_START_BYTE,
          KORVEX_HEALTH_BUS_CLEAR})
        s.faults.kinds |= 1u << k;
    s.health.pec[BusSimulator::kPecDevice] = true;
    const HealthRun run = simulate(s);
    const auto tenBit = run.of(KORVEX_HEALTH_TEN_BIT_ADDRESS);
    ASSERT_FALSE(tenBit.empty());
    char expected[64] = "";
    for (const KorvexFinding &f : tenBit) {
        const I2CEvent &first = run.events[f.eventIndex];
        ASSERT_EQ(first.data & 0xF8, 0xF0);
        if (first.data & 1) { // the read back names the address written before
            std::memcpy(std::strstr(expected, "write"), "read", 5);
        } else {
            std::snprintf(expected, sizeof expected, "10-bit address 0x%03X, write",
                          ((first.data >> 1) & 3) << 8 | run.events[f.eventIndex + 2].data);
        }
        EXPECT_STREQ(f.detail, expected);
    }
    EXPECT_EQ(tenBit.size() % 2, 0u);
    // PEC: recomputed over each transfer to the PEC device; only the wrong ones are findings.
    std::set<uint64_t> badPec, foundPec;
    std::vector<std::pair<uint64_t, uint8_t>> bytes;
    auto transferEnds = [&] {
        if (bytes.size() < 2 || bytes[0].second >> 1 != BusSimulator::kPecDevice)
            return;
        uint8_t crc = 0;
        for (size_t b = 0; b + 1 < bytes.size(); ++b) {
            crc ^= bytes[b].second;
            for (int n = 0; n < 8; ++n)
                crc = uint8_t((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
        }
        if (crc != bytes.back().second)
            badPec.insert(bytes.back().first);
    };
    for (uint64_t i = 0; i < run.events.size(); ++i) {
        const I2CEvent &e = run.events[i];
        if (e.type == KORVEX_EVENT_STOP)
            transferEnds();
        if (e.type == KORVEX_EVENT_STOP)
            bytes.clear();
        if (e.type == KORVEX_EVENT_ADDR || e.type == KORVEX_EVENT_DATA)
            bytes.push_back({i, e.data});
    }
    for (const KorvexFinding &f : run.of(KORVEX_HEALTH_PEC))
        foundPec.insert(f.eventIndex);
    EXPECT_FALSE(badPec.empty());
    EXPECT_EQ(foundPec, badPec);
    EXPECT_EQ(run.of(KORVEX_HEALTH_PEC).size(), badPec.size());
    const auto hs = run.of(KORVEX_HEALTH_HS_MASTER_CODE);
    ASSERT_FALSE(hs.empty());
    EXPECT_EQ(run.events[hs[0].eventIndex].data & 0xF8, 0x08);
    const auto acked = run.of(KORVEX_HEALTH_LAST_READ_ACKED);
    ASSERT_FALSE(acked.empty());
    for (const KorvexFinding &f : acked) { // the fault's second read byte, not another read
        EXPECT_EQ(run.events[f.eventIndex].type, KORVEX_EVENT_ACK);
        EXPECT_EQ(run.events[f.eventIndex + 1].type, KORVEX_EVENT_STOP);
        EXPECT_EQ(run.events[f.eventIndex - 3].type, KORVEX_EVENT_DATA);
    }
    // The fault devices acknowledge their addresses and every byte written to them.
    uint8_t address = 0;
    for (size_t i = 0; i + 1 < run.events.size(); ++i) {
        const I2CEvent &e = run.events[i];
        if (e.type == KORVEX_EVENT_ADDR)
            address = e.data;
        const bool faultDevice =
            address >> 1 == BusSimulator::kFaultDevice || address >> 1 == BusSimulator::kPecDevice;
        if (faultDevice &&
            (e.type == KORVEX_EVENT_ADDR || (e.type == KORVEX_EVENT_DATA && !(address & 1)))) {
            EXPECT_EQ(run.events[i + 1].type, KORVEX_EVENT_ACK) << i;
        }
    }
    ASSERT_FALSE(run.of(KORVEX_HEALTH_MISSING_STOP).empty());
    EXPECT_EQ(run.of(KORVEX_HEALTH_MISSING_STOP)[0].measuredNs, 2000000);
    EXPECT_EQ(run.worst(KORVEX_HEALTH_EMPTY_TRANSACTION), KORVEX_SEVERITY_WARNING);
    EXPECT_EQ(run.events[run.of(KORVEX_HEALTH_GENERAL_CALL)[0].eventIndex].data, 0x00);
    EXPECT_EQ(run.events[run.of(KORVEX_HEALTH_START_BYTE)[0].eventIndex].data, 0x01);
    EXPECT_EQ(run.events[run.of(KORVEX_HEALTH_BUS_CLEAR)[0].eventIndex].type, KORVEX_EVENT_START);
    // Nothing else is wrong with that traffic.
    std::set<int32_t> kinds;
    for (const KorvexFinding &f : run.findings)
        kinds.insert(f.kind);
    kinds.erase(KORVEX_HEALTH_STRETCH);
    EXPECT_EQ(kinds.size(), 9u);
}

// Sets the simulator's timing so that the parameter `kind` measures `ns`: tSU;DAT is what
// tLOW leaves after the data change, a clock period is tLOW + tHIGH.
void setParameter(SimSetup &s, int32_t kind, int64_t ns)
{
    using T = SimulatorTiming;
    static const std::map<int32_t, uint64_t T::*> kField = {
        {KORVEX_HEALTH_T_LOW, &T::lowNs},      {KORVEX_HEALTH_T_HIGH, &T::highNs},
        {KORVEX_HEALTH_T_SU_STA, &T::suStaNs}, {KORVEX_HEALTH_T_HD_STA, &T::hdStaNs},
        {KORVEX_HEALTH_T_SU_DAT, &T::hdDatNs}, {KORVEX_HEALTH_T_HD_DAT, &T::hdDatNs},
        {KORVEX_HEALTH_T_SU_STO, &T::suStoNs}, {KORVEX_HEALTH_T_BUF, &T::bufNs},
        {KORVEX_HEALTH_F_SCL, &T::highNs}};
    const uint64_t low = s.timing.lowNs;
    s.timing.*kField.at(kind) = kind == KORVEX_HEALTH_T_SU_DAT ? low - uint64_t(ns)
                                : kind == KORVEX_HEALTH_F_SCL  ? uint64_t(ns) - low
                                                               : uint64_t(ns);
    if (kind == KORVEX_HEALTH_T_BUF)
        s.faults.kinds = 1u << KORVEX_HEALTH_T_BUF; // two transfers tBUF apart
}

TEST(HealthChecker, EachTimingVerdictFlipsWithinASampleOfItsLimit)
{
    const std::map<int32_t, int64_t> standardLimits = {
        {KORVEX_HEALTH_T_LOW, 4700},    {KORVEX_HEALTH_T_HIGH, 4000},
        {KORVEX_HEALTH_T_SU_STA, 4700}, {KORVEX_HEALTH_T_HD_STA, 4000},
        {KORVEX_HEALTH_T_SU_DAT, 250},  {KORVEX_HEALTH_T_HD_DAT, 300},
        {KORVEX_HEALTH_T_SU_STO, 4000}, {KORVEX_HEALTH_T_BUF, 4700},
        {KORVEX_HEALTH_F_SCL, 10000}};
    for (uint64_t rate : {1 * kMHz, 10 * kMHz, 100 * kMHz}) {
        const int64_t sample = int64_t(1000000000 / rate);
        for (const auto &[kind, limit] : standardLimits) {
            if (limit <= 3 * sample || limit % sample)
                continue; // judged unresolved below; or not a whole number of samples
            const int64_t band = 1000 + sample; // rise time and one sample
            std::vector<std::pair<int64_t, int>> cases = {
                {limit + 2 * sample, 9},
                {limit + (kind == KORVEX_HEALTH_T_BUF), 9}, // the simulator halves a default tBUF
                {limit - 2 * sample, KORVEX_SEVERITY_WARNING},
                {limit - band + 2 * sample, KORVEX_SEVERITY_WARNING},
                {limit - band - 2 * sample, KORVEX_SEVERITY_ERROR}};
            if (band < 4 * sample)
                cases.resize(3); // the band's edges need a band of several samples
            for (const auto &[ns, severity] : cases) {
                if (ns <= sample)
                    continue;
                SimSetup s;
                s.rate = rate;
                s.ms = 40;
                s.health.mode = kind == KORVEX_HEALTH_T_HD_DAT ? KORVEX_HEALTH_MODE_SMBUS
                                                               : KORVEX_HEALTH_MODE_SM;
                setParameter(s, kind, ns);
                const HealthRun run = simulate(s);
                EXPECT_EQ(run.worst(kind), severity)
                    << healthKindName(kind) << " " << ns << " ns at " << rate << " Hz";
                if (severity < 9) {
                    ASSERT_FALSE(run.of(kind).empty());
                    const KorvexFinding f = run.of(kind)[0];
                    EXPECT_EQ(f.measuredNs, ns);
                    EXPECT_EQ(f.limitNs, limit);
                    EXPECT_EQ(f.resolutionNs, sample);
                }
            }
        }
    }
    // A limit of less than two samples is said once, not judged.
    SimSetup slow;
    slow.health.mode = KORVEX_HEALTH_MODE_SM;
    const auto unresolved = simulate(slow).of(KORVEX_HEALTH_T_SU_DAT);
    ASSERT_EQ(unresolved.size(), 1u);
    EXPECT_EQ(unresolved[0].severity, KORVEX_SEVERITY_UNRESOLVED);
    // The verdict rule itself, at its edges.
    EXPECT_EQ(HealthChecker::verdict(1000, 1000, 300, 100), -1);
    EXPECT_EQ(HealthChecker::verdict(901, 1000, 300, 100), -1);
    EXPECT_EQ(HealthChecker::verdict(900, 1000, 300, 100), KORVEX_SEVERITY_WARNING);
    EXPECT_EQ(HealthChecker::verdict(600, 1000, 300, 100), KORVEX_SEVERITY_WARNING);
    EXPECT_EQ(HealthChecker::verdict(599, 1000, 300, 100), KORVEX_SEVERITY_ERROR);
}

TEST(HealthChecker, StretchesStuckLinesSpikesAndTheGlitchFilter)
{
    SimSetup s;
    s.rate = 4 * kMHz;
    s.ms = 300;
    s.health.mode = KORVEX_HEALTH_MODE_SMBUS;
    s.faults.kinds = (1u << KORVEX_HEALTH_STRETCH) | (1u << KORVEX_HEALTH_SMBUS_TIMEOUT) |
                     (1u << KORVEX_HEALTH_STUCK_LOW);
    HealthRun run = simulate(s);
    ASSERT_FALSE(run.of(KORVEX_HEALTH_STUCK_LOW).empty());
    EXPECT_EQ(run.of(KORVEX_HEALTH_STUCK_LOW)[0].severity, KORVEX_SEVERITY_ERROR);
    EXPECT_GE(run.of(KORVEX_HEALTH_STUCK_LOW)[0].measuredNs, 25000000);
    std::set<uint64_t> stuckAt;
    for (const KorvexFinding &f : run.of(KORVEX_HEALTH_STUCK_LOW))
        EXPECT_TRUE(stuckAt.insert(f.sample).second) << "told twice";
    // SCL low exactly 25 ms in a transfer is no timeout; a sample more is.
    SimSetup slow = s;
    slow.ms = 60;
    slow.faults.kinds = 1u << KORVEX_HEALTH_STRETCH;
    slow.faults.stretchNs = 25000000 - 5000;
    EXPECT_EQ(simulate(slow).count(KORVEX_HEALTH_SMBUS_TIMEOUT, "SCL low "), 0u);
    slow.faults.stretchNs += 250;
    EXPECT_GE(simulate(slow).count(KORVEX_HEALTH_SMBUS_TIMEOUT, "SCL low "), 1u);
    SimSetup stuck;
    stuck.rate = 4 * kMHz;
    stuck.ms = 70;
    stuck.faults.kinds = 1u << KORVEX_HEALTH_STUCK_LOW;
    stuck.faults.stretchNs = 25000000;
    EXPECT_TRUE(simulate(stuck).of(KORVEX_HEALTH_STUCK_LOW).empty()) << "at the limit";
    stuck.faults.stretchNs += 250;
    EXPECT_FALSE(simulate(stuck).of(KORVEX_HEALTH_STUCK_LOW).empty()) << "one sample past it";
    std::set<int64_t> stretches;
    for (const KorvexFinding &f : run.of(KORVEX_HEALTH_STRETCH))
        stretches.insert(f.measuredNs / 1000000);
    EXPECT_TRUE(stretches.count(2) && stretches.count(30)); // 2 ms + tLOW, 30 ms + tLOW
    ASSERT_FALSE(run.of(KORVEX_HEALTH_SMBUS_TIMEOUT).empty());
    std::set<std::pair<uint64_t, std::string>> timeouts; // each rule once per event
    for (const KorvexFinding &f : run.of(KORVEX_HEALTH_SMBUS_TIMEOUT))
        EXPECT_TRUE(timeouts.insert({f.eventIndex, std::string(f.detail)}).second) << f.detail;
    for (const KorvexFinding &f : run.of(KORVEX_HEALTH_STUCK_LOW)) // SDA low in a stretch is none
        EXPECT_EQ(std::strncmp(f.detail, "SCL ", 4), 0) << f.detail;
    EXPECT_EQ(run.worst(KORVEX_HEALTH_SMBUS_TIMEOUT), KORVEX_SEVERITY_ERROR);
    EXPECT_EQ(run.of(KORVEX_HEALTH_SMBUS_TIMEOUT)[0].limitNs, 25000000);

    // Spikes of one sample (100 ns at 10 MHz) and of 40 ns at 100 MHz (Fast
    // mode's tSP is 50 ns): taken as events without the filter, dropped and
    // reported with one a sample wider, let through by one just as wide.
    for (uint64_t rate : {10 * kMHz, 100 * kMHz}) {
        const uint64_t width = rate == 10 * kMHz ? 1 : 4;
        SimSetup spiky;
        spiky.rate = rate;
        spiky.ms = 100;
        spiky.health.mode = rate == 10 * kMHz ? KORVEX_HEALTH_MODE_SM : KORVEX_HEALTH_MODE_FM;
        spiky.faults.kinds = 1u << KORVEX_HEALTH_SPIKE;
        spiky.faults.spikeNs = width * 1000000000 / rate;
        spiky.chunk = rate == 10 * kMHz ? 3 : 0; // cut everywhere: holds must last
        const HealthRun plain = simulate(spiky);
        ASSERT_FALSE(plain.of(KORVEX_HEALTH_SPIKE).empty());
        for (const KorvexFinding &f : plain.of(KORVEX_HEALTH_SPIKE)) {
            EXPECT_EQ(f.severity, KORVEX_SEVERITY_ERROR) << f.detail;
            EXPECT_EQ(f.measuredNs, int64_t(spiky.faults.spikeNs));
            EXPECT_EQ(f.limitNs, rate == 10 * kMHz ? -1 : 50); // Standard mode has no tSP
        }
        spiky.health.glitchSamples = width + 1;
        const HealthRun filtered = simulate(spiky);
        // An SCL high pulse and the dip after it are two spikes; the filter
        // drops the first, and the second is then no pulse.
        const int32_t k = KORVEX_HEALTH_SPIKE;
        EXPECT_EQ(filtered.count(k, "SDA"), plain.count(k, "SDA"));
        EXPECT_EQ(2 * filtered.count(k, "SCL"), plain.count(k, "SCL"));
        EXPECT_TRUE(plain.count(k, "SDA") > 0 && plain.count(k, "SCL") > 0);
        EXPECT_EQ(filtered.worst(KORVEX_HEALTH_SPIKE), KORVEX_SEVERITY_WARNING);
        for (const KorvexFinding &f : filtered.of(KORVEX_HEALTH_SPIKE))
            EXPECT_NE(std::strstr(f.detail, f.detail[1] == 'C' ? "could have been taken as a bit"
                                                               : "taken as a START or STOP"),
                      nullptr)
                << f.detail;
        EXPECT_LT(filtered.events.size(), plain.events.size());
        spiky.health.glitchSamples = width;
        const HealthRun passed = simulate(spiky);
        ASSERT_EQ(passed.events.size(), plain.events.size());
        EXPECT_EQ(std::memcmp(passed.events.data(), plain.events.data(),
                              plain.events.size() * sizeof(I2CEvent)),
                  0);
    }
    EXPECT_EQ(HealthChecker::glitchSamples(50, 100 * kMHz), 5u);
    EXPECT_EQ(HealthChecker::glitchSamples(51, 100 * kMHz), 6u);
    EXPECT_EQ(HealthChecker::glitchSamples(0, 100 * kMHz), 0u);
    EXPECT_EQ(HealthChecker::glitchSamples(-1, 100 * kMHz), 0u);
}

TEST(HealthChecker, ModeIsTakenFromTheFirstSixteenClockPeriods)
{
    // START, then rises 10 samples apart at 10 MHz (1 MHz: Fast-mode Plus):
    // a byte's frame holds eight periods between its nine rises, so the
    // sixteenth period ends at the eighteenth rise.
    HealthConfig config;
    config.sampleRate = 10 * kMHz;
    HealthChecker checker(config);
    uint64_t at = 100;
    checker.edge(3, 2, at, 0); // START
    checker.edge(2, 0, at += 5, 1);
    checker.edge(0, 1, at += 2, 1); // SDA released: the bytes are 0xFF
    for (int rise = 1; rise <= 20; ++rise) {
        EXPECT_EQ(checker.mode(), rise <= 18 ? KORVEX_HEALTH_MODE_AUTO : KORVEX_HEALTH_MODE_FMPLUS)
            << rise;
        checker.advance(at + 5, 1 + rise / 9);
        EXPECT_EQ(checker.openEvent() == UINT64_MAX, rise > 18) << "queued until decided";
        checker.edge(1, 3, at += 3, 1 + rise / 9);
        checker.edge(3, 1, at += 5, 1 + rise / 9);
        at += 2;
    }
    std::vector<KorvexFinding> found;
    checker.take(found); // only tSU;DAT's 50 ns, below two samples
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].kind == KORVEX_HEALTH_T_SU_DAT &&
                found[0].severity == KORVEX_SEVERITY_UNRESOLVED);
    // No clock at all: nothing to say, not even of the sample rate.
    found.clear();
    HealthChecker idle(config);
    idle.finish(1000000, 0);
    idle.take(found);
    for (const KorvexFinding &f : found)
        ADD_FAILURE() << f.kindName << " " << f.detail;
    // In a transfer SDA low is stuck only while SCL is high (no clock).
    for (const bool clockLow : {false, true}) {
        HealthChecker hung(config);
        hung.edge(3, 2, 100, 0); // START
        if (clockLow)
            hung.edge(2, 0, 105, 1);
        hung.advance(105 + 260000, 1); // 26 ms
        found.clear();
        hung.take(found);
        EXPECT_EQ(found.size(), clockLow ? 0u : 1u);
        if (!clockLow) {
            EXPECT_STREQ(found[0].detail, "SDA stuck low for over 25 ms");
        }
    }
    // A line low when the capture ends: said, as info below the SMBus timeout.
    for (const uint8_t low : {1, 2}) {
        HealthChecker ending(config);
        ending.edge(3, low, 100, 0);
        ending.finish(1100, 0);
        found.clear();
        ending.take(found);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].kind, KORVEX_HEALTH_STUCK_LOW);
        EXPECT_EQ(found[0].severity, KORVEX_SEVERITY_INFO);
        EXPECT_EQ(found[0].measuredNs, 100000);
        EXPECT_STREQ(found[0].detail, low == 1 ? "SCL low to the end of the capture"
                                               : "SDA low to the end of the capture");
    }
}

// The recorded captures, as their raw samples show them.
HealthRun recorded(const std::string &path, int32_t mode = KORVEX_HEALTH_MODE_AUTO)
{
    CaptureFile file;
    std::string error;
    EXPECT_TRUE(file.open(dataPath(path), &error)) << error;
    I2CDecoderConfig config;
    EXPECT_TRUE(chooseI2CChannels(file, 0, config.sdaChannel, config.sclChannel, &error));
    HealthConfig health;
    health.mode = mode;
    HealthRun run;
    EXPECT_TRUE(decodeCaptureHealth(
        file, config, health,
        [&run](const I2CEvent *e, const uint64_t *, size_t n) {
            run.events.insert(run.events.end(), e, e + n);
            return true;
        },
        [&run](const KorvexFinding *f, size_t n) {
            for (size_t i = 0; i < n; ++i)
                EXPECT_GE(f[i].eventIndex, run.events.size()) << f[i].kindName;
            run.findings.insert(run.findings.end(), f, f + n);
            return true;
        },
        &run.mode, &error))
        << error;
    return run;
}

TEST(HealthChecker, RecordedCapturesShowTheirKnownFaults)
{
    // 16 MHz: four STARTs one whole clock pulse after an acknowledge; every
    // other repeated START is ordinary.
    HealthRun run = recorded("extra/8564je_nacks.sr");
    ASSERT_EQ(run.of(KORVEX_HEALTH_START_IN_BYTE).size(), 4u);
    for (const KorvexFinding &f : run.of(KORVEX_HEALTH_START_IN_BYTE))
        EXPECT_STREQ(f.detail, "START inside a byte: aborted after 1 bit");
    EXPECT_EQ(run.of(KORVEX_HEALTH_START_IN_BYTE)[3].sample, 6349859u);
    for (const KorvexFinding &f : run.findings)
        EXPECT_TRUE(f.severity >= KORVEX_SEVERITY_INFO || f.kind == KORVEX_HEALTH_START_IN_BYTE);

    // 400 kHz at 4 MHz: SCL low for 4 samples (1.0 us) against 1.3 us.
    run = recorded("extra/24aa025uid_seqrndread256.sr");
    EXPECT_EQ(run.mode, KORVEX_HEALTH_MODE_FM);
    ASSERT_FALSE(run.of(KORVEX_HEALTH_T_LOW).empty());
    for (const KorvexFinding &f : run.of(KORVEX_HEALTH_T_LOW)) {
        EXPECT_EQ(f.measuredNs, 1000);
        EXPECT_EQ(f.limitNs, 1300);
        EXPECT_EQ(f.severity, KORVEX_SEVERITY_WARNING);
    }
    EXPECT_EQ(run.worst(KORVEX_HEALTH_T_SU_DAT), KORVEX_SEVERITY_UNRESOLVED); // 100 ns < 2 samples

    // Standard mode with SCL high 2.75 to 3.25 us, and repeated STARTs after 250 ms idle.
    run = recorded("peer-suite/sensirion_sht2x/sensirion_sht21_humidity35.sr");
    EXPECT_EQ(run.mode, KORVEX_HEALTH_MODE_SM);
    EXPECT_EQ(run.worst(KORVEX_HEALTH_T_HIGH), KORVEX_SEVERITY_ERROR);
    for (const KorvexFinding &f : run.of(KORVEX_HEALTH_T_HIGH))
        EXPECT_TRUE(f.measuredNs >= 2750 && f.measuredNs <= 3250) << f.measuredNs;
    ASSERT_EQ(run.of(KORVEX_HEALTH_MISSING_STOP).size(), 6u);
    EXPECT_GT(run.of(KORVEX_HEALTH_MISSING_STOP)[0].measuredNs, 250000000);

    // 4 MHz: single-sample SCL dips on the idle bus once the traffic ends.
    run = recorded("extra/ad5258_read_once_write_continuously_triangle_0to255.sr");
    size_t idleDips = 0;
    for (const KorvexFinding &f : run.of(KORVEX_HEALTH_SPIKE))
        idleDips += f.measuredNs == 250 &&
                    std::string(f.detail) == "SCL low pulse, no effect on the decoding";
    EXPECT_GT(idleDips, 100u);

    // 200 kHz sampling: two samples per SCL period; said once, no timing verdict.
    run = recorded("peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr", KORVEX_HEALTH_MODE_SM);
    ASSERT_EQ(run.of(KORVEX_HEALTH_UNDERSAMPLED).size(), 1u);
    EXPECT_EQ(run.of(KORVEX_HEALTH_UNDERSAMPLED)[0].measuredNs, 10000);
    for (int32_t kind = KORVEX_HEALTH_T_LOW; kind <= KORVEX_HEALTH_F_SCL; ++kind)
        EXPECT_TRUE(run.of(kind).empty()) << kind;
    // Without a sample rate nothing is measured at all.
    run = recorded("peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz_no_samplerate.sr");
    for (const KorvexFinding &f : run.findings)
        EXPECT_TRUE(f.kind == KORVEX_HEALTH_UNDERSAMPLED ||
                    f.kind == KORVEX_HEALTH_SAME_SAMPLE_EDGE ||
                    f.kind == KORVEX_HEALTH_DATA_BEFORE_START)
            << f.kindName;
    EXPECT_EQ(run.of(KORVEX_HEALTH_UNDERSAMPLED).size(), 1u);
}

} // namespace
} // namespace korvex
