// Helpers shared by the adapter library's tests.
#pragma once
#include "korvex/src/i2cdecoder.h"

#include <gtest/gtest.h>

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

} // namespace korvex
