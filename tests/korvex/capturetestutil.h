// Helpers shared by the adapter library's tests.
#pragma once

#include "capturefile.h"
#include "i2cdecoder.h"

#include <korvex/korvex.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace korvex {
namespace test {

inline std::string dataPath(const std::string &relative)
{
    return std::string(KORVEX_TEST_DATA_DIR) + "/" + relative;
}

struct RawCapture
{
    std::vector<uint8_t> bytes;
    unsigned unitSize = 0;
    uint64_t sampleRate = 0;
};

// Every sample of a capture file, in memory.
inline RawCapture loadRaw(const std::string &path)
{
    RawCapture raw;
    CaptureFile file;
    std::string error;
    EXPECT_TRUE(file.open(path, &error)) << error;
    raw.sampleRate = file.sampleRate();
    EXPECT_TRUE(file.read(
        [&raw](const uint8_t *data, size_t bytes, unsigned unitSize) {
            raw.unitSize = unitSize;
            raw.bytes.insert(raw.bytes.end(), data, data + bytes);
            return true;
        },
        &error))
        << error;
    return raw;
}

// One line per event, "<sample> <TYPE>[ <HH>]", for readable comparisons.
inline std::vector<std::string> eventLines(const std::vector<I2CEvent> &events,
                                           const std::vector<uint64_t> &samples)
{
    static const char *const names[] = {"?", "START", "ADDR", "DATA", "STOP", "NACK", "ACK"};
    std::vector<std::string> lines;
    for (size_t i = 0; i < events.size(); ++i) {
        const int type = events[i].type;
        char line[64];
        if (type == KORVEX_EVENT_ADDR || type == KORVEX_EVENT_DATA)
            std::snprintf(line, sizeof line, "%llu %s %02X",
                          static_cast<unsigned long long>(samples[i]), names[type], events[i].data);
        else
            std::snprintf(line, sizeof line, "%llu %s", static_cast<unsigned long long>(samples[i]),
                          type >= 1 && type <= 6 ? names[type] : "?");
        lines.push_back(line);
    }
    return lines;
}

// Checks that events form whole transfers: START, an address byte and its
// ACK/NACK, data bytes each with an ACK/NACK, and a STOP or a repeated
// START. Returns the first problem, or "" when the stream is well formed.
inline std::string transferProblem(const std::vector<I2CEvent> &events, bool endsWithStop)
{
    enum { Idle, AfterStart, AfterByte, AfterAck } state = Idle;
    for (size_t i = 0; i < events.size(); ++i) {
        const int type = events[i].type;
        const std::string at = " at event " + std::to_string(i);
        if (i > 0 && events[i].timestamp < events[i - 1].timestamp)
            return "time goes back" + at;
        switch (type) {
        case KORVEX_EVENT_START:
            if (state == AfterByte)
                return "START before the byte's ACK/NACK" + at;
            state = AfterStart;
            break;
        case KORVEX_EVENT_ADDR:
            if (state != AfterStart)
                return "ADDR not right after START" + at;
            state = AfterByte;
            break;
        case KORVEX_EVENT_DATA:
            if (state != AfterAck)
                return "DATA not after an ACK/NACK" + at;
            state = AfterByte;
            break;
        case KORVEX_EVENT_ACK:
        case KORVEX_EVENT_NACK:
            if (state != AfterByte)
                return "ACK/NACK without a byte" + at;
            state = AfterAck;
            break;
        case KORVEX_EVENT_STOP:
            if (state != AfterAck)
                return "STOP not after an ACK/NACK" + at;
            state = Idle;
            break;
        default:
            return "unknown type " + std::to_string(type) + at;
        }
    }
    if (endsWithStop && state != Idle)
        return "the last transfer has no STOP";
    return "";
}

} // namespace test
} // namespace korvex
