// How a device profile shows one value: which bits of a register it takes
// and in which form (hex, unsigned, signed, BCD, an enumeration, or scale +
// offset + unit). Registers, their bit fields, the alternatives a register
// shows under a condition, and command arguments and responses all use it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct ProfileValue
{
    enum class Format : uint8_t { Hex, Unsigned, Signed, Bcd, Enum, Scale };

    std::string name;     // fields only; a register's value is named by its register
    uint8_t lowBit = 0;   // the value is bits lowBit .. lowBit + bitCount - 1
    uint8_t bitCount = 0; // 0: every bit of the register
    Format format = Format::Hex;
    bool isSigned = false; // two's complement over bitCount (Signed implies it)
    double scale = 1;      // Scale: shown as value * scale + offset
    double offset = 0;
    int decimals = -1;        // Scale: fixed decimals; -1: as few as the value needs (up to 6)
    std::string unit;         // after the value, separated by a space
    bool inlineShown = false; // a field shown in parentheses after its register's value
    uint32_t whenMask = 0;    // an alternative: taken when (raw & whenMask) == whenValue
    uint32_t whenValue = 0;
    std::vector<std::pair<uint32_t, std::string>> items; // Enum, sorted by value

    // The value's bits of raw (a register of registerBits bits), unsigned.
    uint32_t extract(uint32_t raw, int registerBits) const;
    // Appends the value's text for raw. Returns false when the value cannot
    // be shown as its format says (outside its enumeration, a BCD digit
    // above 9): then it is shown raw, in hex, and marked.
    bool append(std::string &out, uint32_t raw, int registerBits) const;

    // The mark after a value shown raw.
    static const char *invalidMark() { return " (未定义)"; }
};

// "0x" and digits hex digits of value (upper case), appended.
void appendHex(std::string &out, uint32_t value, int digits);
// Two hex digits, no prefix.
void appendHexByte(std::string &out, uint8_t value);
