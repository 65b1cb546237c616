// The decoder against recorded captures with reference decodes, and its
// buffer, unit-size, bus-edge and timestamp corners.
#include "bussimulator.h"
#include "capturedecoding.h"
#include "korvextest.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <regex>

namespace korvex {
namespace {

// One line per event, "[<sample> ]<TYPE>[ <HH>]", for readable comparisons.
std::vector<std::string> eventLines(const std::vector<I2CEvent> &events,
                                    const std::vector<uint64_t> *samples = nullptr)
{
    static const char *const kNames[] = {"?", "START", "ADDR", "DATA", "STOP", "NACK", "ACK"};
    std::vector<std::string> lines;
    for (size_t i = 0; i < events.size(); ++i) {
        const int type = events[i].type >= 1 && events[i].type <= 6 ? events[i].type : 0;
        char hex[4] = "";
        if (type == KORVEX_EVENT_ADDR || type == KORVEX_EVENT_DATA)
            std::snprintf(hex, sizeof hex, " %02X", events[i].data);
        lines.push_back((samples ? std::to_string((*samples)[i]) + " " : "") + kNames[type] + hex);
    }
    return lines;
}

// The reference decode as event lines: starts, address and data bytes at
// their first sample, ACK/NACK and stops.
std::vector<std::string> referenceLines(const std::string &file)
{
    std::ifstream in(dataPath("peer-suite/expected/" + file));
    EXPECT_TRUE(in.good()) << file;
    const std::regex annotation(R"re((\d+)-\d+ i2c: ([a-z-]+): "([^"]*)")re");
    std::vector<std::string> lines;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (!std::regex_search(line, m, annotation))
            continue;
        const std::string sample = m[1], cls = m[2], text = m[3];
        const std::string value = text.substr(text.find(": ") + 2);
        if (cls == "start" || cls == "repeat-start" || cls == "stop" || cls == "ack" ||
            cls == "nack") {
            std::string type = cls == "repeat-start" ? "START" : cls;
            std::transform(type.begin(), type.end(), type.begin(), ::toupper);
            lines.push_back(sample + " " + type);
        } else if (cls.rfind("address-", 0) == 0 && text.rfind("Address", 0) == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02X",
                          unsigned(std::stoul(value, nullptr, 16) << 1 | (cls == "address-read")));
            lines.push_back(sample + " ADDR " + hex);
        } else if (cls.rfind("data-", 0) == 0) {
            lines.push_back(sample + " DATA " + value);
        }
    }
    return lines;
}

TEST(I2CDecoder, MatchesPeerSuiteReferences)
{
    // test.conf: "test <name>", then its channels, input and reference output.
    std::ifstream conf(dataPath("peer-suite/expected/test.conf"));
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
        ASSERT_TRUE(file.open(dataPath("peer-suite/" + capture), &error)) << error;
        ASSERT_TRUE(decodeCapture(file, config, events, &samples, nullptr, &error)) << error;
        ++tests;
        referenced += !reference.empty();
        if (reference.empty())
            EXPECT_FALSE(events.empty());
        else
            EXPECT_EQ(eventLines(events, &samples), referenceLines(reference));
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

TEST(I2CDecoder, AnySplitAndAnySampleWidthDecodeAlike)
{
    std::vector<uint8_t> narrow; // SDA on D0, SCL on D1
    BusSimulator(10000000, 0, 1).generate(1000000, narrow);
    std::vector<uint64_t> samples;
    const auto reference = eventLines(decodeAll({0, 1, 1, 10000000}, narrow, &samples), &samples);
    ASSERT_GT(reference.size(), 100u);
    std::mt19937_64 random(7);
    // Unit size, SDA, SCL.
    const unsigned placements[][3] = {{1, 0, 1},  {1, 7, 2},   {2, 15, 3}, {3, 17, 5},
                                      {4, 31, 8}, {8, 63, 40}, {5, 1, 38}};
    for (const auto &p : placements) {
        SCOPED_TRACE("unit size " + std::to_string(p[0]) + " SDA D" + std::to_string(p[1]));
        // The bus on the chosen channels, noise on all others.
        std::vector<uint8_t> bytes(narrow.size() * p[0]);
        for (uint8_t &b : bytes)
            b = static_cast<uint8_t>(random());
        for (size_t i = 0; i < narrow.size(); ++i)
            for (unsigned line : {0u, 1u}) {
                uint8_t &b = bytes[i * p[0] + p[1 + line] / 8];
                b = static_cast<uint8_t>((b & ~(1u << p[1 + line] % 8)) | ((narrow[i] >> line) & 1u)
                                                                              << p[1 + line] % 8);
            }
        const I2CDecoderConfig config{p[1], p[2], p[0], 10000000};
        samples.clear();
        EXPECT_EQ(eventLines(decodeAll(config, bytes, &samples), &samples), reference);
        // Again in random pieces, cut inside samples and words too, some of them empty.
        I2CDecoder decoder;
        ASSERT_TRUE(decoder.configure(config));
        std::vector<I2CEvent> events;
        samples.clear();
        for (size_t at = 0, end; at < bytes.size(); at = end) {
            end = std::min<size_t>(bytes.size(), at + random() % (bytes.size() / 1500));
            decoder.feed(bytes.data() + at, end - at, events, &samples);
        }
        EXPECT_EQ(decoder.samplesSeen(), 1000000u);
        EXPECT_EQ(eventLines(events, &samples), reference);
    }
}

// Bus levels, one character a sample: '0' + SDA + 2 * SCL.
const std::string kStart = "33220", kStop = "02233";

std::string bits(unsigned value, int count)
{
    std::string wave;
    for (int i = count - 1; i >= 0; --i)
        wave += (value >> i) & 1 ? "1331" : "0220";
    return wave;
}

std::string byte(uint8_t value, bool nack)
{
    return bits(unsigned(value) << 1 | nack, 9);
}

TEST(I2CDecoder, BusCornersDecodeAsTheLinesSay)
{
    const std::string midStart = "2220" + byte(0x3C << 1, true) + kStop;
    const struct
    {
        const char *what;
        std::string wave;
        bool idle;
        std::vector<std::string> expected;
    } cases[] = {
        {"START and STOP mid-byte abandon the byte; clocking without a START decodes nothing",
         "333" + kStart + byte(0xA0, false) + bits(5, 3) + "1320" + byte(0xA1, false) + bits(1, 2) +
             kStop + bits(2, 2) + kStop,
         false,
         {"START", "ADDR A0", "ACK", "START", "ADDR A1", "ACK", "STOP"}},
        {"SDA low under a high SCL at first: a START when the bus was idle before",
         midStart,
         true,
         {"START", "ADDR 78", "NACK", "STOP"}},
        {"the same without the idle bus", midStart, false, {}},
        {"SDA falling as SCL rises is a data bit, not a START",
         kStart + byte(0x10, false) + "120" + bits(0xFF, 8) + kStop,
         false,
         {"START", "ADDR 10", "ACK", "DATA 7F", "NACK", "STOP"}},
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> samples;
        for (char level : c.wave)
            samples.push_back(static_cast<uint8_t>(level - '0'));
        EXPECT_EQ(eventLines(decodeAll({0, 1, 1, 0, c.idle}, samples)), c.expected) << c.what;
    }
}

TEST(I2CDecoder, TimestampsAreExactAndNeverOverflow)
{
    // Sample, rate, nanoseconds.
    const uint64_t cases[][3] = {
        {3ull * 3600 * 100000000 + 7, 100000000, 3ull * 3600 * 1000000000 + 70},
        {100ull * 86400 * 16000000 + 1, 16000000, 100ull * 86400 * 1000000000 + 62},
        {3, 2500000, 1200}, // rounded down to whole nanoseconds
        {1, 3, 333333333},
        // Rates whose remainder times 10^9 no longer fits 64 bits.
        {40000000000ull - 1, 40000000000ull, 999999999},
        {UINT64_MAX, 100000000000ull, 184467440737095516ull},
        // At and beyond what int64 nanoseconds hold: saturated, never wrapped.
        {9223372036ull * 1000000000, 1000000000, 9223372036ull * 1000000000},
        {9223372036ull * 1000000000 + 854775808, 1000000000, INT64_MAX},
        {UINT64_MAX, 1, INT64_MAX},
        {12345, 0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(I2CDecoder::sampleToNs(c[0], c[1]), int64_t(c[2])) << c[0] << " at " << c[1];
}

TEST(I2CDecoder, RefusesImpossibleConfigurationsAndKeepsTheLastGoodOne)
{
    I2CDecoder decoder;
    std::string error;
    // SDA, SCL, unit size, valid.
    const unsigned cases[][4] = {{0, 1, 0, 0},    {0, 1, 65, 0},   {8, 1, 1, 0}, {1, 1, 1, 0},
                                 {511, 0, 64, 1}, {0, 512, 64, 0}, {7, 6, 1, 1}, {0, 8, 1, 0}};
    for (const auto &c : cases) {
        error.clear();
        EXPECT_EQ(decoder.configure({c[0], c[1], c[2]}, &error), c[3] == 1) << c[0] << c[1] << c[2];
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
