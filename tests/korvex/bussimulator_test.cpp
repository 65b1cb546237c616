// The bus simulator: deterministic samples that decode into its devices' traffic, with
// standard-mode timing, at every sample rate offered.
#include "korvex/src/bussimulator.h"
#include "korvextest.h"

#include <map>
#include <random>
#include <set>
#include <utility>

namespace korvex {
namespace {

std::vector<uint8_t> generate(uint64_t rate, unsigned pair, uint64_t seed, size_t samples,
                              size_t chunk)
{
    BusSimulator bus(rate, pair, seed);
    std::vector<uint8_t> out;
    std::mt19937 random(static_cast<unsigned>(chunk));
    while (out.size() < samples)
        bus.generate(std::min(samples - out.size(), 1 + random() % chunk), out);
    EXPECT_EQ(bus.samplesGenerated(), samples);
    return out;
}

struct Byte
{
    uint8_t value;
    bool acked, afterRepeatedStart;
    int64_t ns;
};

// The transfers of a decoded stream, each as its bytes; one cut off by the end of the samples is
// left out. 100 kHz: every byte takes eight SCL periods from its first bit to its ninth.
std::vector<std::vector<Byte>> transfers(const std::vector<I2CEvent> &events)
{
    std::vector<std::vector<Byte>> list;
    bool open = false, repeated = false;
    for (const I2CEvent &e : events) {
        if (e.type == KORVEX_EVENT_START) {
            if (!open)
                list.emplace_back();
            repeated = std::exchange(open, true);
        } else if (e.type == KORVEX_EVENT_ADDR || e.type == KORVEX_EVENT_DATA) {
            list.back().push_back({e.data, false, std::exchange(repeated, false), e.timestamp});
        } else if (e.type == KORVEX_EVENT_STOP) {
            open = false;
        } else {
            list.back().back().acked = e.type == KORVEX_EVENT_ACK;
            EXPECT_EQ(e.timestamp - list.back().back().ns, 80000);
        }
    }
    list.resize(list.size() - open);
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

TEST(BusSimulator, EqualSeedsGiveEqualSamplesAndDevicesAnswerInStandardModeTiming)
{
    const auto whole = generate(2500000, 1, 5, 3000000, 3000000);
    EXPECT_EQ(generate(2500000, 1, 5, 3000000, 77777), whole);
    EXPECT_NE(generate(2500000, 1, 6, 3000000, 3000000), whole);
    // Only SDA = D2 and SCL = D3 of pair 1 ever move; the rest stays low.
    EXPECT_EQ(std::count_if(whole.begin(), whole.end(), [](uint8_t s) { return s & ~0x0Cu; }), 0);
    // The devices answer with standard-mode timing at the offered rates.
    auto isBcd = [](uint8_t v, unsigned max) {
        return (v & 15) < 10 && (v >> 4) * 10u + (v & 15) <= max;
    };
    for (unsigned pair = 0; pair < 4; ++pair) {
        const uint64_t rate = std::vector<uint64_t>{1000000, 2500000, 5000000, 10000000}[pair];
        SCOPED_TRACE("rate " + std::to_string(rate));
        const auto events =
            decodeAll({2 * pair, 2 * pair + 1, 1, rate, true},
                      generate(rate, pair, BusSimulator::kDefaultSeed, rate * 3 / 2, 1 << 20));
        ASSERT_EQ(events.at(0).type, KORVEX_EVENT_START);
        std::map<uint8_t, uint8_t> eeprom;  // what was written, by address
        std::set<std::pair<int, int>> seen; // address byte, and 0 unanswered, 1 written, 2 read
        for (const std::vector<Byte> &b : transfers(events)) {
            const bool read = b.size() >= 3 && b[2].afterRepeatedStart;
            seen.insert({b[0].value, b[0].acked ? 1 + read : 0});
            EXPECT_TRUE((b[0].acked || b.size() == 1) && (!read || b[2].value == (b[0].value | 1)));
            // Devices take every byte written; the master NACKs the last one it reads.
            for (size_t i = 1; i < b.size(); ++i)
                EXPECT_EQ(b[i].acked, !read || i + 1 < b.size());
            for (size_t i = read ? 3 : 2; b[0].value == 0xA0 && i < b.size(); ++i) {
                const uint8_t at = static_cast<uint8_t>(b[1].value + i - (read ? 3 : 2));
                if (!read)
                    eeprom[at] = b[i].value;
                EXPECT_TRUE(!eeprom.count(at) || b[i].value == eeprom[at]) << int(at);
            }
            if (b[0].value == 0x80) { // sensor: command, repeated START, MSB, LSB, CRC
                ASSERT_EQ(b.size(), 6u);
                EXPECT_EQ(b[5].value, crc8(b[3].value, b[4].value));
                // It stretches the clock while measuring: far more than a bit time.
                EXPECT_GT(b[3].ns - b[2].ns, 200000);
            } else if (b[0].value == 0xD0) { // RTC: pointer 0, repeated START, seven registers
                ASSERT_EQ(b.size(), 10u);
                EXPECT_TRUE(b[1].value == 0 && isBcd(b[3].value, 59) && isBcd(b[4].value, 59) &&
                            isBcd(b[5].value, 23));
            }
        }
        // Each device answers (the EEPROM also busy), and nothing else is on the bus.
        EXPECT_EQ(seen, (std::set<std::pair<int, int>>{
                            {0x78, 0}, {0x80, 2}, {0xA0, 0}, {0xA0, 1}, {0xA0, 2}, {0xD0, 2}}));
    }
}

} // namespace
} // namespace korvex
