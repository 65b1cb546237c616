// Writes transactions as CSV (the header, then one row per transaction) to
// a device: every transaction of the index, or only those a filter shows.
// No widgets: the window's export runs it with a progress dialog, the tests
// and the benchmark call it directly.
#pragma once

#include "export/transferresult.h"

class CaptureStore;
class ProfileAssignment;
class QIODevice;
class TransactionIndex;
class VisibleRows;

class TransactionWriter
{
public:
    // Rows of one transaction read whole; a longer one (a bus that never
    // stops) is written cut, and its status says so.
    static constexpr qint64 kMaxLines = qint64(1) << 20;

    // rows: each a transaction's first line (a filter's); null for all.
    // The caller holds the store. progress gets the transactions written so
    // far (out of rowCount); rowsWritten counts the transactions written.
    // profiles (may be null; its library outlives the call): adds the last
    // column `decoded`, as korvex-decode writes it.
    static TransferResult write(const CaptureStore &store, const TransactionIndex &index,
                                const VisibleRows *rows, QIODevice &out,
                                const TransferProgress &progress = {},
                                const ProfileAssignment *profiles = nullptr);
    // Transactions write() writes.
    static qint64 rowCount(const TransactionIndex &index, const VisibleRows *rows);
};
