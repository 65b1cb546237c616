#include "export/captureloader.h"

#include "capture/capturestore.h"
#include "export/savedcapturereader.h"

#include <string>

namespace {

// What a refused file is, from its first bytes.
CaptureLoader::Refusal classify(const QByteArray &head)
{
    const bool bom = head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF");
    // Without a byte-order mark, ASCII in UTF-16 puts a NUL beside each letter.
    const bool zeroPaired = head.size() >= 2 && (head[0] == '\0') != (head[1] == '\0');
    if (bom || zeroPaired)
        return CaptureLoader::Refusal::Utf16;
    const QByteArray start = head.trimmed().left(14).toLower();
    if (start.startsWith("<!doctype html") || start.startsWith("<html"))
        return CaptureLoader::Refusal::Html;
    return CaptureLoader::Refusal::NotACapture;
}

} // namespace

CaptureLoader::Outcome CaptureLoader::load(QIODevice &in, SavedFormat format, CaptureStore &store,
                                           const TransferProgress &progress, qsizetype batchBytes)
{
    Outcome out;
    // Saved headers are well under this; a longer first line is no header.
    const QByteArray head = in.peek(256);
    const int firstEnd = head.indexOf('\n');
    const bool header = SavedCaptureReader::isHeader(format, head.constData(),
                                                     firstEnd < 0 ? head.size() : firstEnd);

    std::string batch;
    batch.reserve(size_t(batchBytes) + 256);
    bool storeFailed = false;
    const auto flush = [&] {
        if (!out.replaced) {
            store.resetStore();
            out.replaced = true;
        }
        if (!batch.empty() && !store.appendStoredLines(batch.data(), qint64(batch.size())))
            storeFailed = true;
        batch.clear();
    };
    out.transfer = SavedCaptureReader::open(
        in, format,
        [&](const QByteArray &line) {
            batch.append(line.constData(), size_t(line.size()));
            if (qsizetype(batch.size()) >= batchBytes)
                flush();
        },
        [&](qint64 bytes) { return !storeFailed && (!progress || progress(bytes)); }, kProbeLines);

    TransferResult &t = out.transfer;
    if (t.ok() && !storeFailed) {
        // Cancel keeps the rows converted so far, but only of a saved capture.
        if (out.replaced || t.rowsWritten > 0 || (header && t.linesSkipped == 0))
            flush();
        else if (!t.cancelled)
            out.refusal = classify(head);
    } else if (!t.ok()) {
        out.failedLine = t.bytesRead > 0 ? t.linesRead + 2 : 1;
        if (out.replaced)
            flush(); // the rows before the failure, as Cancel keeps them
        else
            out.refusal = Refusal::Unreadable;
    }
    if (storeFailed) {
        t.cancelled = false;
        t.error = store.errorString();
    }
    if (out.replaced)
        out.linesStored = store.lineCount();
    return out;
}
