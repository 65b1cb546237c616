// Helpers shared by the adapter library's tests.
#pragma once
#include "i2cdecoder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace korvex {

inline std::string dataPath(const std::string &relative)
{
    return std::string(KORVEX_TEST_DATA_DIR) + "/captures/" + relative;
}

inline std::vector<I2CEvent> decodeAll(const I2CDecoderConfig &config,
                                       const std::vector<uint8_t> &bytes,
                                       std::vector<uint64_t> *samples = nullptr)
{
    I2CDecoder decoder;
    EXPECT_TRUE(decoder.configure(config));
    std::vector<I2CEvent> events;
    decoder.feed(bytes.data(), bytes.size(), events, samples);
    return events;
}

// These tests take seconds: an endless sample or file loop fails the run
// after a minute instead of at the ctest timeout.
const bool kWatchdogArmed =
    (std::thread([] {
         std::this_thread::sleep_for(std::chrono::minutes(1));
         std::fputs("still running after a minute: endless loop?\n", stderr);
         std::_Exit(1);
     }).detach(),
     true);

} // namespace korvex
