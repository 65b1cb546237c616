// One register of a device profile (or one value of a command's arguments
// or response): its place, width, byte order and access, the value it shows
// (the first alternative whose condition holds, else its own), and its named
// bit fields.
#pragma once

#include "device/profilevalue.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ProfileRegister
{
    enum Access : uint8_t { ReadOnly = 1, WriteOnly = 2, ReadWrite = 3 };

    uint32_t address = 0;
    std::string name;
    uint8_t width = 1;         // bytes, 1..4
    bool littleEndian = false; // the byte at the lowest address is the least significant
    uint8_t access = ReadWrite;
    bool hidden = false; // left out of the text, listed only in the details
    ProfileValue value;
    std::vector<ProfileValue> cases;  // alternatives, in file order
    std::vector<ProfileValue> fields; // named bit fields

    int bits() const { return width * 8; }
    // The register's raw value from its width bytes, in its byte order.
    uint32_t assemble(const uint8_t *bytes) const;
    // Appends "value unit (inline fields)" for raw; false when a shown value
    // (the register's or an inline field's) is out of its range and marked.
    bool appendText(std::string &out, uint32_t raw) const;
    // Appends one line per field, "  name=value\n", for the details.
    void appendFields(std::string &out, uint32_t raw) const;
};
