#include "healthchecker.h"

#include "healthkinds.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace korvex {

namespace {

constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();
constexpr uint8_t kSdaBit = 1, kSclBit = 2;
// A repeated START after both lines idled this long should have been a STOP
// and a START.
constexpr int64_t kIdleForStopNs = 1000000;
constexpr unsigned kBusClearClocks = 9;

// UM10204 table 10 and the SMBus standard, in ns: fSCL as its shortest
// period, tHD;STA, tLOW, tHIGH, tSU;STA, tHD;DAT, tSU;DAT, tSU;STO, tBUF,
// the rise time tr a one-threshold measurement may be off by, and tSP.
const ModeLimits kLimits[] = {
    {10000, 4000, 4700, 4000, 4700, 0, 250, 4000, 4700, 1000, 0},   // Standard mode
    {2500, 600, 1300, 600, 600, 0, 100, 600, 1300, 300, 50},        // Fast mode
    {1000, 260, 500, 260, 260, 0, 50, 260, 500, 120, 50},           // Fast-mode Plus
    {10000, 4000, 4700, 4000, 4700, 300, 250, 4000, 4700, 1000, 0}, // SMBus
};

const char *modeName(int32_t mode)
{
    switch (mode) {
    case KORVEX_HEALTH_MODE_FM:
        return "Fast mode";
    case KORVEX_HEALTH_MODE_FMPLUS:
        return "Fast-mode Plus";
    case KORVEX_HEALTH_MODE_SMBUS:
        return "SMBus";
    default:
        return "Standard mode";
    }
}

uint8_t crc8(uint8_t crc, uint8_t byte)
{
    crc ^= byte;
    for (int b = 0; b < 8; ++b)
        crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    return crc;
}

const char *effectText(uint8_t effect)
{
    switch (effect) {
    case 0:
        return "no effect on the decoding";
    case 1:
        return "a bit";
    case 2:
        return "a START";
    case 4:
        return "a STOP";
    case 6:
        return "a START and a STOP";
    default:
        return "a bit and a START or STOP";
    }
}

} // namespace

HealthChecker::HealthChecker(const HealthConfig &config) : m_config(config)
{
    m_periods.reserve(kDetectPeriods);
}

const ModeLimits &HealthChecker::limits(int32_t mode)
{
    switch (mode) {
    case KORVEX_HEALTH_MODE_FM:
        return kLimits[1];
    case KORVEX_HEALTH_MODE_FMPLUS:
        return kLimits[2];
    case KORVEX_HEALTH_MODE_SMBUS:
        return kLimits[3];
    default:
        return kLimits[0];
    }
}

uint64_t HealthChecker::glitchSamples(int64_t ns, uint64_t rate)
{
    if (ns <= 0 || rate == 0)
        return 0;
    // A pulse of n samples lasts n / rate: shorter than ns below this many.
    const __uint128_t product = static_cast<__uint128_t>(ns) * rate;
    return static_cast<uint64_t>((product + 999999999u) / 1000000000u);
}

int32_t HealthChecker::verdict(int64_t measuredNs, int64_t limitNs, int64_t riseNs,
                               int64_t resolutionNs)
{
    // Within one sample of the limit the samples cannot tell it was missed.
    const int64_t shortBy = limitNs - measuredNs;
    if (shortBy < resolutionNs)
        return -1;
    return shortBy <= riseNs + resolutionNs ? KORVEX_SEVERITY_WARNING : KORVEX_SEVERITY_ERROR;
}

int64_t HealthChecker::ns(uint64_t samples) const
{
    return m_config.sampleRate ? I2CDecoder::sampleToNs(samples, m_config.sampleRate) : -1;
}

