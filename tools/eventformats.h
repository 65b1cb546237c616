// The output formats of korvex-decode. Every format is one entry in the table
// in eventformats.cpp: a name, its help and a function that writes a
// decoded capture.
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

// Where a format writes: the file given with --output, else standard output.
// Standard output comes both as a stream and as its descriptor, because some
// formats reuse writers of the program that write to descriptors or devices;
// those flush the stream before they write, so the two never interleave.
struct FormatOutput
{
    std::string path;               // empty: standard output
    std::ostream *stream = nullptr; // standard output as a stream
    int fd = -1;                    // standard output's descriptor; -1: none
};

std::vector<std::string> eventFormatNames();
bool isEventFormat(const std::string &format);
// Each format's name and what it writes, aligned for the usage text.
std::string eventFormatHelp();

// Writes `capture` in `format`. False, with the reason in *error, for an
// unknown format, an output that cannot be opened or a write that failed.
bool writeEventFormat(const std::string &format, const DecodedCapture &capture,
                      const FormatOutput &output, std::string *error);

// The text of one event's type: START, ADDR, DATA, ACK, NACK, STOP, or "?".
const char *eventTypeName(int32_t type);

} // namespace korvex
