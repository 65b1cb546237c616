// Upper-case hex digits: every byte the program stores, shows or prints is
// written with these.
#pragma once

#include <cstdint>

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The two digits of b at out[0], out[1].
inline void putHexByte(char *out, uint8_t b)
{
    out[0] = kHexDigits[b >> 4];
    out[1] = kHexDigits[b & 0xF];
}

// The value of a hex digit of either case; -1 for any other character.
inline int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