void HealthChecker::add(int32_t kind, int32_t severity, uint64_t at, uint64_t eventIndex,
                        int64_t measured, int64_t limit, const char *detailFormat, ...)
{
    KorvexFinding f;
    std::memset(&f, 0, sizeof f);
    f.kind = kind;
    f.severity = severity;
    f.sample = at;
    f.timeNs = m_config.sampleRate ? I2CDecoder::sampleToNs(at, m_config.sampleRate) : 0;
    f.measuredNs = measured;
    f.limitNs = limit;
    f.resolutionNs = m_config.sampleRate ? (1000000000 + int64_t(m_config.sampleRate) - 1) /
                                               int64_t(m_config.sampleRate)
                                         : -1;
    f.eventIndex = eventIndex;
    std::snprintf(f.kindName, sizeof f.kindName, "%s", healthKindName(kind));
    va_list args;
    va_start(args, detailFormat);
    std::vsnprintf(f.detail, sizeof f.detail, detailFormat, args);
    va_end(args);
    m_found.push_back(f);
}

void HealthChecker::take(std::vector<KorvexFinding> &out)
{
    out.insert(out.end(), m_found.begin(), m_found.end());
    m_found.clear();
}

uint64_t HealthChecker::openEvent() const
{
    uint64_t open = kNone;
    for (const Measure &m : m_queue)
        open = std::min(open, m.eventIndex);
    if (m_sclHighInTransfer)
        open = std::min(open, m_riseEvent);
    if (m_startPending)
        open = std::min(open, m_startEvent);
    if (m_ackedRead)
        open = std::min(open, m_ackedReadEvent);
    if (m_pecOn && m_lastByteValid)
        open = std::min(open, m_lastByteEvent);
    if (m_tenBitPending)
        open = std::min(open, m_tenBitEvent);
    // An SDA pulse that may still turn out a spike names the START or STOP its
    // first edge emitted. (An SCL pulse that begins with an event is a high
    // one in a transfer, held above until SCL falls.)
    const uint64_t window = 2 + (m_config.sampleRate * 50 + 999999999) / 1000000000;
    if (m_haveEdge[kSdaLine] && m_position - m_edgeAt[kSdaLine] < window)
        open = std::min(open, m_edgeEvent[kSdaLine]);
    return open;
}

// --- Measurements --------------------------------------------------------

void HealthChecker::measure(const Measure &m)
{
    if (m_decided) {
        judge(m);
        return;
    }
    m_queue.push_back(m);
    if (m_queue.size() >= kMaxQueued)
        decide(true);
}

void HealthChecker::decide(bool force)
{
    if (m_decided || (!force && m_periods.size() < kDetectPeriods))
        return;
    m_decided = true;
    m_mode = m_config.mode;
    const uint64_t firstEvent =
        m_queue.empty() ? m_edgeEvent[kSclLine] : m_queue.front().eventIndex;
    const uint64_t firstAt = m_queue.empty() ? m_position : m_queue.front().at;
    if (!m_periods.empty()) {
        std::vector<uint64_t> sorted = m_periods;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        m_typicalPeriod = sorted[sorted.size() / 2];
    }
    if (m_config.sampleRate == 0) {
        m_timingOff = true;
        add(KORVEX_HEALTH_UNDERSAMPLED, KORVEX_SEVERITY_UNRESOLVED, firstAt, firstEvent, -1, -1,
            "no sample rate: timing checks are off");
    } else if (m_typicalPeriod > 0) {
        const int64_t periodNs = ns(m_typicalPeriod);
        if (m_mode == KORVEX_HEALTH_MODE_AUTO) {
            // Up to 10 % above a mode's clock still counts as that mode.
            m_mode = periodNs * 11 < 25000    ? KORVEX_HEALTH_MODE_FMPLUS
                     : periodNs * 11 < 100000 ? KORVEX_HEALTH_MODE_FM
                                              : KORVEX_HEALTH_MODE_SM;
        }
        if (m_typicalPeriod < kMinSamplesPerPeriod) {
            m_timingOff = true;
            add(KORVEX_HEALTH_UNDERSAMPLED, KORVEX_SEVERITY_UNRESOLVED, firstAt, firstEvent,
                periodNs, ns(kMinSamplesPerPeriod),
                "%llu samples per SCL period: timing checks are off",
                static_cast<unsigned long long>(m_typicalPeriod));
        }
    }
    if (m_mode == KORVEX_HEALTH_MODE_AUTO)
        m_mode = KORVEX_HEALTH_MODE_SM; // no clock seen: nothing depends on it
    std::vector<Measure> queued;
    queued.swap(m_queue);
    for (const Measure &m : queued)
        judge(m);
}

