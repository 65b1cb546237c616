// The decoder against recorded captures with reference decodes, and its
// buffer, unit-size and timestamp edges.
#include "capturedecoding.h"
#include "capturetestutil.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <random>
#include <regex>
#include <sstream>

namespace korvex {
namespace {

using test::dataPath;
using test::eventLines;
using test::loadRaw;

struct PeerTest
{
    std::string name;
    std::string capture; // relative to the test data directory
    unsigned scl = 0, sda = 0;
    bool idle = false;
    std::string reference; // annotation reference file, or empty
};

std::vector<PeerTest> peerTests()
{
    std::ifstream conf(dataPath("captures/peer-suite/expected/test.conf"));
    EXPECT_TRUE(conf.good());
    std::vector<PeerTest> tests;
    std::string line;
    const std::regex channel(R"(channel (scl|sda)=(\d+))");
    while (std::getline(conf, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "test") {
            tests.emplace_back();
            words >> tests.back().name;
        } else if (tests.empty()) {
            continue;
        } else if (first == "protocol-decoder") {
            for (std::sregex_iterator m(line.begin(), line.end(), channel), end; m != end; ++m)
                ((*m)[1] == "scl" ? tests.back().scl : tests.back().sda) =
                    static_cast<unsigned>(std::stoul((*m)[2]));
            tests.back().idle = line.find("initial_pin scl=1") != std::string::npos &&
                                line.find("initial_pin sda=1") != std::string::npos;
        } else if (first == "input") {
            std::string path;
            words >> path; // i2c/<dir>/<file>
            tests.back().capture = "captures/peer-suite/" + path.substr(path.find('/') + 1);
        } else if (first == "output" &&
                   line.find("output i2c annotation match ") != std::string::npos) {
            tests.back().reference = line.substr(line.rfind(' ') + 1);
        }
    }
    return tests;
}

// The reference decode as our event lines: starts, address and data bytes at
// their first sample, ACK/NACK and stops.
std::vector<std::string> referenceLines(const std::string &file)
{
    std::ifstream in(dataPath("captures/peer-suite/expected/" + file));
    EXPECT_TRUE(in.good()) << file;
    const std::regex annotation(R"re((\d+)-\d+ i2c: ([a-z-]+): "([^"]*)")re");
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, annotation))
            continue;
        const std::string sample = m[1], cls = m[2], text = m[3];
        char hex[8];
        if (cls == "start" || cls == "repeat-start") {
            lines.push_back(sample + " START");
        } else if (cls == "stop") {
            lines.push_back(sample + " STOP");
        } else if (cls == "ack" || cls == "nack") {
            lines.push_back(sample + (cls == "ack" ? " ACK" : " NACK"));
        } else if (cls.rfind("address-", 0) == 0 && text.rfind("Address", 0) == 0) {
            const unsigned address = std::stoul(text.substr(text.find(": ") + 2), nullptr, 16);
            std::snprintf(hex, sizeof hex, "%02X", (address << 1) | (cls == "address-read"));
            lines.push_back(sample + " ADDR " + hex);
        } else if (cls.rfind("data-", 0) == 0) {
            lines.push_back(sample + " DATA " + text.substr(text.find(": ") + 2));
        }
    }
    return lines;
}

TEST(I2CDecoder, MatchesPeerSuiteReferences)
{
    const std::vector<PeerTest> tests = peerTests();
    ASSERT_EQ(tests.size(), 9u);
    int referenced = 0;
    for (const PeerTest &t : tests) {
        SCOPED_TRACE(t.name);
        CaptureFile file;
        std::string error;
        ASSERT_TRUE(file.open(dataPath(t.capture), &error)) << error;
        I2CDecoderConfig config;
        config.sdaChannel = t.sda;
        config.sclChannel = t.scl;
        config.assumeIdle = t.idle;
        std::vector<I2CEvent> events;
        std::vector<uint64_t> samples;
        ASSERT_TRUE(decodeCapture(file, config, events, &samples, nullptr, &error)) << error;
        if (t.reference.empty()) {
            EXPECT_FALSE(events.empty());
            continue;
        }
        ++referenced;
        EXPECT_EQ(eventLines(events, samples), referenceLines(t.reference));
    }
    EXPECT_EQ(referenced, 8);
}

TEST(I2CDecoder, DecodesEveryExtraCaptureIntoTransfers)
{
    const std::string dir = dataPath("captures/extra");
    DIR *d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    std::vector<std::string> files;
    while (dirent *entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".sr") == 0)
            files.push_back(dir + "/" + name);
    }
    closedir(d);
    ASSERT_GE(files.size(), 3u);
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        CaptureFile file;
        std::string error;
        ASSERT_TRUE(file.open(path, &error)) << error;
        unsigned sda = 0, scl = 0;
        ASSERT_TRUE(chooseI2CChannels(file, 0, sda, scl, &error)) << error;
        I2CDecoderConfig config;
        config.sdaChannel = sda;
        config.sclChannel = scl;
        std::vector<I2CEvent> events;
        uint64_t count = 0;
        ASSERT_TRUE(decodeCapture(file, config, events, nullptr, &count, &error)) << error;
        EXPECT_GT(count, 1000000u);
        ASSERT_GT(events.size(), 100u);
        // Recordings may be cut mid-transfer at either end: check from the
        // first START up to the last STOP.
        size_t first = 0;
        while (first < events.size() && events[first].type != KORVEX_EVENT_START)
            ++first;
        size_t last = events.size();
        while (last > first && events[last - 1].type != KORVEX_EVENT_STOP)
            --last;
        const std::vector<I2CEvent> whole(events.begin() + long(first),
                                          events.begin() + long(last));
        EXPECT_EQ(test::transferProblem(whole, true), "");
    }
}

