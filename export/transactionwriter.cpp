#include "export/transactionwriter.h"

#include "capture/visiblerows.h"
#include "transaction/transactioncsv.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionreader.h"

#include <QIODevice>

#include <string>

namespace {
// Bytes gathered before each write.
constexpr size_t kChunk = 256 * 1024;

// Writes text out and empties it; a short write sets result.error.
void flush(QIODevice &out, std::string &text, TransferResult &result)
{
    if (out.write(text.data(), qint64(text.size())) != qint64(text.size()))
        result.error = out.errorString();
    text.clear();
}
} // namespace

qint64 TransactionWriter::rowCount(const TransactionIndex &index, const VisibleRows *rows)
{
    return rows ? rows->count() : index.count();
}

TransferResult TransactionWriter::write(const CaptureStore &store, const TransactionIndex &index,
                                        const VisibleRows *rows, QIODevice &out,
                                        const TransferProgress &progress)
{
    TransferResult result;
    std::string text(TransactionCsv::kHeader);
    const qint64 n = rowCount(index, rows);
    Transaction transaction;
    for (qint64 r = 0; r < n; ++r) {
        const qint64 k = rows ? index.transactionAt(rows->storedLine(r)) : r;
        if (!TransactionReader::read(store, index, k, &transaction, kMaxLines)) {
            // A row left out without a word would pass for a complete export.
            result.error = QStringLiteral("cannot read transaction %1 from the capture").arg(k + 1);
            return result;
        }
        TransactionCsv::appendRow(text, transaction);
        ++result.rowsWritten;
        if (text.size() >= kChunk)
            flush(out, text, result);
        if (!result.ok())
            return result;
        // Cheap enough for every transaction: the pump looks at its clock now and then.
        if (progress && !progress(result.rowsWritten)) {
            result.cancelled = true;
            return result;
        }
    }
    flush(out, text, result);
    return result;
}
