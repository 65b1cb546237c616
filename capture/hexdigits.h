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
