// The output formats of korvex-decode. Every format is one entry in the table
// in eventformats.cpp: a name, its help and a writer that takes the decoded
// events batch by batch, so no format holds more than a batch and its counts
// whatever the capture's length.
#pragma once

#include "tools/outputfile.h"

#include <korvex/korvex.h>
#include <korvex/korvexhealth.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvex {

// One format's writer over an OutputFile: fed the events in order, then
// finished. Bytes collect in a buffer of its own and go out at 64 KiB.
class FormatWriter
{
public:
    explicit FormatWriter(OutputFile &out) : m_out(out) {}
    virtual ~FormatWriter() = default;
    FormatWriter(const FormatWriter &) = delete;
    FormatWriter &operator=(const FormatWriter &) = delete;

    // The next events, each with its sample position. False once the output
    // failed: nothing more needs decoding.
    virtual bool write(const I2CEvent *events, const uint64_t *samples, size_t count) = 0;
    // Bus-health findings, each before the events it names; only the health
    // format writes them.
    virtual bool writeFindings(const KorvexFinding *, size_t) { return true; }
    // Writes what follows the last event and the buffer. False on failure.
    virtual bool finish() { return flush(); }
    // Why write() or finish() failed.
    std::string errorString() const { return m_error.empty() ? m_out.errorString() : m_error; }

protected:
    // Sends the buffer on once it is large; false once the output failed.
    bool flushIfFull() { return m_buffer.size() < kFlushBytes || flush(); }
    bool flush();
    bool fail(const std::string &why);

    static constexpr size_t kFlushBytes = 1 << 16;
    OutputFile &m_out;
    std::string m_buffer;
    std::string m_error;
};

std::vector<std::string> eventFormatNames();
bool isEventFormat(const std::string &format);
// Each format's name and what it writes, aligned for the usage text.
std::string eventFormatHelp();

// The writer of `format` onto `out`; null for an unknown format.
std::unique_ptr<FormatWriter> makeFormatWriter(const std::string &format, OutputFile &out);

// The text of one event's type: START, ADDR, DATA, ACK, NACK, STOP, or "?".
const char *eventTypeName(int32_t type);

} // namespace korvex
