#include "device/profilevalue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
const char kHexDigits[] = "0123456789ABCDEF";

void appendUnsigned(std::string &out, uint64_t value)
{
    char text[24];
    char *end = text + sizeof text;
    char *p = end;
    do {
        *--p = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    out.append(p, size_t(end - p));
}

void appendSigned(std::string &out, int64_t value)
{
    if (value < 0) {
        out += '-';
        appendUnsigned(out, uint64_t(-value));
    } else {
        appendUnsigned(out, uint64_t(value));
    }
}

// A scaled value with the decimals it needs: 29.5, not 29.500000.
void appendReal(std::string &out, double value, int decimals)
{
    char text[64];
    const int fixed = decimals < 0 ? 6 : std::min(decimals, 9);
    int n = std::snprintf(text, sizeof text, "%.*f", fixed, value);
    if (n < 0 || n >= int(sizeof text)) // a scale of 1e300, say: in exponent form
        n = std::snprintf(text, sizeof text, "%.6g", value);
    if (decimals < 0 && std::strchr(text, '.') && !std::strchr(text, 'e')) {
        while (text[n - 1] == '0')
            --n;
        if (text[n - 1] == '.')
            --n;
    }
    if (n == 2 && text[0] == '-' && text[1] == '0')
        out += '0'; // -0.0001 at no decimals is 0
    else
        out.append(text, size_t(n));
}
} // namespace

void appendHex(std::string &out, uint32_t value, int digits)
{
    out += "0x";
    for (int d = digits - 1; d >= 0; --d)
        out += kHexDigits[(value >> (4 * d)) & 0xF];
}

void appendHexByte(std::string &out, uint8_t value)
{
    out += kHexDigits[value >> 4];
    out += kHexDigits[value & 0xF];
}

uint32_t ProfileValue::extract(uint32_t raw, int registerBits) const
{
    const int bits = bitCount ? bitCount : registerBits;
    const uint32_t shifted = lowBit < 32 ? raw >> lowBit : 0;
    return bits >= 32 ? shifted : shifted & ((uint32_t(1) << bits) - 1);
}

bool ProfileValue::append(std::string &out, uint32_t raw, int registerBits) const
{
    const int bits = bitCount ? bitCount : registerBits;
    const uint32_t value = extract(raw, registerBits);
    const int hexDigits = std::max(1, (bits + 3) / 4);
    bool shown = true;
    int64_t number = value;
    // bits >= 8 or a field's own count >= 1, so the sign bit exists.
    if ((isSigned || format == Format::Signed) && (value >> (bits - 1)) & 1)
        number -= int64_t(1) << bits;
    switch (format) {
    case Format::Hex:
        appendHex(out, value, hexDigits);
        break;
    case Format::Unsigned:
        appendUnsigned(out, value);
        break;
    case Format::Signed:
        appendSigned(out, number);
        break;
    case Format::Bcd:
        for (int d = hexDigits - 1; d >= 0; --d)
            shown = shown && ((value >> (4 * d)) & 0xF) <= 9;
        if (shown)
            for (int d = hexDigits - 1; d >= 0; --d)
                out += char('0' + ((value >> (4 * d)) & 0xF));
        break;
    case Format::Enum: {
        const auto it =
            std::lower_bound(items.begin(), items.end(), value,
                             [](const auto &item, uint32_t v) { return item.first < v; });
        shown = it != items.end() && it->first == value;
        if (shown)
            out += it->second;
        break;
    }
    case Format::Scale:
        appendReal(out, double(isSigned ? number : int64_t(value)) * scale + offset, decimals);
        break;
    }
    if (!shown) {
        appendHex(out, value, hexDigits);
        out += invalidMark();
        return false;
    }
    if (!unit.empty()) {
        out += ' ';
        out += unit;
    }
    return true;
}