std::vector<std::string> decodeInPieces(const test::RawCapture &raw, I2CDecoderConfig config,
                                        const std::vector<size_t> &cuts)
{
    config.unitSize = raw.unitSize;
    config.sampleRate = raw.sampleRate;
    I2CDecoder decoder;
    EXPECT_TRUE(decoder.configure(config));
    std::vector<I2CEvent> events;
    std::vector<uint64_t> samples;
    size_t from = 0;
    for (size_t cut : cuts) {
        decoder.feed(raw.bytes.data() + from, cut - from, events, &samples);
        from = cut;
    }
    decoder.feed(raw.bytes.data() + from, raw.bytes.size() - from, events, &samples);
    EXPECT_EQ(decoder.samplesSeen(), raw.bytes.size() / raw.unitSize);
    return eventLines(events, samples);
}

TEST(I2CDecoder, SplittingTheInputNeverChangesTheEvents)
{
    I2CDecoderConfig config;
    config.sclChannel = 0;
    config.sdaChannel = 1;
    config.assumeIdle = true;
    const test::RawCapture rtc =
        loadRaw(dataPath("captures/peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr"));
    const std::vector<std::string> whole = decodeInPieces(rtc, config, {});
    ASSERT_EQ(whole.size(), 181u);
    for (size_t cut = 1; cut < rtc.bytes.size(); ++cut) {
        const auto split = decodeInPieces(rtc, config, {cut});
        if (split != whole) {
            ADD_FAILURE() << "split at byte " << cut << " changes the events";
            break;
        }
    }

    // Many random cuts through a long capture, including empty pieces.
    const test::RawCapture nacks = loadRaw(dataPath("captures/extra/8564je_nacks.sr"));
    config.sclChannel = 2;
    config.sdaChannel = 3;
    config.assumeIdle = false;
    const auto reference = decodeInPieces(nacks, config, {});
    std::mt19937_64 random(7);
    for (int round = 0; round < 3; ++round) {
        std::vector<size_t> cuts;
        for (int i = 0; i < 2000; ++i)
            cuts.push_back(random() % nacks.bytes.size());
        std::sort(cuts.begin(), cuts.end());
        EXPECT_EQ(decodeInPieces(nacks, config, cuts), reference) << "round " << round;
    }
}