void HealthChecker::judge(const Measure &m)
{
    if (m.kind == KORVEX_HEALTH_SPIKE) {
        judgeSpike(m);
        return;
    }
    if (m.kind == KORVEX_HEALTH_STRETCH) {
        judgeStretch(m);
        return;
    }
    if (m_timingOff)
        return;
    const ModeLimits &l = limits(m_mode);
    int64_t limit = 0;
    switch (m.kind) {
    case KORVEX_HEALTH_F_SCL:
        limit = l.minPeriod;
        break;
    case KORVEX_HEALTH_T_HD_STA:
        limit = l.hdSta;
        break;
    case KORVEX_HEALTH_T_LOW:
        limit = l.low;
        break;
    case KORVEX_HEALTH_T_HIGH:
        limit = l.high;
        break;
    case KORVEX_HEALTH_T_SU_STA:
        limit = l.suSta;
        break;
    case KORVEX_HEALTH_T_HD_DAT:
        limit = l.hdDat;
        break;
    case KORVEX_HEALTH_T_SU_DAT:
        limit = l.suDat;
        break;
    case KORVEX_HEALTH_T_SU_STO:
        limit = l.suSto;
        break;
    case KORVEX_HEALTH_T_BUF:
        limit = l.buf;
        break;
    default:
        return;
    }
    if (limit <= 0)
        return;
    const int64_t measured = ns(m.samples);
    const int64_t resolution = ns(1) > 0 ? ns(1) : 1;
    if (limit < 2 * resolution) {
        const uint32_t bit = 1u << m.kind;
        if (!(m_unresolvedSaid & bit)) {
            m_unresolvedSaid |= bit;
            add(m.kind, KORVEX_SEVERITY_UNRESOLVED, m.at, m.eventIndex, measured, limit,
                "%s limit shorter than two samples: not judged", modeName(m_mode));
        }
        return;
    }
    const int32_t severity = verdict(measured, limit, l.rise, resolution);
    if (severity < 0)
        return;
    if (m.kind == KORVEX_HEALTH_F_SCL)
        add(m.kind, severity, m.at, m.eventIndex, measured, limit,
            "SCL at %.1f kHz, above the %s maximum", 1e6 / double(measured), modeName(m_mode));
    else
        add(m.kind, severity, m.at, m.eventIndex, measured, limit, "below the %s minimum",
            modeName(m_mode));
}

void HealthChecker::judgeSpike(const Measure &m)
{
    const int64_t width = ns(m.samples);
    const int64_t tsp = limits(m_mode).spike;
    // One sample is a spike only where the clock's halves take several samples.
    const bool oneSample = m.samples == 1 && !m_timingOff && m_typicalPeriod >= 8;
    if (!oneSample && !(tsp > 0 && width >= 0 && width < tsp))
        return;
    const char *line = m.line == kSclLine ? "SCL" : "SDA";
    const char *level = m.level ? "high" : "low";
    const int64_t limit = tsp > 0 ? tsp : -1;
    if (m.effect)
        add(KORVEX_HEALTH_SPIKE, KORVEX_SEVERITY_ERROR, m.at, m.eventIndex, width, limit,
            "%s %s pulse taken as %s", line, level, effectText(m.effect));
    else
        add(KORVEX_HEALTH_SPIKE, KORVEX_SEVERITY_INFO, m.at, m.eventIndex, width, limit,
            "%s %s pulse, %s", line, level, effectText(0));
}

