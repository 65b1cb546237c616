// The adapters behind the C interface: captures that run from start to stop
// on a thread of their own, replays of recorded files, refused files, and
// the libsigrok path through the demo device.
#include "adapterregistry.h"
#include "bussimulator.h"
#include "capturedecoding.h"
#include "capturetestutil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

namespace korvex {
namespace {

using namespace std::chrono_literals;

// What the callback saw. The callback is a plain function, so this is global.
struct Recorder
{
    std::mutex mutex;
    std::vector<I2CEvent> events;
    std::vector<int32_t> sequences;
    std::vector<int32_t> indexes;
    std::atomic<int> calls{0};
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> onCallerThread{false};
    std::thread::id caller;
    size_t limit = SIZE_MAX;

    void reset()
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.clear();
        sequences.clear();
        indexes.clear();
        calls = 0;
        overlapped = false;
        onCallerThread = false;
        caller = std::this_thread::get_id();
        limit = SIZE_MAX;
    }
    size_t eventCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return events.size();
    }
};

Recorder recorder;

int32_t record(int32_t index, int32_t sequence, const I2CEvent *events, int32_t count)
{
    if (recorder.inside.fetch_add(1) != 0)
        recorder.overlapped = true;
    if (std::this_thread::get_id() == recorder.caller)
        recorder.onCallerThread = true;
    {
        std::lock_guard<std::mutex> lock(recorder.mutex);
        recorder.indexes.push_back(index);
        recorder.sequences.push_back(sequence);
        for (int32_t i = 0; i < count && recorder.events.size() < recorder.limit; ++i)
            recorder.events.push_back(events[i]);
    }
    ++recorder.calls;
    recorder.inside.fetch_sub(1);
    return 0;
}

// Sets the environment of one test and clears it again.
class Environment
{
public:
    Environment(std::initializer_list<std::pair<const char *, const char *>> values)
    {
        for (const char *name : {"KORVEX_SIMULATOR", "KORVEX_REPLAY", "KORVEX_REPLAY_SPEED",
                                 "KORVEX_SIM_SEED", "KORVEX_SIM_SPEED"})
            unsetenv(name);
        setenv("KORVEX_LIVE", "0", 1);
        for (const auto &v : values)
            setenv(v.first, v.second, 1);
    }
    ~Environment()
    {
        for (const char *name : {"KORVEX_SIMULATOR", "KORVEX_REPLAY", "KORVEX_REPLAY_SPEED",
                                 "KORVEX_SIM_SEED", "KORVEX_SIM_SPEED"})
            unsetenv(name);
        setenv("KORVEX_LIVE", "0", 1);
    }
};

bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(AdapterRegistry, SimulatorDeliversAtWallClockPaceUntilStopped)
{
    Environment env({});
    AdapterRegistry registry;
    ASSERT_EQ(registry.scan(), 1);
    ASSERT_TRUE(registry.open(0));
    recorder.reset();
    ASSERT_EQ(registry.start(0, 2, 5000000, record), 0);
    EXPECT_TRUE(waitFor([] { return recorder.calls >= 10; }, 5s));
    registry.stop(0);
    const int calls = recorder.calls;
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(recorder.calls, calls) << "callback after stop returned";
    EXPECT_FALSE(recorder.overlapped);
    EXPECT_FALSE(recorder.onCallerThread);
    std::lock_guard<std::mutex> lock(recorder.mutex);
    for (size_t i = 0; i < recorder.sequences.size(); ++i) {
        EXPECT_EQ(recorder.sequences[i], static_cast<int32_t>(i));
        EXPECT_EQ(recorder.indexes[i], 0);
    }
    // Real-time pace: the bus time delivered is about the time waited.
    ASSERT_FALSE(recorder.events.empty());
    EXPECT_LT(recorder.events.back().timestamp, 5000000000ll);
    EXPECT_EQ(test::transferProblem(recorder.events, false), "");
}

