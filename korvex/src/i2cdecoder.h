// Sample-level I2C decoder: turns logic samples into I2CEvent records.
//
// Samples arrive as libsigrok delivers them: `unitSize` bytes per sample,
// little-endian, bit n = channel Dn. Bits are taken on the rising edge of SCL;
// START and STOP are SDA edges while SCL is high. State carries across feed()
// calls, so a capture cut into buffers at any byte decodes the same as whole.
#pragma once

#include <korvex/korvex.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// Sees every edge the decoder acts on, in order, with the number of events
// emitted before it (an event the edge emits gets that index). The decoder
// keeps no other state for it, so an observer changes no event.
class EdgeObserver
{
public:
    virtual ~EdgeObserver() = default;
    // levels: bit 0 SDA, bit 1 SCL.
    virtual void edge(uint8_t before, uint8_t after, uint64_t position, uint64_t eventIndex) = 0;
    // The glitch filter dropped a pulse on `line` (0 SDA, 1 SCL) from `from` to `to`.
    virtual void suppressed(unsigned line, uint64_t from, uint64_t to, uint8_t levels,
                            uint64_t eventIndex) = 0;
};

struct I2CDecoderConfig
{
    unsigned sdaChannel = 0;
    unsigned sclChannel = 1;
    unsigned unitSize = 1;   // bytes per sample
    uint64_t sampleRate = 0; // Hz; 0 when unknown (timestamps are then 0)
    bool assumeIdle = false; // before the first sample the bus is idle (both lines high)
    // Pulses shorter than this many samples are dropped before decoding; 0 or
    // 1 keeps every pulse (the events are then exactly the unfiltered ones).
    uint64_t glitchSamples = 0;
};

class I2CDecoder
{
public:
    static constexpr unsigned kMaxUnitSize = 64;

    I2CDecoder() = default;

    // Checks a configuration; on failure says why in *error (when given).
    static bool validate(const I2CDecoderConfig &config, std::string *error);

    // Applies a configuration and resets the decoder. Returns false (and
    // keeps the old configuration) when the configuration is invalid.
    bool configure(const I2CDecoderConfig &config, std::string *error = nullptr);
    const I2CDecoderConfig &config() const { return m_config; }

    // Forgets the bus state and the sample count; the configuration stays.
    void reset();

    // Decodes `bytes` bytes of samples (need not be whole samples), appending
    // events to `events` and, when `samples` is given, each event's sample
    // position (START where SDA fell, STOP where SDA rose, ADDR/DATA at the
    // SCL rising edge of the byte's first bit, ACK/NACK at that of the ninth).
    void feed(const uint8_t *data, size_t bytes, std::vector<I2CEvent> &events,
              std::vector<uint64_t> *samples = nullptr);

    // Watches the edges from now on (null: none). Not owned.
    void setObserver(EdgeObserver *observer) { m_observer = observer; }

    // Decodes what the glitch filter still holds back, at the end of a capture.
    void flush(std::vector<I2CEvent> &events, std::vector<uint64_t> *samples = nullptr);

    // Events emitted since the last reset.
    uint64_t eventCount() const { return m_eventCount; }

    // Number of whole samples decoded since the last reset.
    uint64_t samplesSeen() const { return m_position; }

    // Nanoseconds from the first sample to `sample` at `rate` Hz, rounded
    // down, exact for every 64-bit sample count (saturates at INT64_MAX).
    static int64_t sampleToNs(uint64_t sample, uint64_t rate);

private:
    enum Levels : uint8_t { kSda = 1, kScl = 2 };

    void decodeWhole(const uint8_t *data, size_t count);
    void decodeWords(const uint8_t *data, size_t count);
    void decodeEach(const uint8_t *data, size_t count);
    uint8_t levelsOf(const uint8_t *unit) const;
    void step(uint8_t levels, uint64_t position);
    void decodeEdge(uint8_t before, uint8_t levels, uint64_t position);
    void filterEdge(uint8_t levels, uint64_t position);
    void commitPending(uint64_t until);
    void emit(int32_t type, uint8_t data, uint64_t position);

    I2CDecoderConfig m_config;
    unsigned m_sdaByte = 0, m_sdaShift = 0, m_sclByte = 0, m_sclShift = 1;
    uint64_t m_wordMask = 0; // watched bits of every sample in a 64-bit word
    bool m_wordScan = true;  // whole samples tile a 64-bit word on this host

    // Bus state, carried across buffers.
    uint64_t m_position = 0;   // index of the next whole sample
    bool m_haveLevels = false; // false until the first sample (unless idle is assumed)
    uint8_t m_levels = kSda | kScl;
    bool m_inTransfer = false; // between a START and its STOP
    bool m_firstByte = false;  // the next byte is the address byte
    unsigned m_bitCount = 0;   // bits of the current byte seen, 0..8
    uint8_t m_byte = 0;
    uint64_t m_byteStart = 0;

    uint8_t m_partial[kMaxUnitSize] = {}; // head of a sample split between buffers
    unsigned m_partialBytes = 0;

    uint64_t m_eventCount = 0;
    EdgeObserver *m_observer = nullptr;

    // Glitch filter: the levels decoded so far, and per line (0 SDA, 1 SCL)
    // the position of a change not yet held long enough to count.
    uint8_t m_decoded = kSda | kScl;
    bool m_pending[2] = {false, false};
    uint64_t m_pendingAt[2] = {0, 0};

    std::vector<I2CEvent> *m_events = nullptr;
    std::vector<uint64_t> *m_samples = nullptr;
};

} // namespace korvex
