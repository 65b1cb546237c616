#include "eventformats.h"

#include <charconv>

namespace korvex {

namespace {

// "<sample> <TYPE>", and " <HH>" (the raw byte) for ADDR and DATA.
bool writeEvents(const DecodedCapture &capture, std::ostream &out, std::string *)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(1 << 16);
    for (size_t i = 0; i < capture.events.size(); ++i) {
        const I2CEvent &e = capture.events[i];
        char number[24];
        const auto end = std::to_chars(number, number + sizeof number, capture.samples[i]).ptr;
        text.append(number, end);
        text += ' ';
        text += eventTypeName(e.type);
        if (e.type == KORVEX_EVENT_ADDR || e.type == KORVEX_EVENT_DATA) {
            text += ' ';
            text += hex[e.data >> 4];
            text += hex[e.data & 15];
        }
        text += '\n';
        if (text.size() > (1 << 16) - 64) {
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            text.clear();
        }
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return true;
}

struct Format
{
    const char *name;
    bool (*write)(const DecodedCapture &, std::ostream &, std::string *);
};

// The one place that knows the formats.
const Format kFormats[] = {
    {"events", writeEvents},
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

bool writeEventFormat(const std::string &format, const DecodedCapture &capture, std::ostream &out,
                      std::string *error)
{
    for (const Format &f : kFormats) {
        if (format == f.name)
            return f.write(capture, out, error);
    }
    if (error)
        *error = "unknown format '" + format + "'";
    return false;
}

} // namespace korvex
