// The bus simulator: deterministic samples that decode into the traffic of
// its devices at every sample rate the start dialog offers.
#include "bussimulator.h"
#include "capturetestutil.h"
#include "i2cdecoder.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace korvex {
namespace {

std::vector<uint8_t> generate(uint64_t rate, unsigned pair, uint64_t seed, size_t samples,
                              size_t chunk)
{
    BusSimulator bus(rate, pair, seed);
    std::vector<uint8_t> out;
    std::mt19937 random(static_cast<unsigned>(chunk));
    while (out.size() < samples) {
        const size_t n = std::min(samples - out.size(), 1 + random() % chunk);
        bus.generate(n, out);
    }
    EXPECT_EQ(bus.samplesGenerated(), samples);
    return out;
}

TEST(BusSimulator, EqualSeedsGiveEqualSamplesHoweverTheyAreFetched)
{
    const auto whole = generate(2500000, 1, 5, 3000000, 3000000);
    const auto pieces = generate(2500000, 1, 5, 3000000, 77777);
    EXPECT_EQ(whole, pieces);
    EXPECT_NE(generate(2500000, 1, 6, 3000000, 3000000), whole);
    // Only SDA = D2 and SCL = D3 of pair 1 ever move; the rest stays low.
    for (uint8_t s : whole) {
        if (s & ~0x0Cu) {
            ADD_FAILURE() << "sample 0x" << std::hex << int(s) << " uses other channels";
            break;
        }
    }
}

// One transfer: its bytes with their ninth bit, and the time of each byte.
struct Transfer
{
    struct Byte
    {
        int type;
        uint8_t value;
        bool acked;
        int64_t ns;
        bool afterRepeatedStart;
    };
    std::vector<Byte> bytes;
    int64_t ackNs = 0; // time of the last ACK/NACK
};

std::vector<Transfer> transfers(const std::vector<I2CEvent> &events)
{
    std::vector<Transfer> list;
    bool open = false, repeated = false;
    for (const I2CEvent &e : events) {
        switch (e.type) {
        case KORVEX_EVENT_START:
            repeated = open;
            if (!open)
                list.emplace_back();
            open = true;
            break;
        case KORVEX_EVENT_ADDR:
        case KORVEX_EVENT_DATA:
            list.back().bytes.push_back({e.type, e.data, false, e.timestamp, repeated});
            repeated = false;
            break;
        case KORVEX_EVENT_ACK:
        case KORVEX_EVENT_NACK:
            list.back().bytes.back().acked = e.type == KORVEX_EVENT_ACK;
            break;
        case KORVEX_EVENT_STOP:
            open = false;
            break;
        }
    }
    if (open)
        list.pop_back(); // cut off by the end of the samples
    return list;
}

uint8_t crc8(uint8_t a, uint8_t b)
{
    uint8_t crc = 0;
    for (uint8_t byte : {a, b}) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i)
            crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x31 : crc << 1);
    }
    return crc;
}

bool isBcd(uint8_t v, unsigned max)
{
    return (v & 15) < 10 && unsigned((v >> 4) * 10 + (v & 15)) <= max;
}

