#include "transaction/transactionexport.h"

#include "capture/capturestore.h"
#include "capture/visiblerows.h"
#include "transaction/transactioncsv.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionreader.h"

#include <QIODevice>

#include <algorithm>

#include <string>

namespace {
// Lines read from the store at a time, and bytes gathered before a write.
constexpr int kChunkLines = 4096;
constexpr size_t kFlushBytes = 1 << 20;

bool flush(QIODevice &out, std::string &buffer, TransferResult *r)
{
    if (!buffer.empty() &&
        out.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size())) {
        r->error = out.errorString();
        return false;
    }
    buffer.clear();
    return true;
}
} // namespace

TransferResult TransactionExport::write(const CaptureStore &store, const TransactionIndex &index,
                                        const VisibleRows *shown, QIODevice &out,
                                        const TransferProgress &progress)
{
    TransferResult r;
    std::string buffer(TransactionCsv::kHeader);
    const LineIndex &lines = store.lineIndex();
    const qint64 lineCount = std::min<qint64>(lines.lineCount(), index.lineCount());
    // Progress counts bytes up to the kept line offset at or before a line:
    // the index holds only every few dozen, which is close enough for a bar.
    const auto bytesBefore = [&](qint64 line) { return lines.keptOffset(lines.keptAtOrBefore(line)); };
    const auto step = [&](qint64 bytesRead) {
        r.bytesRead = bytesRead;
        if (buffer.size() >= kFlushBytes && !flush(out, buffer, &r))
            return false;
        if (progress && !progress(bytesRead))
            r.cancelled = true;
        return !r.cancelled;
    };
    if (shown) {
        Transaction t;
        for (qint64 row = 0, n = shown->count(); row < n; ++row) {
            const qint64 k = index.transactionAt(shown->storedLine(row));
            if (k < 0)
                continue;
            if (!TransactionReader::read(store, index, k, &t, kMaxLines)) {
                r.error = QStringLiteral("%1: cannot be read").arg(store.fileName());
                return r;
            }
            TransactionCsv::appendRow(buffer, t);
            ++r.rowsWritten;
            if (!step(bytesBefore(t.firstLine + t.lineCount)))
                return r;
        }
    } else {
        // One pass over the lines, grouped as korvex-decode groups them.
        TransactionBuilder builder(kMaxLines);
        StoredLine stored;
        for (qint64 from = 0; from < lineCount; from += kChunkLines) {
            const int count = int(std::min<qint64>(kChunkLines, lineCount - from));
            const QByteArray chunk = store.readLines(int(from), count);
            if (std::count(chunk.begin(), chunk.end(), '\n') != count) {
                r.error = QStringLiteral("%1: cannot be read").arg(store.fileName());
                return r;
            }
            std::string_view rest(chunk.constData(), size_t(chunk.size()));
            for (qint64 line = from; !rest.empty(); ++line) {
                const size_t end = rest.find('\n');
                stored.parse(rest.substr(0, end));
                rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
                if (builder.begins(stored)) {
                    if (builder.started()) {
                        TransactionCsv::appendRow(buffer, builder.finish(true));
                        ++r.rowsWritten;
                    }
                    builder.start(r.rowsWritten, line);
                }
                builder.add(stored);
            }
            r.linesRead = from + count;
            if (!step(bytesBefore(from + count)))
                return r;
        }
        if (builder.started()) {
            TransactionCsv::appendRow(buffer, builder.finish(false));
            ++r.rowsWritten;
        }
    }
    flush(out, buffer, &r);
    return r;
}