void HealthChecker::judgeStretch(const Measure &m)
{
    if (m_typicalPeriod == 0 || m_config.sampleRate == 0)
        return;
    const uint64_t limit = kStretchFactor * m_typicalPeriod;
    if (m.samples <= limit)
        return;
    add(KORVEX_HEALTH_STRETCH, KORVEX_SEVERITY_INFO, m.at, m.eventIndex, ns(m.samples), ns(limit),
        "SCL held low %.3f ms", double(ns(m.samples)) / 1e6);
}

// --- Edges ---------------------------------------------------------------

void HealthChecker::suppressed(unsigned line, uint64_t from, uint64_t to, uint8_t levels,
                               uint64_t eventIndex)
{
    m_position = std::max(m_position, to);
    const bool sclHigh = levels & kSclBit;
    const char *could = line == kSclLine ? (m_inTransfer ? "a bit" : "nothing")
                        : sclHigh        ? "a START or STOP"
                                         : "nothing";
    add(KORVEX_HEALTH_SPIKE, KORVEX_SEVERITY_WARNING, from, eventIndex, ns(to - from),
        limits(mode()).spike > 0 ? limits(mode()).spike : -1,
        "%s %s pulse of %llu samples filtered out; could have been taken as %s",
        line == kSclLine ? "SCL" : "SDA", (levels >> line) & 1 ? "low" : "high",
        static_cast<unsigned long long>(to - from), could);
}

uint64_t HealthChecker::stuckSince(unsigned line) const
{
    if (!m_low[line])
        return kNone;
    if (!m_inTransfer)
        return m_lowSince[line];
    // In a transfer SCL low is a stretch (SMBus timeouts), and SDA low counts
    // only while SCL is high: the bus hangs with no clock.
    if (line == kSdaLine && !m_low[kSclLine])
        return std::max(m_lowSince[kSdaLine], m_edgeAt[kSclLine]);
    return kNone;
}

void HealthChecker::edge(uint8_t before, uint8_t after, uint64_t position, uint64_t eventIndex)
{
    const uint8_t changed = static_cast<uint8_t>(before ^ after);
    // A line that rises after a long low: told now with its length, unless
    // advance() told it already while it lasted.
    for (unsigned line = 0; line < 2; ++line) {
        const uint64_t since = stuckSince(line);
        if ((changed & after & (1u << line)) && since != kNone && !m_saidStuck[line] &&
            m_config.sampleRate && ns(position - since) > int64_t(kSmbusTimeoutNs))
            add(KORVEX_HEALTH_STUCK_LOW, KORVEX_SEVERITY_ERROR, since, eventIndex,
                ns(position - since), kSmbusTimeoutNs, "%s held low %.1f ms",
                line == kSclLine ? "SCL" : "SDA", double(ns(position - since)) / 1e6);
    }
    m_position = position;
    const bool sclHigh = after & kSclBit;
    const bool sclStayedHigh = sclHigh && (before & kSclBit);
    const bool sdaFell = (changed & kSdaBit) && !(after & kSdaBit);
    const bool sdaRose = (changed & kSdaBit) && (after & kSdaBit);
    if (changed == (kSdaBit | kSclBit))
        add(KORVEX_HEALTH_SAME_SAMPLE_EDGE, KORVEX_SEVERITY_UNRESOLVED, position, eventIndex, 0, -1,
            "SDA %s and SCL %s in one sample: their order is unknown", sdaRose ? "rose" : "fell",
            sclHigh ? "rose" : "fell");

    Effect effect = kNoEffect;
    if (sclStayedHigh && sdaFell) {
        startSeen(position, eventIndex);
        effect = kStart;
    } else if (m_inTransfer && (changed & kSclBit) && sclHigh) {
        sclRose(after, position, eventIndex);
        effect = kBit;
    } else if (m_inTransfer && sclStayedHigh && sdaRose) {
        stopSeen(position, eventIndex);
        effect = kStop;
    } else if (m_inTransfer && (changed & kSclBit)) {
        sclFell(position, eventIndex);
    } else if (!m_inTransfer && (changed & kSclBit)) {
        if (!m_sawStart && !m_saidDataBeforeStart && sclHigh) {
            m_saidDataBeforeStart = true;
            add(KORVEX_HEALTH_DATA_BEFORE_START, KORVEX_SEVERITY_INFO, position, eventIndex, -1, -1,
                "SCL clocks before the first START: the capture began mid-transfer");
        }
        if (sclHigh)
            ++m_outsideClocks;
    }
    if (m_inTransfer && (changed & kSdaBit) && !sclHigh && !(changed & kSclBit)) {
        // Data changing while SCL is low: tHD;DAT from the fall, once per low period.
        if (m_fallValid && !m_sdaSinceFall)
            measure({KORVEX_HEALTH_T_HD_DAT, 0, 0, 0, m_fallAt, position - m_fallAt, m_fallEvent});
        m_sdaSinceFall = true;
        m_sdaAt = position;
    }
    for (unsigned line = 0; line < 2; ++line) {
        if (changed & (1u << line))
            lineEdge(line, (after >> line) & 1, position, eventIndex, effect, before);
    }
}