TEST(AdapterRegistry, SimulatorCaptureIsTheSeededBusDecoded)
{
    Environment env({{"KORVEX_SIM_SPEED", "max"}, {"KORVEX_SIM_SEED", "9"}});
    AdapterRegistry registry;
    ASSERT_EQ(registry.scan(), 1);
    ASSERT_TRUE(registry.open(0));
    recorder.reset();
    recorder.limit = 3000;
    ASSERT_EQ(registry.start(0, 3, 2500000, record), 0);
    EXPECT_TRUE(waitFor([] { return recorder.eventCount() >= 3000; }, 20s));
    registry.stop(0);

    BusSimulator bus(2500000, 3, 9);
    std::vector<uint8_t> samples;
    I2CDecoderConfig config;
    config.sdaChannel = 6;
    config.sclChannel = 7;
    config.sampleRate = 2500000;
    config.assumeIdle = true;
    I2CDecoder decoder;
    ASSERT_TRUE(decoder.configure(config));
    std::vector<I2CEvent> expected;
    while (expected.size() < 3000) {
        samples.clear();
        bus.generate(25000, samples);
        decoder.feed(samples.data(), samples.size(), expected);
    }
    expected.resize(3000);
    std::lock_guard<std::mutex> lock(recorder.mutex);
    ASSERT_EQ(recorder.events.size(), 3000u);
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(recorder.events[i].type, expected[i].type) << i;
        ASSERT_EQ(recorder.events[i].data, expected[i].data) << i;
        ASSERT_EQ(recorder.events[i].timestamp, expected[i].timestamp) << i;
    }
}

int32_t stopFromInside(int32_t, int32_t, const I2CEvent *, int32_t);
AdapterRegistry *insideRegistry = nullptr;
std::atomic<int> insideCalls{0};
std::atomic<int32_t> insideStartResult{0};

int32_t stopFromInside(int32_t index, int32_t, const I2CEvent *, int32_t)
{
    if (insideCalls++ == 0) {
        insideStartResult = insideRegistry->start(index, 0, 1000000, stopFromInside);
        insideRegistry->stop(index);
    }
    return 0;
}

TEST(AdapterRegistry, StartStopCyclesAreCleanAndRefuseMisuse)
{
    Environment env({{"KORVEX_SIM_SPEED", "max"}});
    AdapterRegistry registry;
    ASSERT_EQ(registry.scan(), 1);
    registry.stop(0); // idle: harmless
    EXPECT_NE(registry.start(0, 0, 1000000, record), 0) << "started without open";
    ASSERT_TRUE(registry.open(0));
    ASSERT_TRUE(registry.open(0)); // opening twice is fine
    for (int round = 0; round < 25; ++round) {
        recorder.reset();
        ASSERT_EQ(registry.start(0, round % 4, 1000000, record), 0) << round;
        EXPECT_NE(registry.start(0, 0, 1000000, record), 0) << "second start while capturing";
        EXPECT_EQ(registry.scan(), 1); // a scan while capturing keeps the list
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
        registry.stop(0);
        const int calls = recorder.calls;
        std::this_thread::sleep_for(2ms);
        ASSERT_EQ(recorder.calls, calls) << "callback after stop, round " << round;
        ASSERT_FALSE(recorder.overlapped);
    }
    registry.stop(0);

    // Stopping from inside the callback asks for the stop; a start from there
    // is refused; the next stop joins the thread.
    insideRegistry = &registry;
    insideCalls = 0;
    ASSERT_EQ(registry.start(0, 0, 1000000, stopFromInside), 0);
    EXPECT_TRUE(waitFor([] { return insideCalls > 0; }, 5s));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(insideCalls, 1);
    EXPECT_NE(insideStartResult, 0);
    registry.stop(0);
    recorder.reset();
    EXPECT_EQ(registry.start(0, 0, 1000000, record), 0) << "restart after a stop from inside";
    registry.stop(0);
}

TEST(AdapterRegistry, BadArgumentsAreRefused)
{
    Environment env({});
    AdapterRegistry registry;
    ASSERT_EQ(registry.scan(), 1);
    EXPECT_FALSE(registry.open(-1));
    EXPECT_FALSE(registry.open(1));
    ASSERT_TRUE(registry.open(0));
    EXPECT_NE(registry.start(1, 0, 1000000, record), 0);
    EXPECT_NE(registry.start(-7, 0, 1000000, record), 0);
    for (int32_t pair : {-1, 4, 100})
        EXPECT_NE(registry.start(0, pair, 1000000, record), 0) << "pair " << pair;
    for (int32_t rate : {0, -1, -2500000, 999999, 200000000})
        EXPECT_NE(registry.start(0, 0, rate, record), 0) << "rate " << rate;
    EXPECT_NE(registry.start(0, 0, 1000000, nullptr), 0);
    registry.stop(5); // out of range: harmless

    char text[16];
    EXPECT_EQ(registry.describe(3, text, sizeof text), -1);
    EXPECT_STREQ(text, "");
    const int32_t length = registry.describe(0, text, sizeof text);
    EXPECT_GT(length, 15);
    EXPECT_EQ(std::string(text).size(), 15u); // cut to the buffer, NUL-terminated
    EXPECT_EQ(registry.describe(0, nullptr, 0), length);
}

