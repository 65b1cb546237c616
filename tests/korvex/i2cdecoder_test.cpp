// The decoder against recorded captures with reference decodes, and its buffer, unit-size
// and timestamp corners.
#include "korvex/src/bussimulator.h"
#include "korvex/src/capturedecoding.h"
#include "korvextest.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <tuple>

namespace korvex {
namespace {

// One line per event, "<sample> <TYPE>[ <HH>]", for readable comparisons.
std::vector<std::string> eventLines(const std::vector<I2CEvent> &events,
                                    const std::vector<uint64_t> &samples)
{
    static const char *const kNames[] = {"?", "START", "ADDR", "DATA", "STOP", "NACK", "ACK"};
    std::vector<std::string> lines;
    for (size_t i = 0; i < events.size(); ++i) {
        const int type = events[i].type >= 1 && events[i].type <= 6 ? events[i].type : 0;
        char hex[4] = "";
        if (type == KORVEX_EVENT_ADDR || type == KORVEX_EVENT_DATA)
            std::snprintf(hex, sizeof hex, " %02X", events[i].data);
        lines.push_back(std::to_string(samples[i]) + " " + kNames[type] + hex);
    }
    return lines;
}

// The reference decode as event lines. Each annotation ends in its short text: a mark for starts,
// stops, ACK and NACK, the byte for addresses and data, one letter for the R/W bit (left out).
std::vector<std::string> referenceLines(const std::string &name)
{
    static const std::map<std::string, std::string> kMarks = {
        {"S", "START"}, {"Sr", "START"}, {"P", "STOP"}, {"A", "ACK"}, {"N", "NACK"}};
    std::ifstream in(dataPath("peer-suite/expected/" + name + ".output"));
    EXPECT_TRUE(in.good()) << name;
    const std::regex annotation(R"re((\d+)-\d+ i2c: ([a-z-]+): ".* "([^"]*)"$)re");
    std::vector<std::string> lines;
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
        if (!std::regex_search(line, m, annotation))
            continue;
        const std::string sample = m[1], cls = m[2], text = m[3];
        char byte[4]; // an address as the byte on the bus: 7 bits and R/W
        std::snprintf(byte, sizeof byte, "%02lX",
                      std::strtoul(text.c_str(), nullptr, 16) << (cls[0] == 'a') |
                          (cls == "address-read"));
        if (kMarks.count(text))
            lines.push_back(sample + " " + kMarks.at(text));
        else if (text.size() == 2)
            lines.push_back(sample + (cls[0] == 'a' ? " ADDR " : " DATA ") + byte);
    }
    return lines;
}

TEST(I2CDecoder, MatchesPeerSuiteReferences)
{
    // Capture, SCL, SDA, idle at first, reference decode (none for xfp: it only has to decode).
    const std::tuple<const char *, unsigned, unsigned, bool, const char *> cases[] = {
        {"rtc_dallas_ds1307/rtc_ds1307_200khz.sr", 0, 1, true, "rtc_ds1307_200khz"},
        {"rtc_dallas_ds1307/rtc_ds1307_200khz_no_samplerate.sr", 0, 1, true, "rtc_ds1307_200khz"},
        {"gigabyte_6vle-vxl_i2c/gigabyte_6vle_vxl_i2c.sr", 0, 3, false, "gigabyte_6vle_vxl_i2c"},
        {"network-transceivers/xfp.sr", 0, 1, false, nullptr},
        {"wii_nunchuk/wii_nunchuk_init.sr", 0, 1, false, "wii_nunchuk_init"},
        {"sensirion_sht2x/sensirion_sht21_humidity35.sr", 2, 1, false,
         "sensirion_sht21_humidity35"},
        {"sensirion_sht3x/sensirion_sht31_25rh_28rh.sr", 2, 1, false, "sensirion_sht31_25rh_28rh"},
        {"rohm_bh1750/bh1750_hresolutionmode.sr", 0, 1, false, "bh1750_hresolutionmode"},
        {"rohm_bh1750/bh1750_h2resolutionmode.sr", 0, 1, false, "bh1750_h2resolutionmode"},
    };
    for (const auto &[capture, scl, sda, idle, reference] : cases) {
        SCOPED_TRACE(capture);
        CaptureFile file;
        std::string error;
        std::vector<I2CEvent> events;
        std::vector<uint64_t> samples;
        ASSERT_TRUE(file.open(dataPath("peer-suite/") + capture, &error)) << error;
        ASSERT_TRUE(decodeCapture(file, {sda, scl, 1, 0, idle}, events, &samples, nullptr, &error))
            << error;
        EXPECT_FALSE(events.empty());
        EXPECT_EQ(eventLines(events, samples),
                  reference ? referenceLines(reference) : eventLines(events, samples));
    }
}

