// The C interface of the shared library: what a caller gets for bad arguments, what the
// library logs about them, and a capture through it.
#include <korvex/korvex.h>
#include <korvex/korvexhealth.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

std::atomic<int> calls{0};

int32_t count(int32_t, int32_t, const I2CEvent *, int32_t)
{
    ++calls;
    return 0;
}

// Runs `call` with the library's log on and returns what it wrote to stderr.
template <typename Call> std::string logOf(Call call)
{
    unsetenv("KORVEX_LOG");
    testing::internal::CaptureStderr();
    call();
    setenv("KORVEX_LOG", "quiet", 1);
    return testing::internal::GetCapturedStderr();
}

TEST(KorvexApi, RefusesBadArgumentsSaysWhyCapturesUntilStoppedAndKeepsReasons)
{
    setenv("KORVEX_SIMULATOR", "0", 1);
    EXPECT_EQ(scanAdapters(nullptr), 0);
    std::string log = logOf([] { EXPECT_EQ(openAdapter(0), 0); });
    EXPECT_NE(log.find("korvex: openAdapter: adapter index 0 is out of range"), std::string::npos);
    EXPECT_NE(startI2CCapture(0, 0, 1000000, count), 0);
    EXPECT_EQ(stopI2CCapture(0), 0);
    char text[16] = "x";
    EXPECT_EQ(describeAdapter(0, text, 0), -1);
    EXPECT_STREQ(text, "x") << "written beyond a buffer of size 0";
    EXPECT_TRUE(describeAdapter(0, text, sizeof text) == -1 && text[0] == '\0');
    unsetenv("KORVEX_SIMULATOR");
    ASSERT_EQ(scanAdapters(nullptr), 1);
    EXPECT_EQ(openAdapter(1), 0);
    EXPECT_EQ(startI2CCapture(0, 0, 1000000, count), 3) << "not opened";
    ASSERT_NE(openAdapter(0), 0);
    log = logOf([] {
        EXPECT_EQ(startI2CCapture(0, 4, 1000000, count), 5);
        EXPECT_EQ(startI2CCapture(0, -1, 1000000, count), 5);
        EXPECT_EQ(startI2CCapture(0, 0, 0, count), 6);
        EXPECT_EQ(startI2CCapture(0, 0, -1000000, count), 6);
        EXPECT_EQ(startI2CCapture(0, 0, 999999, count), 7);
        EXPECT_EQ(startI2CCapture(0, 0, 100000001, count), 7);
        EXPECT_EQ(startI2CCapture(0, 0, 1000000, nullptr), 4);
        EXPECT_EQ(startI2CCapture(-1, 0, 1000000, count), 1);
        EXPECT_EQ(startI2CCapture(1, 0, 1000000, count), 1);
    });
    for (const char *logged :
         {"channel pair 4 is not 0..3", "channel pair -1 is not 0..3",
          "sample rate 0 Hz is not positive", "-1000000 Hz is not positive", "not 999999 Hz",
          "not 100000001 Hz", "no callback given", "adapter index -1 is out of range",
          "adapter index 1 is out of range"})
        EXPECT_NE(log.find(logged), std::string::npos) << logged << " in " << log;
    EXPECT_EQ(calls, 0);
    // Descriptions are cut to the buffer, NUL-terminated, and tell their full length.
    const int32_t length = describeAdapter(0, text, sizeof text);
    EXPECT_EQ(std::string(text), "Built-in I2C bu");
    EXPECT_TRUE(length > 15 && describeAdapter(0, nullptr, 0) == length);
    testing::internal::CaptureStderr();
    EXPECT_EQ(openAdapter(9), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(startI2CCapture(0, 1, 100000000, count), 0); // the highest rate offered
    for (int wait = 0; calls < 3 && wait < 1000; ++wait)   // up to 5 s
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(stopI2CCapture(0), 0);
    const int seen = calls;
    EXPECT_GE(seen, 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(calls, seen) << "callback after stop";
    // Failures keep their reason for the caller.
    const std::string rtc = std::string(KORVEX_TEST_DATA_DIR) +
                            "/captures/peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr";
    setenv("KORVEX_REPLAY", ("missing.sr:" + rtc).c_str(), 1);
    ASSERT_EQ(scanAdapters(nullptr), 3);
    char why[256] = "x";
    EXPECT_EQ(openAdapter(1), 0);
    EXPECT_EQ(lastAdapterError(why, 7), 51) << "cut to the buffer, full length told";
    EXPECT_STREQ(why, "cannot");
    EXPECT_NE(startI2CCapture(1, 0, 1000000, count), 0);
    lastAdapterError(why, sizeof why);
    EXPECT_STREQ(why, "adapter 1 is not open; call openAdapter first");
    EXPECT_EQ(captureState(3, why, sizeof why), -1);
    ASSERT_NE(openAdapter(2), 0);
    EXPECT_EQ(lastAdapterError(why, sizeof why), 0) << "success leaves no reason";
    ASSERT_EQ(startI2CCapture(2, 0, 1000000, count), 0); // the window sees the replay end
    EXPECT_EQ(captureState(2, why, sizeof why), KORVEX_CAPTURE_RUNNING);
    EXPECT_TRUE(stopI2CCapture(2) == 0 && captureState(2, why, sizeof why) == KORVEX_CAPTURE_IDLE);
    unsetenv("KORVEX_REPLAY");
}

// Bus health through the interface: every finding arrives before the events
// callback that delivers its event, and all of them before stop returns.
struct HealthLog
{
    std::mutex lock; // the callbacks run on the capture thread, the checks here
    uint64_t eventsSeen = 0;
    std::set<int32_t> kinds;
    int misordered = 0;
} healthLog;

int32_t countEvents(int32_t, int32_t, const I2CEvent *, int32_t n)
{
    std::lock_guard<std::mutex> hold(healthLog.lock);
    healthLog.eventsSeen += uint64_t(n);
    return 0;
}

void takeFindings(int32_t index, const KorvexFinding *f, int32_t n, void *userData)
{
    std::lock_guard<std::mutex> hold(healthLog.lock);
    EXPECT_EQ(userData, &healthLog);
    EXPECT_EQ(index, 0);
    for (int32_t i = 0; i < n; ++i) {
        healthLog.kinds.insert(f[i].kind);
        healthLog.misordered += f[i].eventIndex < healthLog.eventsSeen;
        EXPECT_STREQ(f[i].kindName, korvexHealthKindName(f[i].kind));
    }
}

TEST(KorvexApi, BusHealthFindingsComeBeforeTheirEventsAndBeforeStopReturns)
{
    setenv("KORVEX_SIM_SPEED", "max", 1);
    setenv("KORVEX_SIM_FAULTS", "all", 1);
    ASSERT_GE(scanAdapters(nullptr), 1);
    ASSERT_NE(openAdapter(0), 0);
    KorvexHealthOptions options;
    busHealthDefaults(&options);
    EXPECT_EQ(options.mode, KORVEX_HEALTH_MODE_AUTO);
    EXPECT_EQ(options.glitchFilterNs, 0);
    EXPECT_EQ(enableBusHealth(7, &options, takeFindings, &healthLog), 1);
    options.mode = 5;
    EXPECT_EQ(enableBusHealth(0, &options, takeFindings, &healthLog), 5);
    options.mode = KORVEX_HEALTH_MODE_AUTO;
    options.glitchFilterNs = -1;
    EXPECT_EQ(enableBusHealth(0, &options, takeFindings, &healthLog), 5);
    options.glitchFilterNs = 0;
    options.pecAddress[0x2B] = 1;
    ASSERT_EQ(enableBusHealth(0, &options, takeFindings, &healthLog), 0);
    EXPECT_EQ(busHealthMode(0), KORVEX_HEALTH_MODE_AUTO);
    ASSERT_EQ(startI2CCapture(0, 0, 4000000, countEvents), 0);
    EXPECT_EQ(enableBusHealth(0, nullptr, nullptr, nullptr), 2) << "not while capturing";
    for (int wait = 0; wait < 2000; ++wait) { // up to 10 s
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard<std::mutex> hold(healthLog.lock);
        if (healthLog.kinds.size() >= KORVEX_HEALTH_UNDERSAMPLED - 2)
            break;
    }
    EXPECT_EQ(stopI2CCapture(0), 0);
    EXPECT_EQ(busHealthMode(0), KORVEX_HEALTH_MODE_SM);
    {
        std::lock_guard<std::mutex> hold(healthLog.lock);
        EXPECT_EQ(healthLog.misordered, 0);
        EXPECT_GE(healthLog.kinds.size(), size_t(KORVEX_HEALTH_UNDERSAMPLED - 2));
        EXPECT_FALSE(healthLog.kinds.count(KORVEX_HEALTH_UNDERSAMPLED));
    }
    // Off again: the next capture delivers events only.
    ASSERT_EQ(enableBusHealth(0, nullptr, nullptr, nullptr), 0);
    const size_t kinds = healthLog.kinds.size();
    ASSERT_EQ(startI2CCapture(0, 0, 4000000, countEvents), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(stopI2CCapture(0), 0);
    EXPECT_EQ(healthLog.kinds.size(), kinds);
    EXPECT_STREQ(korvexHealthKindName(KORVEX_HEALTH_T_SU_STA), "t-su-sta");
    EXPECT_STREQ(korvexHealthKindName(KORVEX_HEALTH_KIND_COUNT), "");
    EXPECT_STREQ(korvexHealthKindName(0), "");
    EXPECT_STREQ(korvexHealthSeverityName(KORVEX_SEVERITY_UNRESOLVED), "unresolved");
    EXPECT_STREQ(korvexHealthSeverityName(4), "");
    unsetenv("KORVEX_SIM_FAULTS");
    unsetenv("KORVEX_SIM_SPEED");
}

} // namespace
