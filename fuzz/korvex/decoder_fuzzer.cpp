// Feeds random logic samples to the I2C decoder in random splits. Properties:
// any split decodes the same as one whole buffer; the same SDA/SCL levels
// repacked into one-byte samples (which take the word-at-a-time path)
// decode the same as wide samples (which take the per-sample path); events
// are well formed and their times follow their sample positions.
//
// Input: [0] unit size - 1 (bits 0-2) and "assume idle" (bit 3), [1] SDA
// channel, [2] SCL channel, [3..10] sample rate (little-endian), [11] split
// seed, then the samples.
#include "fuzzrequire.h"
#include "korvex/src/i2cdecoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Decoded
{
    std::vector<I2CEvent> events;
    std::vector<uint64_t> samples;
    uint64_t seen = 0;
};

bool sameEvents(const Decoded &a, const Decoded &b)
{
    if (a.events.size() != b.events.size() || a.samples != b.samples || a.seen != b.seen)
        return false;
    for (size_t i = 0; i < a.events.size(); ++i) {
        const I2CEvent &x = a.events[i], &y = b.events[i];
        if (x.type != y.type || x.data != y.data || x.timestamp != y.timestamp)
            return false;
    }
    return true;
}

Decoded decode(const korvex::I2CDecoderConfig &config, const uint8_t *data, size_t size,
               uint32_t splitSeed)
{
    korvex::I2CDecoder decoder;
    require(decoder.configure(config));
    Decoded d;
    if (splitSeed == 0) {
        decoder.feed(data, size, d.events, &d.samples);
    } else {
        // Pieces of 0 to 63 bytes, cutting samples anywhere.
        uint32_t state = splitSeed;
        for (size_t at = 0; at < size;) {
            state = state * 1103515245u + 12345u;
            const size_t piece = std::min<size_t>(size - at, (state >> 16) % 64);
            decoder.feed(data + at, piece, d.events, &d.samples);
            at += piece;
        }
    }
    d.seen = decoder.samplesSeen();
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 12)
        return 0;
    korvex::I2CDecoderConfig config;
    config.unitSize = (data[0] & 7) + 1;
    config.assumeIdle = data[0] & 8;
    const unsigned channels = config.unitSize * 8;
    config.sdaChannel = data[1] % channels;
    config.sclChannel = data[2] % channels;
    if (config.sclChannel == config.sdaChannel)
        config.sclChannel = (config.sdaChannel + 1) % channels;
    std::memcpy(&config.sampleRate, data + 3, 8);
    const uint32_t splitSeed = data[11] | 1u;
    const uint8_t *samples = data + 12;
    const size_t bytes = size - 12;

    const Decoded whole = decode(config, samples, bytes, 0);
    require(whole.seen == bytes / config.unitSize);
    require(sameEvents(whole, decode(config, samples, bytes, splitSeed)));

    require(whole.samples.size() == whole.events.size());
    for (size_t i = 0; i < whole.events.size(); ++i) {
        const I2CEvent &e = whole.events[i];
        require(e.type >= KORVEX_EVENT_START && e.type <= KORVEX_EVENT_ACK);
        require(e.reserved[0] == 0 && e.reserved[1] == 0 && e.reserved[2] == 0);
        if (e.type != KORVEX_EVENT_ADDR && e.type != KORVEX_EVENT_DATA)
            require(e.data == 0);
        require(whole.samples[i] < whole.seen);
        require(i == 0 || whole.samples[i] >= whole.samples[i - 1]);
        require(e.timestamp == korvex::I2CDecoder::sampleToNs(whole.samples[i], config.sampleRate));
    }

    // The same two lines as one-byte samples: SDA in bit 0, SCL in bit 1,
    // every other bit set so that only the watched bits may matter.
    std::vector<uint8_t> narrow(whole.seen);
    for (uint64_t s = 0; s < whole.seen; ++s) {
        const uint8_t *unit = samples + s * config.unitSize;
        const bool sda = (unit[config.sdaChannel / 8] >> (config.sdaChannel % 8)) & 1;
        const bool scl = (unit[config.sclChannel / 8] >> (config.sclChannel % 8)) & 1;
        narrow[s] = uint8_t(0xFC | (scl << 1) | sda);
    }
    korvex::I2CDecoderConfig narrowConfig = config;
    narrowConfig.unitSize = 1;
    narrowConfig.sdaChannel = 0;
    narrowConfig.sclChannel = 1;
    require(sameEvents(whole, decode(narrowConfig, narrow.data(), narrow.size(), 0)));
    return 0;
}
