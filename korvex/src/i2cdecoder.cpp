#include "i2cdecoder.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace korvex {

namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr uint64_t kNsPerSecond = 1000000000ull;

inline uint64_t load64(const uint8_t *p)
{
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// One set bit per sample in a 64-bit word of `unitSize`-byte samples.
uint64_t replicator(unsigned unitSize)
{
    switch (unitSize) {
    case 1:
        return 0x0101010101010101ull;
    case 2:
        return 0x0001000100010001ull;
    case 4:
        return 0x0000000100000001ull;
    default:
        return 1;
    }
}

bool littleEndianHost()
{
    const uint16_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

} // namespace

int64_t I2CDecoder::sampleToNs(uint64_t sample, uint64_t rate)
{
    if (rate == 0)
        return 0;
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    const uint64_t seconds = sample / rate;
    const uint64_t rest = sample % rate;
    if (seconds > kMax / kNsPerSecond)
        return std::numeric_limits<int64_t>::max();
    // rest < rate, so the fraction is below one second; the product only
    // needs 128 bits for rates above ~18 GHz.
    const uint64_t fraction =
        rest <= std::numeric_limits<uint64_t>::max() / kNsPerSecond
            ? rest * kNsPerSecond / rate
            : static_cast<uint64_t>(static_cast<Uint128>(rest) * kNsPerSecond / rate);
    const uint64_t ns = seconds * kNsPerSecond + fraction;
    return ns > kMax ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(ns);
}

bool I2CDecoder::validate(const I2CDecoderConfig &config, std::string *error)
{
    auto fail = [error](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    if (config.unitSize == 0 || config.unitSize > kMaxUnitSize)
        return fail("unit size " + std::to_string(config.unitSize) + " is not 1 to " +
                    std::to_string(kMaxUnitSize) + " bytes");
    const unsigned channels = config.unitSize * 8;
    if (config.sdaChannel >= channels || config.sclChannel >= channels)
        return fail("channel D" + std::to_string(std::max(config.sdaChannel, config.sclChannel)) +
                    " is outside a sample of " + std::to_string(channels) + " channels");
    if (config.sdaChannel == config.sclChannel)
        return fail("SDA and SCL are the same channel D" + std::to_string(config.sdaChannel));
    return true;
}

bool I2CDecoder::configure(const I2CDecoderConfig &config, std::string *error)
{
    if (!validate(config, error))
        return false;
    m_config = config;
    m_sdaByte = config.sdaChannel / 8;
    m_sdaShift = config.sdaChannel % 8;
    m_sclByte = config.sclChannel / 8;
    m_sclShift = config.sclChannel % 8;
    const unsigned u = config.unitSize;
    m_wordScan = littleEndianHost() && (u == 1 || u == 2 || u == 4 || u == 8);
    m_wordMask = m_wordScan
                     ? ((1ull << config.sdaChannel) | (1ull << config.sclChannel)) * replicator(u)
                     : 0;
    reset();
    return true;
}

void I2CDecoder::reset()
{
    m_position = 0;
    m_haveLevels = m_config.assumeIdle;
    m_levels = kSda | kScl;
    m_inTransfer = false;
    m_firstByte = false;
    m_bitCount = 0;
    m_byte = 0;
    m_byteStart = 0;
    m_partialBytes = 0;
    m_eventCount = 0;
    m_decoded = kSda | kScl;
    m_pending[0] = m_pending[1] = false;
}

uint8_t I2CDecoder::levelsOf(const uint8_t *unit) const
{
    return static_cast<uint8_t>(((unit[m_sdaByte] >> m_sdaShift) & 1u) |
                                (((unit[m_sclByte] >> m_sclShift) & 1u) << 1));
}

void I2CDecoder::feed(const uint8_t *data, size_t bytes, std::vector<I2CEvent> &events,
                      std::vector<uint64_t> *samples)
{
    if (!data || bytes == 0)
        return;
    m_events = &events;
    m_samples = samples;
    const unsigned u = m_config.unitSize;
    if (m_partialBytes > 0) {
        const size_t take = std::min<size_t>(u - m_partialBytes, bytes);
        std::memcpy(m_partial + m_partialBytes, data, take);
        m_partialBytes += static_cast<unsigned>(take);
        data += take;
        bytes -= take;
        if (m_partialBytes < u)
            return;
        m_partialBytes = 0;
        decodeEach(m_partial, 1);
    }
    const size_t whole = bytes / u;
    decodeWhole(data, whole);
    const size_t rest = bytes - whole * u;
    if (rest > 0) {
        std::memcpy(m_partial, data + whole * u, rest);
        m_partialBytes = static_cast<unsigned>(rest);
    }
    if (m_config.glitchSamples > 1)
        commitPending(m_position);
    m_events = nullptr;
    m_samples = nullptr;
}

void I2CDecoder::decodeWhole(const uint8_t *data, size_t count)
{
    if (count == 0)
        return;
    if (!m_haveLevels) {
        // Without an assumed idle bus, the first sample only sets the levels.
        m_levels = m_decoded = levelsOf(data);
        m_haveLevels = true;
    }
    if (m_wordScan)
        decodeWords(data, count);
    else
        decodeEach(data, count);
}

// Scans whole 64-bit words for a change of either watched line and hands only
// the samples where one changes to step(); on recorded traffic almost every
// word is skipped without looking at its samples one by one.
void I2CDecoder::decodeWords(const uint8_t *data, size_t count)
{
    const unsigned u = m_config.unitSize;
    const size_t perWord = 8 / u;
    const uint64_t mask = m_wordMask;
    const uint64_t rep = replicator(u);
    const uint64_t sdaBit = 1ull << m_config.sdaChannel;
    const uint64_t sclBit = 1ull << m_config.sclChannel;
    auto expected = [&](uint8_t levels) {
        return (((levels & kSda) ? sdaBit : 0) | ((levels & kScl) ? sclBit : 0)) * rep;
    };
    const uint64_t base = m_position;
    uint64_t expect = expected(m_levels);
    size_t i = 0;
    while (i + perWord <= count) {
        while (i + 4 * perWord <= count) {
            const uint8_t *p = data + i * u;
            const uint64_t any = (load64(p) ^ expect) | (load64(p + 8) ^ expect) |
                                 (load64(p + 16) ^ expect) | (load64(p + 24) ^ expect);
            if (any & mask)
                break;
            i += 4 * perWord;
        }
        if (i + perWord > count)
            break;
        const uint64_t diff = (load64(data + i * u) ^ expect) & mask;
        if (!diff) {
            i += perWord;
            continue;
        }
        i += static_cast<size_t>(__builtin_ctzll(diff)) / (8 * u);
        step(levelsOf(data + i * u), base + i);
        expect = expected(m_levels);
        ++i;
    }
    m_position = base + i;
    decodeEach(data + i * u, count - i);
}

void I2CDecoder::decodeEach(const uint8_t *data, size_t count)
{
    const unsigned u = m_config.unitSize;
    if (!m_haveLevels && count > 0) {
        m_levels = m_decoded = levelsOf(data);
        m_haveLevels = true;
    }
    for (size_t i = 0; i < count; ++i) {
        const uint8_t levels = levelsOf(data + i * u);
        if (levels != m_levels)
            step(levels, m_position + i);
    }
    m_position += count;
}

void I2CDecoder::flush(std::vector<I2CEvent> &events, std::vector<uint64_t> *samples)
{
    m_events = &events;
    m_samples = samples;
    commitPending(std::numeric_limits<uint64_t>::max());
    m_events = nullptr;
    m_samples = nullptr;
}

void I2CDecoder::step(uint8_t levels, uint64_t position)
{
    if (m_config.glitchSamples > 1) {
        filterEdge(levels, position);
        return;
    }
    const uint8_t before = m_levels;
    m_levels = levels;
    decodeEdge(before, levels, position);
}

// A line's change counts once it has held for glitchSamples samples; one that
// turns back sooner is a pulse that is dropped (and told to the observer).
void I2CDecoder::filterEdge(uint8_t levels, uint64_t position)
{
    commitPending(position);
    const uint8_t changed = static_cast<uint8_t>(levels ^ m_levels);
    m_levels = levels;
    for (unsigned line = 0; line < 2; ++line) {
        if (!(changed & (1u << line)))
            continue;
        if (m_pending[line]) {
            m_pending[line] = false;
            if (m_observer)
                m_observer->suppressed(line, m_pendingAt[line], position, m_decoded, m_eventCount);
        } else {
            m_pending[line] = true;
            m_pendingAt[line] = position;
        }
    }
}

// Decodes, in order, the pending changes that held until `until`; changes of
// both lines at one sample are one edge.
void I2CDecoder::commitPending(uint64_t until)
{
    const uint64_t width = m_config.glitchSamples;
    for (;;) {
        int first = -1;
        for (int line = 0; line < 2; ++line) {
            if (m_pending[line] && until - m_pendingAt[line] >= width &&
                until >= m_pendingAt[line] && (first < 0 || m_pendingAt[line] < m_pendingAt[first]))
                first = line;
        }
        if (first < 0)
            return;
        const uint64_t at = m_pendingAt[first];
        uint8_t next = m_decoded;
        for (int line = 0; line < 2; ++line) {
            if (m_pending[line] && m_pendingAt[line] == at) {
                next = static_cast<uint8_t>(next ^ (1u << line));
                m_pending[line] = false;
            }
        }
        const uint8_t before = m_decoded;
        m_decoded = next;
        decodeEdge(before, next, at);
    }
}

void I2CDecoder::decodeEdge(uint8_t before, uint8_t levels, uint64_t position)
{
    if (m_observer)
        m_observer->edge(before, levels, position, m_eventCount);
    // SDA edges count as START/STOP only while SCL stays high; when SCL rises
    // in the same sample, the sample is a data bit.
    const bool sclHigh = levels & kScl;
    const bool sclStayedHigh = sclHigh && (before & kScl);
    const bool sclRose = sclHigh && !(before & kScl);
    const bool sdaFell = (before & kSda) && !(levels & kSda);
    const bool sdaRose = !(before & kSda) && (levels & kSda);

    if (sclStayedHigh && sdaFell) {
        // START or repeated START; a byte in progress is abandoned.
        emit(KORVEX_EVENT_START, 0, position);
        m_inTransfer = true;
        m_firstByte = true;
        m_bitCount = 0;
        return;
    }
    if (!m_inTransfer)
        return;
    if (sclRose) {
        const unsigned bit = levels & kSda;
        if (m_bitCount < 8) {
            if (m_bitCount == 0) {
                m_byteStart = position;
                m_byte = 0;
            }
            m_byte = static_cast<uint8_t>((m_byte << 1) | bit);
            if (++m_bitCount == 8)
                emit(m_firstByte ? KORVEX_EVENT_ADDR : KORVEX_EVENT_DATA, m_byte, m_byteStart);
        } else {
            emit(bit ? KORVEX_EVENT_NACK : KORVEX_EVENT_ACK, 0, position);
            m_bitCount = 0;
            m_firstByte = false;
        }
        return;
    }
    if (sclStayedHigh && sdaRose) {
        emit(KORVEX_EVENT_STOP, 0, position);
        m_inTransfer = false;
        m_bitCount = 0;
    }
}

void I2CDecoder::emit(int32_t type, uint8_t data, uint64_t position)
{
    I2CEvent event;
    event.type = type;
    event.data = data;
    event.reserved[0] = event.reserved[1] = event.reserved[2] = 0;
    event.timestamp = sampleToNs(position, m_config.sampleRate);
    m_events->push_back(event);
    ++m_eventCount;
    if (m_samples)
        m_samples->push_back(position);
}

} // namespace korvex
