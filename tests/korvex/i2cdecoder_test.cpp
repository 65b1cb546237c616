// The decoder against recorded captures with reference decodes, and its
// buffer, unit-size, bus-edge and timestamp corners.
#include "bussimulator.h"
#include "capturedecoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <random>
#include <regex>

namespace korvex {
namespace {

std::string dataPath(const std::string &relative)
{
    return std::string(KORVEX_TEST_DATA_DIR) + "/captures/peer-suite/" + relative;
}

// One line per event, "<sample> <TYPE>[ <HH>]", for readable comparisons.
std::vector<std::string> eventLines(const std::vector<I2CEvent> &events,
                                    const std::vector<uint64_t> &samples)
{
    static const char *const kNames[] = {"?", "START", "ADDR", "DATA", "STOP", "NACK", "ACK"};
    std::vector<std::string> lines;
    for (size_t i = 0; i < events.size(); ++i) {
        const int type = events[i].type >= 1 && events[i].type <= 6 ? events[i].type : 0;
        char line[64];
        std::snprintf(line, sizeof line, "%llu %s", static_cast<unsigned long long>(samples[i]),
                      kNames[type]);
        lines.push_back(line);
        if (type == KORVEX_EVENT_ADDR || type == KORVEX_EVENT_DATA) {
            std::snprintf(line, sizeof line, " %02X", events[i].data);
            lines.back() += line;
        }
    }
    return lines;
}

// The reference decode as event lines: starts, address and data bytes at
// their first sample, ACK/NACK and stops.
std::vector<std::string> referenceLines(const std::string &file)
{
    std::ifstream in(dataPath("expected/" + file));
    EXPECT_TRUE(in.good()) << file;
    const std::regex annotation(R"re((\d+)-\d+ i2c: ([a-z-]+): "([^"]*)")re");
    std::vector<std::string> lines;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (!std::regex_search(line, m, annotation))
            continue;
        const std::string sample = m[1], cls = m[2], text = m[3];
        if (cls == "start" || cls == "repeat-start" || cls == "stop" || cls == "ack" ||
            cls == "nack") {
            std::string type = cls == "repeat-start" ? "START" : cls;
            std::transform(type.begin(), type.end(), type.begin(), ::toupper);
            lines.push_back(sample + " " + type);
        } else if (cls.rfind("address-", 0) == 0 && text.rfind("Address", 0) == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02X",
                          unsigned(std::stoul(text.substr(text.find(": ") + 2), nullptr, 16) << 1 |
                                   (cls == "address-read")));
            lines.push_back(sample + " ADDR " + hex);
        } else if (cls.rfind("data-", 0) == 0) {
            lines.push_back(sample + " DATA " + text.substr(text.find(": ") + 2));
        }
    }
    return lines;
}

TEST(I2CDecoder, MatchesPeerSuiteReferences)
{
    // test.conf: "test <name>", then its channels, input and reference output.
    std::ifstream conf(dataPath("expected/test.conf"));
    ASSERT_TRUE(conf.good());
    const std::regex channel(R"(channel (scl|sda)=(\d+))");
    std::string line, capture, reference;
    I2CDecoderConfig config;
    int tests = 0, referenced = 0;
    auto check = [&] {
        if (capture.empty())
            return;
        SCOPED_TRACE(capture);
        CaptureFile file;
        std::string error;
        std::vector<I2CEvent> events;
        std::vector<uint64_t> samples;
        ASSERT_TRUE(file.open(dataPath(capture), &error)) << error;
        ASSERT_TRUE(decodeCapture(file, config, events, &samples, nullptr, &error)) << error;
        ++tests;
        if (reference.empty()) {
            EXPECT_FALSE(events.empty());
            return;
        }
        ++referenced;
        EXPECT_EQ(eventLines(events, samples), referenceLines(reference));
    };
    while (std::getline(conf, line)) {
        if (line.rfind("test ", 0) == 0) {
            check();
            capture.clear();
            reference.clear();
            config = I2CDecoderConfig();
        } else if (line.find("protocol-decoder") != std::string::npos) {
            for (std::sregex_iterator m(line.begin(), line.end(), channel), end; m != end; ++m)
                ((*m)[1] == "scl" ? config.sclChannel : config.sdaChannel) =
                    static_cast<unsigned>(std::stoul((*m)[2]));
            config.assumeIdle =
                line.find("initial_pin scl=1 initial_pin sda=1") != std::string::npos;
        } else if (line.find("input i2c/") != std::string::npos) {
            capture = line.substr(line.find("i2c/") + 4);
        } else if (line.find("output i2c annotation match ") != std::string::npos) {
            reference = line.substr(line.rfind(' ') + 1);
        }
    }
    check();
    EXPECT_EQ(tests, 9);
    EXPECT_EQ(referenced, 8);
}

// Simulated traffic as `unitSize`-byte samples with SDA and SCL on the given
// channels and noise on every other channel.
std::vector<uint8_t> busSamples(unsigned unitSize, unsigned sda, unsigned scl)
{
    BusSimulator bus(10000000, 0, 1); // SDA on D0, SCL on D1
    std::vector<uint8_t> narrow, wide(1000000 * unitSize);
    bus.generate(1000000, narrow);
    std::mt19937 random(unitSize);
    for (size_t i = 0; i < narrow.size(); ++i) {
        uint8_t *unit = &wide[i * unitSize];
        for (unsigned b = 0; b < unitSize; ++b)
            unit[b] = static_cast<uint8_t>(random());
        for (unsigned from : {0u, 1u}) {
            const unsigned to = from == 0 ? sda : scl;
            unit[to / 8] &= static_cast<uint8_t>(~(1u << (to % 8)));
            unit[to / 8] |= static_cast<uint8_t>(((narrow[i] >> from) & 1u) << (to % 8));
        }
    }
    return wide;
}

TEST(I2CDecoder, AnySplitAndAnySampleWidthDecodeAlike)
{
    std::vector<std::string> reference;
    std::mt19937_64 random(7);
    struct Placement
    {
        unsigned unitSize, sda, scl;
    };
    for (const Placement p :
         {Placement{1, 0, 1}, Placement{1, 7, 2}, Placement{2, 15, 3}, Placement{3, 17, 5},
          Placement{4, 31, 8}, Placement{8, 63, 40}, Placement{5, 1, 38}}) {
        SCOPED_TRACE("unit size " + std::to_string(p.unitSize) + " SDA D" + std::to_string(p.sda));
        const std::vector<uint8_t> bytes = busSamples(p.unitSize, p.sda, p.scl);
        I2CDecoderConfig config;
        config.unitSize = p.unitSize;
        config.sdaChannel = p.sda;
        config.sclChannel = p.scl;
        config.sampleRate = 10000000;
        // Whole, then in many random pieces (cut inside samples and words
        // too, some of them empty).
        std::vector<size_t> cuts = {0};
        for (int i = 0; i < 3000; ++i)
            cuts.push_back(random() % bytes.size());
        std::sort(cuts.begin() + 1, cuts.end());
        cuts.push_back(bytes.size());
        for (bool whole : {true, false}) {
            I2CDecoder decoder;
            ASSERT_TRUE(decoder.configure(config));
            std::vector<I2CEvent> events;
            std::vector<uint64_t> samples;
            for (size_t i = 1; i < cuts.size(); ++i)
                if (!whole || i + 1 == cuts.size())
                    decoder.feed(bytes.data() + cuts[whole ? 0 : i - 1],
                                 cuts[i] - cuts[whole ? 0 : i - 1], events, &samples);
            EXPECT_EQ(decoder.samplesSeen(), 1000000u);
            if (reference.empty())
                reference = eventLines(events, samples);
            EXPECT_EQ(eventLines(events, samples), reference);
        }
    }
    EXPECT_GT(reference.size(), 100u);
}

// Bus primitives, one sample per step: (sda, scl) levels in bits 0 and 1.
struct Wave
{
    std::vector<uint8_t> samples;
    Wave &put(bool sda, bool scl, int count = 1)
    {
        samples.insert(samples.end(), count, uint8_t(sda | (scl << 1)));
        return *this;
    }
    Wave &start() { return put(1, 1, 2).put(0, 1, 2).put(0, 0); }
    Wave &stop() { return put(0, 0).put(0, 1, 2).put(1, 1, 2); }
    Wave &bits(unsigned value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            put((value >> i) & 1, 0).put((value >> i) & 1, 1, 2).put((value >> i) & 1, 0);
        return *this;
    }
    Wave &byte(uint8_t v, bool nack) { return bits(unsigned(v) << 1 | nack, 9); }
};

TEST(I2CDecoder, BusCornersDecodeAsTheLinesSay)
{
    struct Case
    {
        const char *what;
        Wave wave;
        bool idle;
        std::vector<std::string> expected;
    };
    const Wave midStart = Wave().put(0, 1, 3).put(0, 0).byte(0x3C << 1, true).stop();
    const Case cases[] = {
        {"START and STOP mid-byte abandon the byte; clocking without a START decodes nothing",
         Wave()
             .put(1, 1, 3)
             .start()
             .byte(0xA0, false)
             .bits(5, 3)
             .put(1, 0)
             .put(1, 1)
             .put(0, 1)
             .put(0, 0)
             .byte(0xA1, false)
             .bits(1, 2)
             .stop()
             .bits(2, 2)
             .stop(),
         false,
         {"START", "ADDR A0", "ACK", "START", "ADDR A1", "ACK", "STOP"}},
        {"SDA low under a high SCL at first: a START when the bus was idle before",
         midStart,
         true,
         {"START", "ADDR 78", "NACK", "STOP"}},
        {"the same without the idle bus", midStart, false, {}},
        {"SDA falling as SCL rises is a data bit, not a START",
         Wave().start().byte(0x10, false).put(1, 0).put(0, 1).put(0, 0).bits(0xFF, 8).stop(),
         false,
         {"START", "ADDR 10", "ACK", "DATA 7F", "NACK", "STOP"}},
    };
    for (const Case &c : cases) {
        I2CDecoderConfig config;
        config.sdaChannel = 0;
        config.sclChannel = 1;
        config.assumeIdle = c.idle;
        I2CDecoder decoder;
        ASSERT_TRUE(decoder.configure(config));
        std::vector<I2CEvent> events;
        decoder.feed(c.wave.samples.data(), c.wave.samples.size(), events);
        std::vector<std::string> lines = eventLines(events, std::vector<uint64_t>(events.size()));
        for (std::string &l : lines)
            l = l.substr(2); // types and bytes only
        EXPECT_EQ(lines, c.expected) << c.what;
    }
}

TEST(I2CDecoder, TimestampsAreExactAndNeverOverflow)
{
    struct Case
    {
        uint64_t sample, rate;
        int64_t ns;
    };
    const Case cases[] = {
        {3ull * 3600 * 100000000 + 7, 100000000, 3ll * 3600 * 1000000000 + 70},
        {100ull * 86400 * 16000000 + 1, 16000000, 100ll * 86400 * 1000000000 + 62},
        {3, 2500000, 1200}, // rounded down to whole nanoseconds
        {1, 3, 333333333},
        // Rates whose remainder times 10^9 no longer fits 64 bits.
        {40000000000ull - 1, 40000000000ull, 999999999},
        {UINT64_MAX, 100000000000ull, 184467440737095516ll},
        // At and beyond what int64 nanoseconds hold: saturated, never wrapped.
        {9223372036ull * 1000000000, 1000000000, 9223372036ll * 1000000000},
        {9223372036ull * 1000000000 + 854775808, 1000000000, INT64_MAX},
        {UINT64_MAX, 1, INT64_MAX},
        {12345, 0, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(I2CDecoder::sampleToNs(c.sample, c.rate), c.ns) << c.sample << " at " << c.rate;
}

TEST(I2CDecoder, RefusesImpossibleConfigurationsAndKeepsTheLastGoodOne)
{
    I2CDecoder decoder;
    // Unit size, SDA, SCL, valid.
    const std::vector<std::array<unsigned, 4>> cases = {
        {0, 0, 1, 0},    {65, 0, 1, 0},   {1, 8, 1, 0}, {1, 1, 1, 0},
        {64, 511, 0, 1}, {64, 0, 512, 0}, {1, 7, 6, 1}, {1, 0, 8, 0}};
    std::string error;
    for (const auto &c : cases) {
        I2CDecoderConfig config;
        config.unitSize = c[0];
        config.sdaChannel = c[1];
        config.sclChannel = c[2];
        error.clear();
        EXPECT_EQ(decoder.configure(config, &error), c[3] == 1)
            << c[0] << " " << c[1] << " " << c[2];
        EXPECT_EQ(error.empty(), c[3] == 1) << error;
    }
    EXPECT_NE(error.find("D8"), std::string::npos) << error;
    EXPECT_EQ(decoder.config().sdaChannel, 7u);
    EXPECT_EQ(decoder.config().sclChannel, 6u);
    std::vector<I2CEvent> events;
    decoder.feed(nullptr, 10, events);
    EXPECT_TRUE(events.empty());
}

} // namespace
} // namespace korvex