void HealthChecker::lineEdge(unsigned line, bool level, uint64_t position, uint64_t eventIndex,
                             Effect effect, uint8_t before)
{
    if (m_haveEdge[line]) {
        const uint64_t width = position - m_edgeAt[line];
        const uint64_t window = 2 + (m_config.sampleRate * 50 + 999999999) / 1000000000;
        if (width < window) {
            Measure m{KORVEX_HEALTH_SPIKE,
                      static_cast<uint8_t>(line),
                      static_cast<uint8_t>(m_edgeEffect[line] | effect),
                      static_cast<uint8_t>((before >> line) & 1),
                      m_edgeAt[line],
                      width,
                      m_edgeEvent[line]};
            measure(m);
        }
    }
    if (level)
        m_saidStuck[line] = false;
    m_low[line] = !level;
    if (!level)
        m_lowSince[line] = position;
    m_haveEdge[line] = true;
    m_edgeAt[line] = position;
    m_edgeEvent[line] = eventIndex;
    m_edgeEffect[line] = effect;
}

void HealthChecker::startSeen(uint64_t position, uint64_t eventIndex)
{
    if (m_inTransfer) {
        if (m_ninthHigh)
            add(KORVEX_HEALTH_START_IN_BYTE, KORVEX_SEVERITY_ERROR, position, eventIndex, -1, -1,
                "START in the ACK slot: aborted after 8 bits");
        else if (m_pulses > 0)
            add(KORVEX_HEALTH_START_IN_BYTE, KORVEX_SEVERITY_ERROR, position, eventIndex, -1, -1,
                "START inside a byte: aborted after %u bit%s", m_pulses, m_pulses == 1 ? "" : "s");
        lastReadCheck();
        if (m_sclHighInTransfer) {
            const uint64_t sdaHighSince = m_low[kSdaLine] ? position : m_edgeAt[kSdaLine];
            const uint64_t idle = position - std::max(m_riseAt, sdaHighSince);
            if (m_config.sampleRate && ns(idle) >= kIdleForStopNs)
                add(KORVEX_HEALTH_MISSING_STOP, KORVEX_SEVERITY_WARNING, position, eventIndex,
                    ns(idle), kIdleForStopNs,
                    "repeated START after %.3f ms of idle bus (a STOP is due after %.0f ms)",
                    double(ns(idle)) / 1e6, kIdleForStopNs / 1e6);
            measure({KORVEX_HEALTH_T_SU_STA, 0, 0, 0, m_riseAt, position - m_riseAt, eventIndex});
        }
    } else {
        if (m_stopValid)
            measure({KORVEX_HEALTH_T_BUF, 0, 0, 0, m_stopAt, position - m_stopAt, eventIndex});
        if (m_sawStart && m_outsideClocks >= kBusClearClocks)
            add(KORVEX_HEALTH_BUS_CLEAR, KORVEX_SEVERITY_INFO, position, eventIndex, -1, -1,
                "%u clock pulses with no transfer before this START", m_outsideClocks);
        // A new transfer: SMBus stretch totals and the PEC start again.
        m_stretchTransfer = 0;
        m_saidTransferTimeout = false;
        m_crc = 0;
        m_lastByteValid = false;
        m_bytes = 0;
        m_pecOn = false;
        m_tenBitPending = false;
    }
    m_inTransfer = true;
    m_sawStart = true;
    m_outsideClocks = 0;
    m_startPending = true;
    m_startAt = position;
    m_startEvent = eventIndex;
    m_bits = m_pulses = 0;
    m_ninthHigh = false;
    m_addressByte = true;
    m_fallValid = false;
}