void checkTraffic(uint64_t rate, unsigned pair)
{
    SCOPED_TRACE("rate " + std::to_string(rate) + " pair " + std::to_string(pair));
    const auto samples = generate(rate, pair, BusSimulator::kDefaultSeed, rate * 3 / 2, 1 << 20);
    I2CDecoderConfig config;
    config.sdaChannel = 2 * pair;
    config.sclChannel = 2 * pair + 1;
    config.sampleRate = rate;
    config.assumeIdle = true;
    I2CDecoder decoder;
    ASSERT_TRUE(decoder.configure(config));
    std::vector<I2CEvent> events;
    decoder.feed(samples.data(), samples.size(), events);
    ASSERT_EQ(test::transferProblem(events, false), "");

    std::map<uint8_t, uint8_t> eeprom; // what was written, by address
    std::map<uint8_t, int> seen;
    int eepromReads = 0, busyPolls = 0;
    for (const Transfer &t : transfers(events)) {
        ASSERT_FALSE(t.bytes.empty());
        const uint8_t address = t.bytes[0].value;
        ++seen[address];
        const auto &b = t.bytes;
        switch (address) {
        case 0x78: // absent
            EXPECT_EQ(b.size(), 1u);
            EXPECT_FALSE(b[0].acked);
            break;
        case 0xA0: // EEPROM
            if (!b[0].acked) {
                ++busyPolls;
                EXPECT_EQ(b.size(), 1u);
            } else if (b.size() >= 3 && b[2].value == 0xA1 && b[2].afterRepeatedStart) {
                ++eepromReads;
                for (size_t i = 3; i < b.size(); ++i) {
                    const uint8_t at = static_cast<uint8_t>(b[1].value + (i - 3));
                    if (eeprom.count(at)) {
                        EXPECT_EQ(b[i].value, eeprom[at]) << "EEPROM byte " << int(at);
                    }
                    EXPECT_EQ(b[i].acked, i + 1 < b.size()); // the master NACKs the last byte
                }
            } else {
                for (size_t i = 2; i < b.size(); ++i)
                    eeprom[static_cast<uint8_t>(b[1].value + (i - 2))] = b[i].value;
            }
            break;
        case 0x80: // sensor: command, repeated START, MSB, LSB, CRC
            ASSERT_EQ(b.size(), 6u);
            EXPECT_TRUE(b[2].afterRepeatedStart);
            EXPECT_EQ(b[2].value, 0x81);
            EXPECT_EQ(b[5].value, crc8(b[3].value, b[4].value));
            EXPECT_FALSE(b[5].acked);
            // The sensor stretches the clock while measuring: far more than a bit time.
            EXPECT_GT(b[3].ns - b[2].ns, 200000);
            break;
        case 0xD0: // RTC: pointer 0, repeated START, seven registers
            ASSERT_EQ(b.size(), 10u);
            EXPECT_EQ(b[1].value, 0x00);
            EXPECT_EQ(b[2].value, 0xD1);
            EXPECT_TRUE(isBcd(b[3].value, 59) && isBcd(b[4].value, 59) && isBcd(b[5].value, 23));
            break;
        default:
            ADD_FAILURE() << "unexpected address byte " << int(address);
        }
    }
    EXPECT_GT(seen[0x80], 0);
    EXPECT_GT(seen[0xD0], 0);
    EXPECT_GT(seen[0x78], 0);
    EXPECT_GT(eepromReads, 0);
    EXPECT_GT(busyPolls, 0);
}

TEST(BusSimulator, TrafficDecodesAtTheOfferedSampleRates)
{
    checkTraffic(1000000, 0);
    checkTraffic(2500000, 1);
    checkTraffic(5000000, 2);
    checkTraffic(10000000, 3);
}

TEST(BusSimulator, RunsFor100KhzTiming)
{
    // From the address byte's first bit to its ninth: eight SCL periods of 10 us.
    const auto samples = generate(10000000, 0, 3, 2000000, 1 << 20);
    I2CDecoderConfig config;
    config.sampleRate = 10000000;
    config.assumeIdle = true;
    I2CDecoder decoder;
    ASSERT_TRUE(decoder.configure(config));
    std::vector<I2CEvent> events;
    decoder.feed(samples.data(), samples.size(), events);
    ASSERT_GT(events.size(), 2u);
    ASSERT_EQ(events[1].type, KORVEX_EVENT_ADDR);
    ASSERT_TRUE(events[2].type == KORVEX_EVENT_ACK || events[2].type == KORVEX_EVENT_NACK);
    EXPECT_EQ(events[2].timestamp - events[1].timestamp, 80000);
}

} // namespace
} // namespace korvex
