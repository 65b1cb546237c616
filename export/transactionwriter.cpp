#include "export/transactionwriter.h"

#include "capture/visiblerows.h"
#include "device/decodedcolumn.h"
#include "transaction/transactioncsv.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionreader.h"

#include <QIODevice>

#include <optional>
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
                                        const TransferProgress &progress,
                                        const ProfileAssignment *profiles)
{
    TransferResult result;
    std::optional<DecodedColumn> decoded;
    if (profiles)
        decoded.emplace(*profiles);
    std::string text = decoded ? DecodedColumn::header() : std::string(TransactionCsv::kHeader);
    const qint64 n = rowCount(index, rows);
    Transaction transaction;
    qint64 passed = 0; // transactions before this one have moved the decoder's pointers
    const auto read = [&](qint64 k) {
        if (TransactionReader::read(store, index, k, &transaction, kMaxLines))
            return true;
        // A row left out without a word would pass for a complete export.
        result.error = QStringLiteral("cannot read transaction %1 from the capture").arg(k + 1);
        return false;
    };
    for (qint64 r = 0; r < n; ++r) {
        const qint64 k = rows ? index.transactionAt(rows->storedLine(r)) : r;
        // The decoder follows the bus in order, through the rows a filter hides.
        for (; decoded && passed < k; ++passed) {
            if (!read(passed))
                return result;
            decoded->pass(transaction);
        }
        if (!read(k))
            return result;
        passed = k + 1;
        TransactionCsv::appendRow(text, transaction);
        if (decoded)
            decoded->append(text, transaction);
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
