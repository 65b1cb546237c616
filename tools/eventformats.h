// The output formats of korvex-decode. Every format is one entry in the table
// in eventformats.cpp: a name and a function that writes a decoded capture.
#pragma once

#include <korvex/korvex.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace korvex {

// A decoded capture: the event stream and, per event, its sample position.
struct DecodedCapture
{
    std::string path;
    uint64_t sampleRate = 0; // Hz; 0 when the file records none (timestamps are then 0)
    uint64_t sampleCount = 0;
    std::vector<I2CEvent> events;
    std::vector<uint64_t> samples; // same length as events
};

std::vector<std::string> eventFormatNames();
bool isEventFormat(const std::string &format);

// Writes `capture` to `out` in `format`. False, with the reason in *error,
// for an unknown format or a capture the format cannot express.
bool writeEventFormat(const std::string &format, const DecodedCapture &capture, std::ostream &out,
                      std::string *error);

// The text of one event's type: START, ADDR, DATA, ACK, NACK, STOP, or "?".
const char *eventTypeName(int32_t type);

} // namespace korvex
