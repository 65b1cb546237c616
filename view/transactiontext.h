// How a transaction looks in the table: the text, the colour and, where the
// text had to be cut, the whole text for the tooltip of each of its cells.
// No widgets: the page fill, the tests and the benchmark call it.
#pragma once

#include "capture/healthlog.h"
#include "transaction/transactiondecoration.h"
#include "view/rowstyle.h"
#include "view/transactioncolumn.h"

#include <QString>

#include <array>
#include <cstdint>

struct Transaction;

class TransactionText
{
public:
    // Bytes a written or read cell lists before "…"; the tooltip holds up
    // to kMaxTipBytes, so a long burst costs the tick nothing.
    static constexpr int kMaxCellBytes = 24;
    static constexpr int kMaxTipBytes = 1024;
    // Segments the 段 cell names before "…".
    static constexpr int kMaxCellSegments = 4;
    // Characters of decoded text the 解码 cell shows before "…".
    static constexpr int kMaxDecodedChars = 96;

    struct Cell
    {
        QString text;
        QString toolTip; // empty unless the text was cut
        RowStyle::Colour colour = RowStyle::White;
    };
    using Cells = std::array<Cell, TransactionColumn::Count>;

    // health: the bus-health kinds and severities its lines hold (HealthLog's
    // flags), named in the status cell. decoded (may be null): what the
    // device profiles make of it, with details for the tooltip.
    static Cells cells(const Transaction &transaction, const HealthLog::LineFlags &health = {},
                       const TransactionDecoration::Output *decoded = nullptr);
    // A duration with the unit that keeps it short: "850 ns", "12.500 us".
    static QString durationText(int64_t ns);
};
