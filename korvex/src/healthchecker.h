// Bus health: a second look at the edges the decoder acts on, against the
// limits of the I2C-bus (UM10204) and SMBus standards. It follows the decoder's
// START/bit/STOP rules itself (so it never changes an event) and reports each
// fault as a KorvexFinding naming the event it belongs to.
//
// Timing is judged by the mode chosen or, in auto mode, by the one the median
// SCL period of the first clocks points to; measurements wait in a short
// queue until then. Memory stays bounded whatever the capture's length.
#pragma once

#include "i2cdecoder.h"

#include <korvex/korvexhealth.h>

#include <array>
#include <cstdint>
#include <vector>

namespace korvex {

struct HealthConfig
{
    uint64_t sampleRate = 0; // Hz; 0: no timing at all
    int32_t mode = KORVEX_HEALTH_MODE_AUTO;
    std::array<bool, 128> pec{}; // 7-bit addresses whose transfers end with a PEC byte
    uint64_t glitchSamples = 0;  // the decoder's glitch filter, in samples (0: off)
};

// The limits of one mode, in ns (0: no such limit).
struct ModeLimits
{
    int64_t minPeriod, hdSta, low, high, suSta, hdDat, suDat, suSto, buf, rise, spike;
};

class HealthChecker final : public EdgeObserver
{
public:
    static constexpr uint64_t kSmbusTimeoutNs = 25000000; // tTIMEOUT, tLOW:SEXT
    static constexpr uint64_t kSmbusByteNs = 10000000;    // tLOW:MEXT
    static constexpr size_t kDetectPeriods = 16;          // SCL periods the auto mode is taken from
    static constexpr size_t kMaxQueued = 4096;            // measurements waiting for the mode
    // A stretch: SCL low longer than this many typical SCL periods.
    static constexpr unsigned kStretchFactor = 4;
    static constexpr uint64_t kMinSamplesPerPeriod = 4;

    explicit HealthChecker(const HealthConfig &config);

    static const ModeLimits &limits(int32_t mode);
    // The glitch filter's width in samples for `ns` at `rate` Hz (0: off).
    static uint64_t glitchSamples(int64_t ns, uint64_t rate);
    // Severity of a duration against a minimum: -1 when it meets it.
    static int32_t verdict(int64_t measuredNs, int64_t limitNs, int64_t riseNs,
                           int64_t resolutionNs);

    void edge(uint8_t before, uint8_t after, uint64_t position, uint64_t eventIndex) override;
    void suppressed(unsigned line, uint64_t from, uint64_t to, uint8_t levels,
                    uint64_t eventIndex) override;

    // Every sample before `position` has been seen: pulses that have lasted
    // are no spikes, so the events they emitted may go.
    void advance(uint64_t position, uint64_t eventCount);
    // The capture ended after `position` samples with `eventCount` events.
    void finish(uint64_t position, uint64_t eventCount);

    // Findings since the last call, moved into `out` (appended).
    void take(std::vector<KorvexFinding> &out);

    // The lowest event index a later finding may still name; UINT64_MAX when
    // none: events from this index on must wait for their findings.
    uint64_t openEvent() const;

    // The mode timing is judged by: the chosen one, or the detected one
    // (KORVEX_HEALTH_MODE_AUTO until enough clocks were seen).
    int32_t mode() const { return m_decided ? m_mode : m_config.mode; }

private:
    enum Line : unsigned { kSdaLine = 0, kSclLine = 1 };
    enum Effect : uint8_t { kNoEffect, kBit, kStart, kStop };

    struct Measure
    {
        int32_t kind;
        uint8_t line;   // spikes: the line
        uint8_t effect; // spikes: what the pulse's first edge did
        uint8_t level;  // spikes: the line's level during the pulse
        uint64_t at;
        uint64_t samples;
        uint64_t eventIndex;
    };

