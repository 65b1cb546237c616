// Rows as the converter produces them, for the labelling tests.
#pragma once

#include "capturerow.h"

#include <cstdio>

inline CaptureRow addrRow(uint8_t address, bool read = false)
{
    CaptureRow r;
    r.type = CaptureRow::Type::Addr;
    r.hasAddress = true;
    r.address = address;
    r.direction = read ? CaptureRow::Direction::Read : CaptureRow::Direction::Write;
    r.response = CaptureRow::Response::Ack;
    r.fieldCount = 6;
    r.data = "--";
    return r;
}

inline CaptureRow dataRow(uint8_t address, uint8_t byte, bool read = false)
{
    CaptureRow r = addrRow(address, read);
    r.type = CaptureRow::Type::Data;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    r.data = hex;
    return r;
}
