// One bus transfer as the transaction view, its find and its export see it:
// from a START outside a transaction to the next STOP, repeated STARTs
// beginning new segments. Built from stored lines by TransactionBuilder.
#pragma once

#include "capture/capturerow.h"

#include <QtGlobal>

#include <cstdint>
#include <string>
#include <vector>

// One address byte and the bytes after it, up to the next START or STOP.
struct TransactionSegment
{
    uint8_t address = 0; // 7-bit
    bool read = false;   // R/W bit of the address byte
    bool addressNacked = false;
    std::vector<uint8_t> bytes; // data bytes in order (a merged row gives several)
    int nackedByte = -1;        // index in bytes of the first NACKed byte, -1: none
};

struct Transaction
{
    enum Status : uint8_t { Closed = 0, Open = 1, NoStart = 2, NoStop = 4 }; // bit flags
    qint64 number = 0;    // 0-based; shown 1-based
    qint64 firstLine = 0; // stored line (0-based) of its first row
    qint64 lineCount = 0;
    int64_t startNs = 0;    // time of its first row (the START's)
    int64_t durationNs = 0; // last row's time - first row's time
    std::vector<TransactionSegment> segments;
    std::vector<std::string> labels; // every " [name]" label of its rows, in order
    uint8_t status = Closed;
    bool cut = false; // too many rows to read whole for display: segments hold the first ones
};

// Where the rows seen so far leave the grouping: outside any transaction,
// inside one a START began, or inside one that began without a START.
enum class TransactionState : uint8_t { Outside, Started, NoStart };

// Whether a row of type t begins a transaction after rows that left *state,
// which it advances. The index and the builder both group by this one rule:
// a START begins one unless a START already did (a repeated START), a STOP
// ends one (or stands alone), any other row outside a transaction begins one
// without a START.
inline bool beginsTransaction(TransactionState *state, CaptureRow::Type t)
{
    const TransactionState before = *state;
    if (t == CaptureRow::Type::Stop) {
        *state = TransactionState::Outside;
        return before == TransactionState::Outside;
    }
    if (t == CaptureRow::Type::Start) {
        *state = TransactionState::Started;
        return before != TransactionState::Started;
    }
    if (before == TransactionState::Outside)
        *state = TransactionState::NoStart;
    return before == TransactionState::Outside;
}