TEST(AdapterRegistry, NoAdapterAtAllWhenAllAreSwitchedOff)
{
    Environment env({{"KORVEX_SIMULATOR", "0"}});
    AdapterRegistry registry;
    EXPECT_EQ(registry.scan(), 0);
    EXPECT_FALSE(registry.open(0));
    EXPECT_NE(registry.start(0, 0, 1000000, record), 0);
}

TEST(AdapterRegistry, ReplayAtFullSpeedDeliversTheWholeFile)
{
    const std::string path = test::dataPath("captures/extra/8564je_nacks.sr");
    const std::string replays = path + ":" + path + ".missing";
    Environment env({{"KORVEX_REPLAY", replays.c_str()}, {"KORVEX_REPLAY_SPEED", "max"}});
    AdapterRegistry registry;
    ASSERT_EQ(registry.scan(), 3);
    char text[256];
    registry.describe(1, text, sizeof text);
    EXPECT_EQ(std::string(text), "Replay: " + path + " (16 MHz, 8 channels)");

    CaptureFile file;
    std::string error;
    ASSERT_TRUE(file.open(path, &error)) << error;
    I2CDecoderConfig config;
    config.sdaChannel = 3; // named SDA
    config.sclChannel = 2; // named SCL
    std::vector<I2CEvent> expected;
    ASSERT_TRUE(decodeCapture(file, config, expected, nullptr, nullptr, &error)) << error;
    ASSERT_EQ(expected.size(), 61015u);

    ASSERT_TRUE(registry.open(1));
    recorder.reset();
    // The file names its channels: the pair does not matter.
    ASSERT_EQ(registry.start(1, 3, 1000000, record), 0);
    EXPECT_TRUE(waitFor([&] { return recorder.eventCount() >= expected.size(); }, 30s));
    std::this_thread::sleep_for(20ms);
    registry.stop(1);
    std::lock_guard<std::mutex> lock(recorder.mutex);
    ASSERT_EQ(recorder.events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(recorder.events[i].type, expected[i].type) << i;
        ASSERT_EQ(recorder.events[i].data, expected[i].data) << i;
        ASSERT_EQ(recorder.events[i].timestamp, expected[i].timestamp) << i;
    }
    EXPECT_FALSE(registry.open(2)) << "missing file";
}

TEST(AdapterRegistry, ReplayOfWideAndAnalogCapturesUsesTheLogicChannels)
{
    // The first chunk of 24aa025uid_seqrndread256.sr, as 16 channels with SCL
    // and SDA named at D9 and D12, and beside an analog channel; and a
    // capture of analog channels only.
    const std::string sixteen = test::dataPath("captures/synthetic/sixteen-channels.sr");
    const std::string mixed = test::dataPath("captures/synthetic/logic-and-analog.sr");
    const std::string analog = test::dataPath("captures/synthetic/analog-only.sr");
    std::vector<std::vector<I2CEvent>> decoded;
    for (const std::string &path : {sixteen, mixed}) {
        CaptureFile file;
        std::string error;
        ASSERT_TRUE(file.open(path, &error)) << error;
        unsigned sda = 0, scl = 0;
        ASSERT_TRUE(chooseI2CChannels(file, 0, sda, scl, &error)) << error;
        I2CDecoderConfig config;
        config.sdaChannel = sda;
        config.sclChannel = scl;
        decoded.emplace_back();
        ASSERT_TRUE(decodeCapture(file, config, decoded.back(), nullptr, nullptr, &error)) << error;
    }
    EXPECT_EQ(decoded[0].size(), 164u);
    ASSERT_EQ(decoded[0].size(), decoded[1].size());
    for (size_t i = 0; i < decoded[0].size(); ++i) {
        ASSERT_EQ(decoded[0][i].type, decoded[1][i].type) << i;
        ASSERT_EQ(decoded[0][i].data, decoded[1][i].data) << i;
        ASSERT_EQ(decoded[0][i].timestamp, decoded[1][i].timestamp) << i;
    }

    const std::string list = sixteen + ":" + mixed + ":" + analog;
    Environment env({{"KORVEX_SIMULATOR", "0"},
                     {"KORVEX_REPLAY", list.c_str()},
                     {"KORVEX_REPLAY_SPEED", "max"}});
    AdapterRegistry registry;
    ASSERT_EQ(registry.scan(), 3);
    for (int32_t i = 0; i < 2; ++i) {
        ASSERT_TRUE(registry.open(i)) << i;
        recorder.reset();
        ASSERT_EQ(registry.start(i, 0, 1000000, record), 0) << i;
        EXPECT_TRUE(waitFor([&] { return recorder.eventCount() >= decoded[0].size(); }, 30s));
        registry.stop(i);
        EXPECT_EQ(recorder.eventCount(), decoded[0].size()) << i;
    }
    EXPECT_FALSE(registry.open(2)) << "no logic channels";
    EXPECT_NE(registry.start(2, 0, 1000000, record), 0);
}