void HealthChecker::stopSeen(uint64_t position, uint64_t eventIndex)
{
    if (m_ninthHigh)
        add(KORVEX_HEALTH_STOP_IN_BYTE, KORVEX_SEVERITY_ERROR, position, eventIndex, -1, -1,
            "STOP in the ACK slot: the byte is cut after 8 bits");
    else if (m_pulses > 0)
        add(KORVEX_HEALTH_STOP_IN_BYTE, KORVEX_SEVERITY_ERROR, position, eventIndex, -1, -1,
            "STOP inside a byte: cut after %u bit%s", m_pulses, m_pulses == 1 ? "" : "s");
    else if (m_bytes == 0)
        add(KORVEX_HEALTH_EMPTY_TRANSACTION, KORVEX_SEVERITY_WARNING, position, eventIndex, -1, -1,
            "START then STOP with no byte between");
    lastReadCheck();
    if (m_sclHighInTransfer)
        measure({KORVEX_HEALTH_T_SU_STO, 0, 0, 0, m_riseAt, position - m_riseAt, eventIndex});
    if (m_pecOn && m_lastByteValid && m_bytes >= 2 && m_crc != m_lastByte)
        add(KORVEX_HEALTH_PEC, KORVEX_SEVERITY_ERROR, position, m_lastByteEvent, -1, -1,
            "PEC 0x%02X to address 0x%02X, expected 0x%02X", m_lastByte, m_address, m_crc);
    if (m_tenBitPending) {
        m_tenBitPending = false;
        add(KORVEX_HEALTH_TEN_BIT_ADDRESS, KORVEX_SEVERITY_INFO, m_tenBitAt, m_tenBitEvent, -1, -1,
            "10-bit address 0x%X.. with no second byte", m_tenBitHigh);
    }
    m_pecOn = false;
    m_inTransfer = false;
    m_startPending = false;
    m_sclHighInTransfer = false;
    m_stopValid = true;
    m_stopAt = position;
    m_outsideClocks = 0;
}

void HealthChecker::lastReadCheck()
{
    if (!m_ackedRead)
        return;
    m_ackedRead = false;
    if (m_pulses == 0 && !m_ninthHigh)
        add(KORVEX_HEALTH_LAST_READ_ACKED, KORVEX_SEVERITY_WARNING, m_ackedReadAt, m_ackedReadEvent,
            -1, -1, "the master acknowledged the last byte it read");
}

