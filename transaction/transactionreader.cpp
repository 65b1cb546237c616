#include "transaction/transactionreader.h"

#include "capture/capturestore.h"
#include "transaction/transactionindex.h"

#include <algorithm>

namespace {
// Feeds lines [first, first + count) to builder; false when they cannot all
// be read.
bool feed(const CaptureStore &store, qint64 first, qint64 count, TransactionBuilder *builder)
{
    const QByteArray text = store.readLines(int(first), int(count));
    std::string_view rest(text.constData(), size_t(text.size()));
    StoredLine line;
    qint64 fed = 0;
    for (; !rest.empty() && fed < count; ++fed) {
        line.parseNext(&rest);
        builder->add(line);
    }
    return fed == count;
}
} // namespace

bool TransactionReader::read(const CaptureStore &store, const TransactionIndex &index, qint64 k,
                             Transaction *out, qint64 maxLines)
{
    const qint64 first = index.firstLine(k);
    const qint64 end = index.endLine(k);
    if (first < 0 || end > store.lineIndex().lineCount())
        return false;
    maxLines = std::max<qint64>(maxLines, 1);
    TransactionBuilder builder(maxLines);
    builder.start(k, first);
    const qint64 whole = std::min(end - first, maxLines);
    if (!feed(store, first, whole, &builder))
        return false;
    // A cut one: its last row still tells its duration.
    if (end - first > whole && !feed(store, end - 1, 1, &builder))
        return false;
    *out = builder.finish(k + 1 < index.count());
    out->lineCount = end - first;
    out->status = index.status(k);
    return true;
}
