// The C interface of the shared library: what a caller gets for bad
// arguments, what the library logs about them, and a capture through it.
#include <korvex/korvex.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
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
    const std::string log = testing::internal::GetCapturedStderr();
    setenv("KORVEX_LOG", "quiet", 1);
    return log;
}

TEST(KorvexApi, RefusesBadArgumentsAndSaysWhy)
{
    setenv("KORVEX_LIVE", "0", 1);
    setenv("KORVEX_SIMULATOR", "0", 1);
    EXPECT_EQ(scanAdapters(nullptr), 0);
    std::string log = logOf([] { EXPECT_EQ(openAdapter(0), 0); });
    EXPECT_NE(log.find("korvex: openAdapter: adapter index 0 is out of range"), std::string::npos)
        << log;
    EXPECT_NE(startI2CCapture(0, 0, 1000000, count), 0);
    EXPECT_EQ(stopI2CCapture(0), 0);
    char text[16] = "x";
    EXPECT_EQ(describeAdapter(0, text, 0), -1);
    EXPECT_STREQ(text, "x") << "written beyond a buffer of size 0";
    EXPECT_EQ(describeAdapter(0, text, sizeof text), -1);
    EXPECT_STREQ(text, "");

    unsetenv("KORVEX_SIMULATOR");
    ASSERT_EQ(scanAdapters(nullptr), 1);
    EXPECT_EQ(openAdapter(1), 0);
    EXPECT_EQ(startI2CCapture(0, 0, 1000000, count), 3) << "not opened";
    ASSERT_NE(openAdapter(0), 0);
    // The codes are documented in korvex.h.
    const struct
    {
        int32_t index, pair, rate;
        I2CCaptureCallback callback;
        int32_t code;
        const char *logged;
    } cases[] = {{0, 4, 1000000, count, 5, "channel pair 4 is not 0..3"},
                 {0, -1, 1000000, count, 5, "channel pair -1 is not 0..3"},
                 {0, 0, 0, count, 6, "sample rate 0 Hz is not positive"},
                 {0, 0, -1000000, count, 6, "not positive"},
                 {0, 0, 999999, count, 7, "not 999999 Hz"},
                 {0, 0, 100000001, count, 7, "not 100000001 Hz"},
                 {0, 0, 1000000, nullptr, 4, "no callback given"},
                 {-1, 0, 1000000, count, 1, "adapter index -1 is out of range"},
                 {1, 0, 1000000, count, 1, "adapter index 1 is out of range"}};
    for (const auto &c : cases) {
        log = logOf(
            [&c] { EXPECT_EQ(startI2CCapture(c.index, c.pair, c.rate, c.callback), c.code); });
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    }
    EXPECT_EQ(calls, 0);

    // Descriptions are cut to the buffer, NUL-terminated, and tell their full length.
    const int32_t length = describeAdapter(0, text, sizeof text);
    EXPECT_GT(length, 15);
    EXPECT_EQ(std::string(text).size(), 15u);
    EXPECT_EQ(describeAdapter(0, nullptr, 0), length);
    EXPECT_EQ(std::string(text).rfind("Built-in I2C bu", 0), 0u) << text;

    // Quiet means quiet.
    testing::internal::CaptureStderr();
    EXPECT_EQ(openAdapter(9), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(KorvexApi, CapturesFromTheSimulatorUntilStopped)
{
    setenv("KORVEX_LIVE", "0", 1);
    unsetenv("KORVEX_SIMULATOR");
    ASSERT_GE(scanAdapters(nullptr), 1);
    ASSERT_NE(openAdapter(0), 0);
    for (int rate : {1000000, 100000000}) {
        calls = 0;
        ASSERT_EQ(startI2CCapture(0, 1, rate, count), 0) << rate;
        for (int wait = 0; calls < 3 && wait < 1000; ++wait) // up to 5 s
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(stopI2CCapture(0), 0);
        EXPECT_GE(calls, 3) << rate;
        const int seen = calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        EXPECT_EQ(calls, seen) << "callback after stop at " << rate;
    }
}

} // namespace