void HealthChecker::sclRose(uint8_t after, uint64_t position, uint64_t eventIndex)
{
    if (m_fallValid) {
        const uint64_t low = position - m_fallAt;
        measure({KORVEX_HEALTH_T_LOW, 0, 0, 0, m_fallAt, low, m_fallEvent});
        measure({KORVEX_HEALTH_STRETCH, 0, 0, 0, m_fallAt, low, m_fallEvent});
        if (m_sdaSinceFall)
            measure({KORVEX_HEALTH_T_SU_DAT, 0, 0, 0, m_sdaAt, position - m_sdaAt, m_fallEvent});
        if (m_config.sampleRate) {
            const int64_t lowNs = ns(low);
            const bool smbus = m_config.mode == KORVEX_HEALTH_MODE_SMBUS;
            if (lowNs > int64_t(kSmbusTimeoutNs))
                add(KORVEX_HEALTH_SMBUS_TIMEOUT,
                    smbus ? KORVEX_SEVERITY_ERROR : KORVEX_SEVERITY_WARNING, m_fallAt, m_fallEvent,
                    lowNs, kSmbusTimeoutNs, "SCL low %.1f ms, past the SMBus timeout",
                    double(lowNs) / 1e6);
            if (smbus) {
                const uint64_t extended =
                    uint64_t(std::max<int64_t>(0, lowNs - limits(m_mode).low));
                m_stretchTransfer += extended;
                m_stretchByte += extended;
                if (m_stretchTransfer > kSmbusTimeoutNs && !m_saidTransferTimeout) {
                    m_saidTransferTimeout = true;
                    add(KORVEX_HEALTH_SMBUS_TIMEOUT, KORVEX_SEVERITY_ERROR, m_fallAt, m_fallEvent,
                        int64_t(m_stretchTransfer), kSmbusTimeoutNs,
                        "clock stretched %.1f ms in one transfer (tLOW:SEXT)",
                        double(m_stretchTransfer) / 1e6);
                }
                if (m_stretchByte > kSmbusByteNs && !m_saidByteTimeout) {
                    m_saidByteTimeout = true;
                    add(KORVEX_HEALTH_SMBUS_TIMEOUT, KORVEX_SEVERITY_ERROR, m_fallAt, m_fallEvent,
                        int64_t(m_stretchByte), kSmbusByteNs,
                        "clock stretched %.1f ms in one byte (tLOW:MEXT)",
                        double(m_stretchByte) / 1e6);
                }
            }
        }
    }
    if (m_bits > 0) {
        // A period within one byte's frame: the gap between bytes is no clock.
        const uint64_t period = position - m_riseAt;
        measure({KORVEX_HEALTH_F_SCL, 0, 0, 0, m_riseAt, period, eventIndex});
        if (!m_decided) {
            m_periods.push_back(period);
            decide(false);
        }
    }
    m_riseAt = position;
    m_riseEvent = eventIndex;
    m_sclHighInTransfer = true;
    const unsigned bit = after & kSdaBit;
    if (m_bits < 8) {
        m_byte = static_cast<uint8_t>((m_byte << 1) | bit);
        if (++m_bits == 8)
            byteDone(eventIndex, position);
    } else {
        ++m_bits;
        m_ninthHigh = true;
        if (m_read && !m_ackForAddress && !bit) {
            m_ackedRead = true;
            m_ackedReadEvent = eventIndex;
            m_ackedReadAt = position;
        }
    }
}

void HealthChecker::sclFell(uint64_t position, uint64_t eventIndex)
{
    if (m_sclHighInTransfer)
        measure({KORVEX_HEALTH_T_HIGH, 0, 0, 0, m_riseAt, position - m_riseAt, m_riseEvent});
    if (m_startPending) {
        m_startPending = false;
        measure({KORVEX_HEALTH_T_HD_STA, 0, 0, 0, m_startAt, position - m_startAt, m_startEvent});
    }
    m_sclHighInTransfer = false;
    if (m_ninthHigh) {
        endOfByteFrame();
    } else if (m_bits > m_pulses) {
        ++m_pulses;
        m_ackedRead = false; // a bit of another byte: the acknowledged one was not the last
    }
    m_fallValid = true;
    m_fallAt = position;
    m_fallEvent = eventIndex;
    m_sdaSinceFall = false;
}

void HealthChecker::endOfByteFrame()
{
    m_bits = m_pulses = 0;
    m_ninthHigh = false;
    m_stretchByte = 0;
    m_saidByteTimeout = false;
}

