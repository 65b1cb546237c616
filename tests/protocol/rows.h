// Address (byte < 0) and data rows as the converter produces them.
#pragma once

#include "capturerow.h"

#include <cstdio>

inline CaptureRow row(uint8_t address, int byte = -1, bool read = false)
{
    CaptureRow r;
    r.type = byte < 0 ? CaptureRow::Type::Addr : CaptureRow::Type::Data;
    r.hasAddress = true;
    r.address = address;
    r.direction = read ? CaptureRow::Direction::Read : CaptureRow::Direction::Write;
    r.response = CaptureRow::Response::Ack;
    r.fieldCount = 6;
    char hex[3] = "--";
    if (byte >= 0)
        std::snprintf(hex, sizeof hex, "%02X", unsigned(uint8_t(byte)));
    r.data = hex;
    return r;
}
