// Opens a saved text or CSV capture into the capture store, in batches of
// whole stored lines with one write each. The store is emptied only when the
// first batch is ready (or the file ends) and only for a file that shows
// itself a saved capture: a row among its first kProbeLines lines, or the
// saved header with nothing after it but blank lines. A refused file, or one
// whose reading fails before that, leaves the current capture exactly as it
// was. Lines that are no rows are skipped; the transfer counts them.
#pragma once

#include "export/savedformat.h"
#include "export/transferresult.h"

#include <QIODevice>

class CaptureStore;

class CaptureLoader
{
public:
    // Why a file was not taken.
    enum class Refusal {
        None,
        NotACapture, // no row among the first lines (nor a lone saved header)
        Utf16,       // UTF-16 text, which Save never writes
        Html,        // a saved HTML page, which cannot be read back
        Unreadable,  // a read error or a too long line (transfer says which)
    };

    struct Outcome
    {
        TransferResult transfer;
        // The store was emptied and holds the file's rows: all of them, or
        // those before Cancel or a failure.
        bool replaced = false;
        Refusal refusal = Refusal::None; // when not replaced and not cancelled
        qint64 failedLine = 0;           // 1-based line a failure stopped at
        qint64 linesStored = 0;          // in the store afterwards, when replaced
    };

    static constexpr qsizetype kBatchBytes = 1 << 20;
    // Lines that are no rows, before the first row, that refuse a file.
    static constexpr qint64 kProbeLines = 64;

    // Reads `in` from its start. `progress` as SavedCaptureReader::open; a
    // failed write to the store stops the reading (transfer.error).
    static Outcome load(QIODevice &in, SavedFormat format, CaptureStore &store,
                        const TransferProgress &progress = {}, qsizetype batchBytes = kBatchBytes);
};
