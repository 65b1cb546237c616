#include "tools/eventformats.h"

#include "capture/hexdigits.h"
#include "tools/healthcsvwriter.h"
#include "tools/storedlineformats.h"

#include <charconv>

namespace korvex {

namespace {

// "<sample> <TYPE>", and " <HH>" (the raw byte) for ADDR and DATA.
class EventLineWriter final : public FormatWriter
{
public:
    using FormatWriter::FormatWriter;

    bool write(const I2CEvent *events, const uint64_t *samples, size_t count) override
    {
        for (size_t i = 0; i < count; ++i) {
            const I2CEvent &e = events[i];
            char number[24];
            const auto end = std::to_chars(number, number + sizeof number, samples[i]).ptr;
            m_buffer.append(number, end);
            m_buffer += ' ';
            m_buffer += eventTypeName(e.type);
            if (e.type == KORVEX_EVENT_ADDR || e.type == KORVEX_EVENT_DATA) {
                m_buffer += ' ';
                char digits[2];
                putHexByte(digits, uint8_t(e.data));
                m_buffer.append(digits, 2);
            }
            m_buffer += '\n';
            if (!flushIfFull())
                return false;
        }
        return true;
    }
};

struct Format
{
    const char *name;
    const char *help;
    std::unique_ptr<FormatWriter> (*make)(OutputFile &);
};

template <typename Writer> std::unique_ptr<FormatWriter> make(OutputFile &out)
{
    return std::make_unique<Writer>(out);
}

template <SavedFormat format> std::unique_ptr<FormatWriter> makeSaved(OutputFile &out)
{
    return makeSavedCaptureWriter(out, format);
}

// The one place that knows the formats.
const Format kFormats[] = {
    {"events",
     "one line per bus event: sample, type, and the byte of ADDR\n"
     "and DATA",
     make<EventLineWriter>},
    {"lines",
     "the program's capture file (I2CDataTemp.dat) for the capture\n"
     "taken with Merge and Decode off",
     makeStoreLineWriter},
    {"txt", "what Save writes from those lines as a text table", makeSaved<SavedFormat::Text>},
    {"csv", "what Save writes from those lines as CSV", makeSaved<SavedFormat::Csv>},
    {"html",
     "what Save writes from those lines as HTML; its title is\n"
     "FILE, or \"-\" on standard output",
     makeSaved<SavedFormat::Html>},
    {"summary",
     "per address seen: transfers, bytes written and read, NACKs,\n"
     "first and last seen, estimated bus clock (Hz, \"-\" unknown)",
     makeAddressSummaryWriter},
    {"health",
     "CSV, one line per bus-health finding: time,sample,row,kind,\n"
     "severity,measured_ns,limit_ns,resolution_ns,detail (see\n"
     "--mode and --pec)",
     make<HealthCsvWriter>},
    {"transactions",
     "one CSV row per transaction (START .. STOP) of those lines, as\n"
     "the transaction view exports them",
     [](OutputFile &out) { return makeTransactionWriter(out); }},
};

} // namespace

const char *eventTypeName(int32_t type)
{
    switch (type) {
    case KORVEX_EVENT_START:
        return "START";
    case KORVEX_EVENT_ADDR:
        return "ADDR";
    case KORVEX_EVENT_DATA:
        return "DATA";
    case KORVEX_EVENT_STOP:
        return "STOP";
    case KORVEX_EVENT_NACK:
        return "NACK";
    case KORVEX_EVENT_ACK:
        return "ACK";
    default:
        return "?";
    }
}

std::vector<std::string> eventFormatNames()
{
    std::vector<std::string> names;
    for (const Format &f : kFormats)
        names.emplace_back(f.name);
    return names;
}

bool isEventFormat(const std::string &format)
{
    for (const Format &f : kFormats) {
        if (format == f.name)
            return true;
    }
    return false;
}

std::string eventFormatHelp()
{
    // Names at column 4, their help (one or more lines) at column 20.
    const std::string indent(20, ' ');
    std::string help;
    for (const Format &f : kFormats) {
        std::string name = "    " + std::string(f.name);
        name.resize(indent.size(), ' ');
        help += name;
        for (const char *p = f.help; *p; ++p) {
            help += *p;
            if (*p == '\n')
                help += indent;
        }
        help += '\n';
    }
    return help;
}

std::unique_ptr<FormatWriter> makeFormatWriter(const std::string &format, OutputFile &out)
{
    for (const Format &f : kFormats) {
        if (format == f.name)
            return f.make(out);
    }
    return nullptr;
}

bool FormatWriter::flush()
{
    if (!m_error.empty())
        return false;
    const bool written = m_out.write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return written;
}

bool FormatWriter::fail(const std::string &why)
{
    m_error = why;
    return false;
}

} // namespace korvex