void HealthChecker::byteDone(uint64_t eventIndex, uint64_t position)
{
    const uint8_t b = m_byte;
    m_ackForAddress = m_addressByte;
    if (m_lastByteValid)
        m_crc = crc8(m_crc, m_lastByte);
    m_lastByte = b;
    m_lastByteValid = true;
    m_lastByteEvent = eventIndex;
    if (m_tenBitPending) {
        m_tenBitPending = false;
        m_lastTenBit = static_cast<uint16_t>((m_tenBitHigh << 8) | b);
        add(KORVEX_HEALTH_TEN_BIT_ADDRESS, KORVEX_SEVERITY_INFO, m_tenBitAt, m_tenBitEvent, -1, -1,
            "10-bit address 0x%03X, write", m_lastTenBit);
    }
    if (m_addressByte) {
        m_read = b & 1;
        if (m_bytes == 0) {
            m_address = static_cast<uint8_t>(b >> 1);
            m_pecOn = m_config.pec[m_address];
        }
        if (b == 0x00)
            add(KORVEX_HEALTH_GENERAL_CALL, KORVEX_SEVERITY_INFO, position, eventIndex, -1, -1,
                "general call");
        else if (b == 0x01)
            add(KORVEX_HEALTH_START_BYTE, KORVEX_SEVERITY_INFO, position, eventIndex, -1, -1,
                "START byte");
        else if ((b & 0xF8) == 0x08)
            add(KORVEX_HEALTH_HS_MASTER_CODE, KORVEX_SEVERITY_INFO, position, eventIndex, -1, -1,
                "Hs-mode master code %u: high-speed transfer follows", b & 7u);
        else if ((b & 0xF8) == 0xF0) {
            const uint8_t high = static_cast<uint8_t>((b >> 1) & 3);
            if (b & 1) {
                if (m_lastTenBit >> 8 == high)
                    add(KORVEX_HEALTH_TEN_BIT_ADDRESS, KORVEX_SEVERITY_INFO, position, eventIndex,
                        -1, -1, "10-bit address 0x%03X, read", m_lastTenBit);
                else
                    add(KORVEX_HEALTH_TEN_BIT_ADDRESS, KORVEX_SEVERITY_INFO, position, eventIndex,
                        -1, -1, "10-bit address 0x%X.., read", high);
            } else {
                m_tenBitPending = true;
                m_tenBitHigh = high;
                m_tenBitEvent = eventIndex;
                m_tenBitAt = position;
            }
        }
    }
    m_addressByte = false;
    ++m_bytes;
}

// --- Time passing --------------------------------------------------------

void HealthChecker::advance(uint64_t position, uint64_t eventCount)
{
    m_position = std::max(m_position, position);
    if (!m_config.sampleRate)
        return;
    for (unsigned line = 0; line < 2; ++line) {
        const uint64_t since = stuckSince(line);
        if (since == kNone || m_saidStuck[line])
            continue;
        const int64_t low = ns(m_position - since);
        if (low > int64_t(kSmbusTimeoutNs)) {
            m_saidStuck[line] = true;
            add(KORVEX_HEALTH_STUCK_LOW, KORVEX_SEVERITY_ERROR, since, eventCount, low,
                kSmbusTimeoutNs, "%s stuck low for over %.0f ms", line == kSclLine ? "SCL" : "SDA",
                kSmbusTimeoutNs / 1e6);
        }
    }
}

void HealthChecker::finish(uint64_t position, uint64_t eventCount)
{
    advance(position, eventCount);
    decide(true);
    for (unsigned line = 0; line < 2; ++line) {
        if (!m_low[line] || m_saidStuck[line])
            continue;
        add(KORVEX_HEALTH_STUCK_LOW, KORVEX_SEVERITY_INFO, m_lowSince[line], eventCount,
            ns(m_position - m_lowSince[line]), kSmbusTimeoutNs, "%s low to the end of the capture",
            line == kSclLine ? "SCL" : "SDA");
    }
    if (m_tenBitPending)
        add(KORVEX_HEALTH_TEN_BIT_ADDRESS, KORVEX_SEVERITY_INFO, m_tenBitAt, m_tenBitEvent, -1, -1,
            "10-bit address 0x%X.. with no second byte", m_tenBitHigh);
}

} // namespace korvex
