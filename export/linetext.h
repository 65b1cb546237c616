// What Save and Open need to know about a line's bytes before converting it.
#pragma once

#include <QString>

#include <cstdint>
#include <cstring>

namespace linetext {

// True when every byte is below 0x80 and none is NUL: such a line decodes
// to the same characters byte for byte, so it is converted as bytes.
inline bool isPlainAscii(const char *p, size_t n)
{
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    uint64_t bad = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        bad |= w | ((w - kOnes) & ~w); // high bit of a byte: non-ASCII or zero
    }
    if (bad & kHighs)
        return false;
    for (; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (c == 0 || c >= 0x80)
            return false;
    }
    return true;
}

// The text of a line up to its first NUL byte: UTF-8, or Latin-1 when the
// bytes are not valid UTF-8. Stored lines are UTF-8 except those Open wrote,
// which are Latin-1 like the saved files, so both read back as they were.
QString decode(const char *p, qsizetype size);

} // namespace linetext