// Rewrites unit-size-1 samples as `unitSize`-byte samples with SDA and SCL on
// other channels and noise on every other channel.
test::RawCapture widen(const test::RawCapture &raw, unsigned sdaFrom, unsigned sclFrom,
                       unsigned unitSize, unsigned sdaTo, unsigned sclTo)
{
    test::RawCapture wide;
    wide.unitSize = unitSize;
    wide.sampleRate = raw.sampleRate;
    wide.bytes.resize(raw.bytes.size() * unitSize);
    std::mt19937 random(unitSize);
    for (size_t i = 0; i < raw.bytes.size(); ++i) {
        uint8_t *unit = &wide.bytes[i * unitSize];
        for (unsigned b = 0; b < unitSize; ++b)
            unit[b] = static_cast<uint8_t>(random());
        auto put = [unit](unsigned channel, bool level) {
            uint8_t &byte = unit[channel / 8];
            byte = static_cast<uint8_t>(level ? byte | (1u << (channel % 8))
                                              : byte & ~(1u << (channel % 8)));
        };
        put(sdaTo, (raw.bytes[i] >> sdaFrom) & 1);
        put(sclTo, (raw.bytes[i] >> sclFrom) & 1);
    }
    return wide;
}

TEST(I2CDecoder, EveryUnitSizeAndChannelPlacementDecodesAlike)
{
    const test::RawCapture head = loadRaw(dataPath("captures/extra/24aa025uid_seqrndread256.sr"));
    I2CDecoderConfig narrow;
    narrow.sclChannel = 0;
    narrow.sdaChannel = 1;
    const auto reference = decodeInPieces(head, narrow, {});
    ASSERT_EQ(reference.size(), 521u);
    struct Placement
    {
        unsigned unitSize, sda, scl;
    };
    for (const Placement p : {Placement{1, 7, 0}, Placement{2, 15, 3}, Placement{3, 17, 5},
                              Placement{4, 31, 8}, Placement{8, 63, 40}, Placement{5, 1, 38}}) {
        SCOPED_TRACE("unit size " + std::to_string(p.unitSize));
        const test::RawCapture wide = widen(head, 1, 0, p.unitSize, p.sda, p.scl);
        I2CDecoderConfig config;
        config.sdaChannel = p.sda;
        config.sclChannel = p.scl;
        EXPECT_EQ(decodeInPieces(wide, config, {}), reference);
        // Cuts inside samples too.
        EXPECT_EQ(decodeInPieces(wide, config, {1, 2 * p.unitSize + 1, wide.bytes.size() / 3 + 1}),
                  reference);
    }
}

// Bus primitives, one sample per step: (sda, scl) levels in bits 0 and 1.
struct Wave
{
    std::vector<uint8_t> samples;
    void put(bool sda, bool scl, int count = 1)
    {
        samples.insert(samples.end(), count, uint8_t(sda | (scl << 1)));
    }
    void start()
    {
        put(1, 1, 2);
        put(0, 1, 2);
        put(0, 0);
    }
    void bit(bool b)
    {
        put(b, 0);
        put(b, 1, 2);
        put(b, 0);
    }
    void byte(uint8_t v, bool nack)
    {
        for (int i = 7; i >= 0; --i)
            bit((v >> i) & 1);
        bit(nack);
    }
    void stop()
    {
        put(0, 0);
        put(0, 1, 2);
        put(1, 1, 2);
    }
};

std::vector<std::string> decodeWave(const Wave &wave, bool idle)
{
    I2CDecoderConfig config;
    config.sdaChannel = 0;
    config.sclChannel = 1;
    config.assumeIdle = idle;
    I2CDecoder decoder;
    EXPECT_TRUE(decoder.configure(config));
    std::vector<I2CEvent> events;
    std::vector<uint64_t> samples;
    decoder.feed(wave.samples.data(), wave.samples.size(), events, &samples);
    std::vector<std::string> lines = eventLines(events, samples);
    for (std::string &l : lines)
        l = l.substr(l.find(' ') + 1); // types and bytes only
    return lines;
}