TEST(AdapterRegistry, ReplayPlaysAtRecordedPace)
{
    const std::string path = test::dataPath("captures/extra/8564je_nacks.sr");
    Environment env({{"KORVEX_SIMULATOR", "0"}, {"KORVEX_REPLAY", path.c_str()}});
    AdapterRegistry registry;
    ASSERT_EQ(registry.scan(), 1);
    ASSERT_TRUE(registry.open(0));
    recorder.reset();
    const auto began = std::chrono::steady_clock::now();
    ASSERT_EQ(registry.start(0, 0, 16000000, record), 0);
    std::this_thread::sleep_for(400ms);
    registry.stop(0);
    const auto waited = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now() - began)
                            .count();
    std::lock_guard<std::mutex> lock(recorder.mutex);
    ASSERT_FALSE(recorder.events.empty());
    // Nothing from the bus's future: the last event is no later than the wall clock.
    EXPECT_LE(recorder.events.back().timestamp, waited);
}

void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(AdapterRegistry, ReplayRefusesBrokenFiles)
{
    const std::string good = readFile(
        test::dataPath("captures/peer-suite/sensirion_sht3x/sensirion_sht31_25rh_28rh.sr"));
    ASSERT_GT(good.size(), 20000u);
    writeFile("empty.sr", "");
    writeFile("truncated.sr", good.substr(0, good.size() / 2));
    writeFile("noise.sr", std::string(4096, '\x5a'));
    std::string damaged = good;
    for (size_t i = 10900; i < 11000; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x55); // inside the first sample member
    writeFile("damaged.sr", damaged);
    const std::string noRate =
        test::dataPath("captures/peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz_no_samplerate.sr");
    // Found by fuzzing: its metadata member does not inflate, so libsigrok
    // loads a session without a device (this once deadlocked the loader).
    const std::string noDevice = test::dataPath("captures/damaged/unreadable-metadata.sr");
    const std::string list =
        "empty.sr:truncated.sr:noise.sr:damaged.sr:" + noRate + ":" + noDevice + ":missing.sr:.";
    Environment env({{"KORVEX_SIMULATOR", "0"}, {"KORVEX_REPLAY", list.c_str()}});
    AdapterRegistry registry;
    ASSERT_EQ(registry.scan(), 8);
    for (int32_t i = 0; i < 8; ++i) {
        char text[512];
        EXPECT_GT(registry.describe(i, text, sizeof text), 0);
        EXPECT_FALSE(registry.open(i)) << text;
        EXPECT_NE(registry.start(i, 0, 1000000, record), 0) << text;
    }
    // The same files through the decoding path say why.
    for (const std::string &name : {std::string("empty.sr"), std::string("truncated.sr"),
                                    std::string("noise.sr"), std::string("damaged.sr"), noDevice}) {
        CaptureFile file;
        std::string error;
        std::vector<I2CEvent> events;
        const bool decoded =
            file.open(name, &error) && decodeCapture(file, {}, events, nullptr, nullptr, &error);
        EXPECT_FALSE(decoded) << name;
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
}

TEST(AdapterRegistry, LiveAnalyzerPathRunsOnTheDemoDevice)
{
    Environment env({{"KORVEX_SIMULATOR", "0"}, {"KORVEX_LIVE", "demo"}});
    AdapterRegistry registry;
    ASSERT_GE(registry.scan(), 1);
    char text[256];
    registry.describe(0, text, sizeof text);
    EXPECT_EQ(std::string(text).rfind("Live: ", 0), 0u) << text;
    EXPECT_NE(std::string(text).find("demo"), std::string::npos) << text;
    ASSERT_TRUE(registry.open(0));
    for (int round = 0; round < 3; ++round) {
        recorder.reset();
        ASSERT_EQ(registry.start(0, round, 1000000, record), 0);
        std::this_thread::sleep_for(150ms);
        registry.stop(0);
        const int calls = recorder.calls;
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(recorder.calls, calls);
        EXPECT_FALSE(recorder.overlapped);
    }
    // A rescan replaces the device; the new one opens and runs too.
    ASSERT_GE(registry.scan(), 1);
    ASSERT_TRUE(registry.open(0));
    EXPECT_EQ(registry.start(0, 0, 2500000, record), 0);
    registry.stop(0);
}

} // namespace
} // namespace korvex
