#include "tools/eventformats.h"

#include "capture/hexdigits.h"
#include "tools/storedlineformats.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>

namespace korvex {

namespace {

// "<sample> <TYPE>", and " <HH>" (the raw byte) for ADDR and DATA.
void writeEventLines(const DecodedCapture &capture, std::ostream &out)
{
    std::string text;
    text.reserve(1 << 16);
    for (size_t i = 0; i < capture.events.size() && out; ++i) {
        const I2CEvent &e = capture.events[i];
        char number[24];
        const auto end = std::to_chars(number, number + sizeof number, capture.samples[i]).ptr;
        text.append(number, end);
        text += ' ';
        text += eventTypeName(e.type);
        if (e.type == KORVEX_EVENT_ADDR || e.type == KORVEX_EVENT_DATA) {
            text += ' ';
            char digits[2];
            putHexByte(digits, uint8_t(e.data));
            text.append(digits, 2);
        }
        text += '\n';
        if (text.size() > (1 << 16) - 64) {
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            text.clear();
        }
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

bool writeEvents(const DecodedCapture &capture, const FormatOutput &output, std::string *error)
{
    std::ofstream file;
    std::ostream *out = output.stream;
    if (!output.path.empty()) {
        file.open(output.path, std::ios::binary | std::ios::trunc);
        if (!file) {
            if (error)
                *error = "cannot write " + output.path + ": " + std::strerror(errno);
            return false;
        }
        out = &file;
    } else if (!out) {
        if (error)
            *error = "no standard output to write to";
        return false;
    }
    writeEventLines(capture, *out);
    out->flush();
    if (!output.path.empty())
        file.close(); // a failed close sets the stream's failbit, checked below
    if (!*out) {
        if (error)
            *error = "writing " +
                     (output.path.empty() ? std::string("standard output") : output.path) +
                     " failed";
        return false;
    }
    return true;
}

bool writeText(const DecodedCapture &capture, const FormatOutput &output, std::string *error)
{
    return writeSavedCapture(capture, SavedFormat::Text, output, error);
}

bool writeCsv(const DecodedCapture &capture, const FormatOutput &output, std::string *error)
{
    return writeSavedCapture(capture, SavedFormat::Csv, output, error);
}

bool writeHtml(const DecodedCapture &capture, const FormatOutput &output, std::string *error)
{
    return writeSavedCapture(capture, SavedFormat::Html, output, error);
}

struct Format
{
    const char *name;
    const char *help;
    bool (*write)(const DecodedCapture &, const FormatOutput &, std::string *);
};

// The one place that knows the formats.
const Format kFormats[] = {
    {"events",
     "one line per bus event: sample, type, and the byte of ADDR\n"
     "and DATA",
     writeEvents},
    {"lines",
     "the program's capture file (I2CDataTemp.dat) for the capture\n"
     "taken with Merge and Decode off",
     writeStoreLines},
    {"txt", "what Save writes from those lines as a text table", writeText},
    {"csv", "what Save writes from those lines as CSV", writeCsv},
    {"html",
     "what Save writes from those lines as HTML; its title is\n"
     "FILE, or \"-\" on standard output",
     writeHtml},
    {"summary",
     "per address seen: transfers, bytes written and read, NACKs,\n"
     "first and last seen, estimated bus clock (Hz, \"-\" unknown)",
     writeAddressSummary},
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

bool writeEventFormat(const std::string &format, const DecodedCapture &capture,
                      const FormatOutput &output, std::string *error)
{
    for (const Format &f : kFormats) {
        if (format == f.name)
            return f.write(capture, output, error);
    }
    if (error)
        *error = "unknown format '" + format + "'";
    return false;
}

} // namespace korvex