TEST(I2CDecoder, StartAndStopMidByteAbandonTheByte)
{
    Wave w;
    w.put(1, 1, 3);
    w.start();
    w.byte(0xA0, false);
    w.bit(1); // three bits of a byte, then a repeated START
    w.bit(0);
    w.bit(1);
    w.put(1, 0);
    w.put(1, 1);
    w.put(0, 1);
    w.put(0, 0);
    w.byte(0xA1, false);
    w.bit(0); // two bits, then STOP
    w.bit(1);
    w.stop();
    w.bit(1); // clocking without a START decodes nothing
    w.bit(0);
    w.stop();
    const std::vector<std::string> expected = {"START",   "ADDR A0", "ACK", "START",
                                               "ADDR A1", "ACK",     "STOP"};
    EXPECT_EQ(decodeWave(w, false), expected);
}

TEST(I2CDecoder, IdleStartShowsAStartInTheFirstSample)
{
    Wave w;
    w.put(0, 1, 3); // SDA already low while SCL is high: the capture began mid-START
    w.put(0, 0);
    w.byte(0x3C << 1, true);
    w.stop();
    const std::vector<std::string> fromFirst = decodeWave(w, false);
    const std::vector<std::string> fromIdle = decodeWave(w, true);
    EXPECT_TRUE(fromFirst.empty());
    const std::vector<std::string> expected = {"START", "ADDR 78", "NACK", "STOP"};
    EXPECT_EQ(fromIdle, expected);
}

TEST(I2CDecoder, TimestampsAreExactForAnySampleCount)
{
    constexpr uint64_t kRate = 100000000; // 100 MHz
    const uint64_t threeHours = 3ull * 3600 * kRate;
    EXPECT_EQ(I2CDecoder::sampleToNs(threeHours, kRate), 3ll * 3600 * 1000000000);
    EXPECT_EQ(I2CDecoder::sampleToNs(threeHours + 7, kRate), 3ll * 3600 * 1000000000 + 70);
    // A hundred days at 16 MHz; 2.5 MHz rounds down to whole nanoseconds.
    EXPECT_EQ(I2CDecoder::sampleToNs(100ull * 86400 * 16000000 + 1, 16000000),
              100ll * 86400 * 1000000000 + 62);
    EXPECT_EQ(I2CDecoder::sampleToNs(3, 2500000), 1200);
    EXPECT_EQ(I2CDecoder::sampleToNs(1, 3), 333333333);
    // Rates whose remainder times 10^9 no longer fits 64 bits.
    const uint64_t hugeRate = 40000000000ull;
    EXPECT_EQ(I2CDecoder::sampleToNs(hugeRate - 1, hugeRate), 999999999);
    // Beyond what int64 nanoseconds hold: saturated, never wrapped.
    EXPECT_EQ(I2CDecoder::sampleToNs(UINT64_MAX, 1), INT64_MAX);
    EXPECT_EQ(I2CDecoder::sampleToNs(UINT64_MAX, 1000000000), INT64_MAX);
    EXPECT_EQ(I2CDecoder::sampleToNs(UINT64_MAX, 100000000000ull), 184467440737095516ll);
    EXPECT_EQ(I2CDecoder::sampleToNs(12345, 0), 0);
}

TEST(I2CDecoder, RejectsImpossibleConfigurations)
{
    I2CDecoder decoder;
    std::string error;
    I2CDecoderConfig bad;
    bad.unitSize = 0;
    EXPECT_FALSE(decoder.configure(bad, &error));
    bad.unitSize = I2CDecoder::kMaxUnitSize + 1;
    EXPECT_FALSE(decoder.configure(bad, &error));
    bad.unitSize = 1;
    bad.sdaChannel = 8;
    EXPECT_FALSE(decoder.configure(bad, &error));
    EXPECT_NE(error.find("D8"), std::string::npos) << error;
    bad.sdaChannel = 1;
    bad.sclChannel = 1;
    EXPECT_FALSE(decoder.configure(bad, &error));
    // A refused configuration leaves the previous one in force.
    EXPECT_EQ(decoder.config().sclChannel, 1u);
    EXPECT_EQ(decoder.config().sdaChannel, 0u);
    std::vector<I2CEvent> events;
    decoder.feed(nullptr, 10, events);
    EXPECT_TRUE(events.empty());
}

} // namespace
} // namespace korvex
