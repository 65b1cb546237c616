// Writes transactions as CSV (TransactionCsv) from the store: every one, or
// those a filter shows, each read whole up to kMaxLines rows as korvex-decode
// writes them. The caller opens the target (a QSaveFile, committed only when
// this reports success, as Save does) and holds the store throughout.
#pragma once

#include "export/transferresult.h"

#include <QtGlobal>

class CaptureStore;
class QIODevice;
class TransactionIndex;
class VisibleRows;

class TransactionExport
{
public:
    // Rows of one transaction written whole; a longer one is written cut.
    static constexpr qint64 kMaxLines = qint64(1) << 16;

    // shown: the first lines of the transactions to write, null for all.
    // progress (may be empty) hears the stored bytes read so far and may
    // cancel. rowsWritten counts transactions.
    static TransferResult write(const CaptureStore &store, const TransactionIndex &index,
                                const VisibleRows *shown, QIODevice &out,
                                const TransferProgress &progress = {});
};