TEST(I2CDecoder, CaptureFilesStreamInSlices)
{
    // libsigrok hands over a megabyte at a time; the sink sees a slice's events at a time,
    // all of them, and can stop the decoding.
    const std::string nacks = dataPath("extra/8564je_nacks.sr");
    CaptureFile file;
    std::string error;
    size_t calls = 0, most = 0, events = 0;
    uint64_t samples = 0;
    ASSERT_TRUE(file.open(nacks, &error));
    ASSERT_TRUE(decodeCaptureStream(
        file, {3, 2},
        [&](const I2CEvent *, const uint64_t *, size_t count) {
            most = std::max(most, count);
            events += count;
            return ++calls > 0;
        },
        &samples, &error));
    EXPECT_TRUE(samples == 47u * 1048576 + 877056 && events == 61015u);
    EXPECT_TRUE(calls > 200u && most < 600u) << calls << " calls, at most " << most;
    ASSERT_TRUE(file.open(nacks, &error));
    calls = 0;
    EXPECT_TRUE(decodeCaptureStream(
        file, {3, 2}, [&calls](const I2CEvent *, const uint64_t *, size_t) { return ++calls < 4; },
        nullptr, &error));
    EXPECT_EQ(calls, 4u);
}

TEST(I2CDecoder, AnySplitAndAnySampleWidthDecodeAlike)
{
    std::vector<uint8_t> narrow; // SDA on D0, SCL on D1
    BusSimulator(10000000, 0, 1).generate(1000000, narrow);
    std::vector<uint64_t> samples;
    const auto reference = eventLines(decodeAll({0, 1, 1, 10000000}, narrow, &samples), samples);
    std::mt19937_64 random(7);
    // Unit size, SDA, SCL.
    const unsigned placements[][3] = {{1, 0, 1},  {1, 7, 2},   {2, 15, 3}, {3, 17, 5},
                                      {4, 31, 8}, {8, 63, 40}, {5, 1, 38}};
    for (const auto &p : placements) {
        SCOPED_TRACE("unit size " + std::to_string(p[0]) + " SDA D" + std::to_string(p[1]));
        // The bus on the chosen channels, noise on all others.
        std::vector<uint8_t> bytes(narrow.size() * p[0]);
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<uint8_t>(random()); });
        for (size_t i = 0; i < narrow.size(); ++i)
            for (unsigned line : {0u, 1u}) {
                uint8_t &b = bytes[i * p[0] + p[1 + line] / 8];
                b = static_cast<uint8_t>((b & ~(1u << p[1 + line] % 8)) | ((narrow[i] >> line) & 1u)
                                                                              << p[1 + line] % 8);
            }
        // In random pieces, cut inside samples and words too, some of them empty.
        I2CDecoder decoder;
        ASSERT_TRUE(decoder.configure({p[1], p[2], p[0], 10000000}));
        std::vector<I2CEvent> events;
        samples.clear();
        for (size_t at = 0, end; at < bytes.size(); at = end) {
            end = std::min<size_t>(bytes.size(), at + random() % (bytes.size() / 1500));
            decoder.feed(bytes.data() + at, end - at, events, &samples);
        }
        EXPECT_EQ(decoder.samplesSeen(), 1000000u);
        EXPECT_EQ(eventLines(events, samples), reference);
    }
}

TEST(I2CDecoder, TimestampsNeverOverflowAndBadConfigurationsKeepTheLastGoodOne)
{
    const uint64_t cases[][3] = {
        // Sample, rate, nanoseconds.
        {3ull * 3600 * 100000000 + 7, 100000000, 3ull * 3600 * 1000000000 + 70},
        {3, 2500000, 1200}, // rounded down to whole nanoseconds
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
    // Impossible configurations are refused, and the last good one kept.
    I2CDecoder decoder;
    std::string error;
    // SDA, SCL, unit size, valid.
    const unsigned configs[][4] = {{0, 1, 0, 0},    {0, 1, 65, 0},   {8, 1, 1, 0}, {1, 1, 1, 0},
                                   {511, 0, 64, 1}, {0, 512, 64, 0}, {7, 6, 1, 1}, {0, 8, 1, 0}};
    for (const auto &c : configs) {
        error.clear();
        EXPECT_EQ(decoder.configure({c[0], c[1], c[2]}, &error), c[3] == 1) << c[0] << c[1] << c[2];
        EXPECT_EQ(error.empty(), c[3] == 1) << error;
    }
    EXPECT_NE(error.find("D8"), std::string::npos) << error;
    EXPECT_TRUE(decoder.config().sdaChannel == 7 && decoder.config().sclChannel == 6);
    std::vector<I2CEvent> events;
    decoder.feed(nullptr, 10, events);
    EXPECT_TRUE(events.empty());
}

} // namespace
} // namespace korvex
