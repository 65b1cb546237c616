// What one block of stored lines holds, so a search can skip a block that
// cannot match without reading it. Bits are set for every value seen; a
// summary may claim more than its block holds (after lines were cut off),
// never less.
#pragma once

#include <QtGlobal>

#include <cstdint>

struct BlockSummary
{
    uint64_t addresses[2] = {0, 0}; // bit a: a line with 7-bit address a
    uint8_t types = 0;              // bit CaptureRow::Type
    uint8_t directions = 0;         // bit CaptureRow::Direction
    uint8_t responses = 0;          // bit CaptureRow::Response
    uint8_t healthSeverities = 0;   // bit HealthFinding::Severity of the findings
    uint32_t healthKinds = 0;       // bit HealthFinding::Kind
    qint64 begin = 0;               // file offset of the block's first line
    qint64 end = 0;                 // file offset just past its last line
};
