#include "savedcapturereader.h"

#include "linereader.h"
#include "linetext.h"

#include <QString>
#include <QStringList>

#include <cstring>

namespace {

struct Part
{
    const char *p;
    size_t n;
};

Part trimmed(const char *b, const char *e)
{
    while (b < e && linetext::isSpace(*b))
        ++b;
    while (e > b && linetext::isSpace(e[-1]))
        --e;
    return {b, size_t(e - b)};
}

// The first seven parts of [p, p+n) split at `sep`, each trimmed; false with
// fewer than seven.
bool splitSaved(const char *p, size_t n, char sep, Part (&parts)[7])
{
    const char *s = p;
    const char *e = p + n;
    for (int k = 0; k < 6; ++k) {
        const char *c = static_cast<const char *>(std::memchr(s, sep, size_t(e - s)));
        if (!c)
            return false;
        parts[k] = trimmed(s, c);
        s = c + 1;
    }
    const char *c = static_cast<const char *>(std::memchr(s, sep, size_t(e - s)));
    parts[6] = trimmed(s, c ? c : e);
    return true;
}

// Copies [p, p+n) into `out` without any "0x"; returns the new length.
size_t removeHexPrefixes(const char *p, size_t n, char *out)
{
    size_t w = 0;
    size_t from = 0;
    for (;;) {
        const void *x = from < n ? std::memchr(p + from, 'x', n - from) : nullptr;
        if (!x)
            break;
        const size_t i = size_t(static_cast<const char *>(x) - p);
        if (i > from && p[i - 1] == '0') {
            std::memcpy(out + w, p + from, i - 1 - from);
            w += i - 1 - from;
            from = i + 1;
        } else {
            std::memcpy(out + w, p + from, i + 1 - from);
            w += i + 1 - from;
            from = i + 1;
        }
    }
    std::memcpy(out + w, p + from, n - from);
    return w + (n - from);
}

} // namespace

SavedCaptureReader::LineResult SavedCaptureReader::convertLineFast(QByteArray &stored,
                                                                   SavedFormat format,
                                                                   const char *line, qsizetype size)
{
    const size_t n = size_t(size);
    if (!linetext::isPlainAscii(line, n))
        return LineResult::NotHandled;

    Part parts[7];
    const char *text = line;
    size_t textSize = n;
    if (format != SavedFormat::Text && std::memchr(line, 'x', n)) {
        // Kept between calls: a CSV row nearly always holds "0x".
        thread_local std::string buffer;
        if (buffer.size() < n)
            buffer.resize(n);
        textSize = removeHexPrefixes(line, n, &buffer[0]);
        text = buffer.data();
    }
    if (!splitSaved(text, textSize, format == SavedFormat::Text ? '|' : ',', parts))
        return LineResult::Skipped;

    // Stored order: Count, Type, Addr, R/W, Data, Respond, Time.
    static constexpr int order[7] = {0, 2, 3, 4, 6, 5, 1};
    size_t total = 7;
    for (const Part &p : parts)
        total += p.n;
    stored.resize(int(total));
    char *w = stored.data();
    for (int k = 0; k < 7; ++k) {
        const Part &p = parts[order[k]];
        std::memcpy(w, p.p, p.n);
        w += p.n;
        *w++ = k < 6 ? ',' : '\n';
    }
    return LineResult::Converted;
}

bool SavedCaptureReader::convertLineReference(QByteArray &stored, SavedFormat format,
                                              const char *line, qsizetype size)
{
    QString text = linetext::decode(line, size);
    QStringList parts;
    if (format == SavedFormat::Text) {
        parts = text.split(QLatin1Char('|'));
    } else {
        text.remove(QLatin1String("0x"));
        parts = text.split(QLatin1Char(','));
    }
    if (parts.size() < 7)
        return false;
    const QString storedLine = parts[0].trimmed() + ',' + parts[2].trimmed() + ',' +
                               parts[3].trimmed() + ',' + parts[4].trimmed() + ',' +
                               parts[6].trimmed() + ',' + parts[5].trimmed() + ',' +
                               parts[1].trimmed() + '\n';
    stored = storedLine.toLatin1();
    return true;
}

bool SavedCaptureReader::convertLine(QByteArray &stored, SavedFormat format, const char *line,
                                     qsizetype size)
{
    switch (convertLineFast(stored, format, line, size)) {
    case LineResult::Converted:
        return true;
    case LineResult::Skipped:
        return false;
    case LineResult::NotHandled:
        break;
    }
    return convertLineReference(stored, format, line, size);
}

TransferResult SavedCaptureReader::open(QIODevice &in, SavedFormat format,
                                        const StoredLineSink &sink,
                                        const TransferProgress &progress)
{
    TransferResult result;
    LineReader reader(in);
    const char *line;
    qsizetype size;
    // The first line is the header, whatever it holds.
    bool header = true;
    QByteArray stored;
    stored.reserve(256);
    while (reader.next(line, size)) {
        result.bytesRead = reader.bytesConsumed();
        if (header) {
            header = false;
            continue;
        }
        ++result.linesRead;
        if (convertLine(stored, format, line, size)) {
            ++result.rowsWritten;
            sink(stored);
        } else {
            ++result.linesSkipped;
        }
        if (progress && !progress(result.bytesRead)) {
            result.cancelled = true;
            break;
        }
    }
    if (reader.failed())
        result.error = reader.errorString();
    return result;
}