    int64_t ns(uint64_t samples) const;
    void add(int32_t kind, int32_t severity, uint64_t at, uint64_t eventIndex, int64_t measured,
             int64_t limit, const char *detailFormat, ...) __attribute__((format(printf, 8, 9)));
    void measure(const Measure &m);
    void judge(const Measure &m);
    void judgeSpike(const Measure &m);
    void judgeStretch(const Measure &m);
    void decide(bool atEnd);
    void startSeen(uint64_t position, uint64_t eventIndex);
    void stopSeen(uint64_t position, uint64_t eventIndex);
    void sclRose(uint8_t after, uint64_t position, uint64_t eventIndex);
    void sclFell(uint64_t position, uint64_t eventIndex);
    void byteDone(uint64_t eventIndex, uint64_t position);
    void endOfByteFrame();
    void lastReadCheck();
    // Start of the low period of `line` that counts as stuck, UINT64_MAX for none.
    uint64_t stuckSince(unsigned line) const;
    void lineEdge(unsigned line, bool level, uint64_t position, uint64_t eventIndex, Effect effect,
                  uint8_t before);

    HealthConfig m_config;
    int32_t m_mode = KORVEX_HEALTH_MODE_SM;
    bool m_decided = false;
    bool m_timingOff = false;           // undersampled or no sample rate
    uint64_t m_typicalPeriod = 0;       // samples, median of the first periods
    uint32_t m_unresolvedSaid = 0;      // bit per kind: "cannot judge" said once
    std::vector<uint64_t> m_periods;    // for the auto mode
    std::vector<Measure> m_queue;       // waiting for the mode
    std::vector<KorvexFinding> m_found; // not yet taken

    // Lines.
    uint64_t m_position = 0;
    bool m_haveEdge[2] = {false, false};
    uint64_t m_edgeAt[2] = {0, 0};
    uint64_t m_edgeEvent[2] = {0, 0};
    Effect m_edgeEffect[2] = {kNoEffect, kNoEffect};
    bool m_low[2] = {false, false};
    bool m_saidStuck[2] = {false, false};
    uint64_t m_lowSince[2] = {0, 0};

    // Protocol, following the decoder.
    bool m_inTransfer = false;
    bool m_sawStart = false;
    bool m_saidDataBeforeStart = false;
    unsigned m_outsideClocks = 0;
    bool m_startPending = false; // tHD;STA still to be measured
    uint64_t m_startAt = 0, m_startEvent = 0;
    bool m_stopValid = false;
    uint64_t m_stopAt = 0;
    bool m_riseValid = false; // an SCL rise in this transfer
    uint64_t m_riseAt = 0, m_riseEvent = 0;
    bool m_sclHighInTransfer = false;
    bool m_fallValid = false;
    uint64_t m_fallAt = 0, m_fallEvent = 0;
    bool m_sdaSinceFall = false;
    uint64_t m_sdaAt = 0;
    unsigned m_bits = 0;      // rises in the current byte frame, 0..9
    unsigned m_pulses = 0;    // whole pulses (rise and fall) in the frame
    bool m_ninthHigh = false; // the ACK slot's clock is high
    uint8_t m_byte = 0;
    unsigned m_bytes = 0; // whole bytes since the START
    bool m_addressByte = true;
    bool m_ackForAddress = false; // the ACK slot under way follows the address byte
    bool m_read = false;
    uint8_t m_address = 0; // first address byte of the transfer
    bool m_pecOn = false;
    uint8_t m_crc = 0; // over every byte but the last
    uint8_t m_lastByte = 0;
    uint64_t m_lastByteEvent = 0;
    bool m_lastByteValid = false;
    bool m_tenBitPending = false;
    uint64_t m_tenBitEvent = 0, m_tenBitAt = 0;
    uint8_t m_tenBitHigh = 0;
    uint16_t m_lastTenBit = 0xFFFF; // last 10-bit address written, for a later read
    bool m_ackedRead = false;       // the master ACKed a byte it read
    uint64_t m_ackedReadEvent = 0, m_ackedReadAt = 0;
    uint64_t m_stretchTransfer = 0, m_stretchByte = 0; // samples beyond tLOW, SMBus
    bool m_saidTransferTimeout = false, m_saidByteTimeout = false;
};

} // namespace korvex
