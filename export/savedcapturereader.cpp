#include "export/savedcapturereader.h"

#include "capture/storedline.h"
#include "export/linereader.h"
#include "export/linetext.h"
#include "export/savedcapturewriter.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// The white space QString::trimmed() removes, among the bytes a line is
// converted from: ASCII's, Latin-1's, and NUL, which stands for a wider
// white-space character (encodeForOpen).
struct SpaceTable
{
    bool isSpace[256];
    SpaceTable()
    {
        for (int c = 0; c < 256; ++c)
            isSpace[c] = c == 0 || QChar::isSpace(uint(c));
    }
};
const SpaceTable kSpaces;

inline bool isSpace(char c)
{
    return kSpaces.isSpace[static_cast<unsigned char>(c)];
}

std::string_view trimmed(const char *b, const char *e)
{
    while (b < e && isSpace(*b))
        ++b;
    while (e > b && isSpace(e[-1]))
        --e;
    return std::string_view(b, size_t(e - b));
}

// Nothing but white space before the end or a NUL (where decoding stops).
bool isBlank(const char *p, qsizetype n)
{
    for (const char *e = p + n; p < e && *p; ++p) {
        if (!isSpace(*p))
            return false;
    }
    return true;
}

// The first seven parts of [p, p+n) split at `sep`, each trimmed; false with
// fewer than seven.
bool splitSaved(const char *p, size_t n, char sep, std::string_view (&parts)[7])
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

// Copies [p, p+n) into `out` without any "0x", in one pass left to right as
// QString::remove does ("00xx" keeps "0x"); returns the new length.
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

// A line that is not plain ASCII as Latin-1 bytes with "?" for every UTF-16
// unit outside Latin-1, so that the byte-level conversion serves it too. A
// white-space unit outside Latin-1 becomes NUL instead (decoding stopped at
// the first NUL, so there is none other): trimmed where a part starts or
// ends, and made "?" where it stays.
QByteArray encodeForOpen(const char *line, qsizetype size)
{
    QString text = linetext::decode(line, size);
    for (QChar &c : text) {
        if (c.unicode() > 0xFF && c.isSpace())
            c = QChar(0);
    }
    return text.toLatin1();
}

// What convertLine does, with the work buffer of the caller: a CSV row
// nearly always holds "0x", so keeping its capacity between lines saves an
// allocation each.
struct LineConverter
{
    std::string unprefixed;

    bool convert(QByteArray &stored, SavedFormat format, const char *line, qsizetype size)
    {
        if (size > SavedCaptureReader::kMaxLineLength + 2)
            return false;
        const char *text = line;
        size_t n = size_t(size);
        QByteArray encoded;
        const bool ascii = linetext::isPlainAscii(line, n);
        if (!ascii) {
            encoded = encodeForOpen(line, size);
            text = encoded.constData();
            n = size_t(encoded.size());
        }
        if (format != SavedFormat::Text && std::memchr(text, 'x', n)) {
            if (unprefixed.size() < n)
                unprefixed.resize(n);
            n = removeHexPrefixes(text, n, &unprefixed[0]);
            text = unprefixed.data();
        }
        std::string_view parts[7];
        if (!splitSaved(text, n, format == SavedFormat::Text ? '|' : ',', parts))
            return false;

        // Saved order: Count, Time, Type, Addr, R/W, Respond, Data.
        const std::string_view fields[StoredLine::FieldCount] = {
            parts[0], parts[2], parts[3], parts[4], parts[6], parts[5], parts[1]};
        stored.resize(int(StoredLine::fieldsLength(fields)));
        StoredLine::writeFields(stored.data(), fields);
        if (!ascii)
            std::replace(stored.begin(), stored.end(), '\0', '?');
        return true;
    }
};

} // namespace

bool SavedCaptureReader::convertLine(QByteArray &stored, SavedFormat format, const char *line,
                                     qsizetype size)
{
    thread_local LineConverter converter;
    return converter.convert(stored, format, line, size);
}

bool SavedCaptureReader::isHeader(SavedFormat format, const char *line, qsizetype size)
{
    const QByteArray header =
        SavedCaptureWriter::header(format == SavedFormat::Text ? format : SavedFormat::Csv, {});
    return trimmed(line, line + size) == trimmed(header.begin(), header.end());
}

bool SavedCaptureReader::isRow(const QByteArray &stored)
{
    StoredLine line;
    CaptureRow::Type type;
    uint8_t address;
    line.parse(std::string_view(stored.constData(), size_t(stored.size()))); // else no type
    const std::string_view a = line.field(StoredLine::Address);
    return CaptureRow::typeFromText(line.field(StoredLine::Type), &type) &&
           (a == "--" || CaptureRow::addressFromText(a, &address));
}

TransferResult SavedCaptureReader::open(QIODevice &in, SavedFormat format,
                                        const StoredLineSink &sink,
                                        const TransferProgress &progress, qint64 giveUpAfter)
{
    TransferResult result;
    LineReader reader(in, 256 * 1024, kMaxLineLength + 1); // and its "\r"
    const char *line;
    qsizetype size;
    // The first line is the header, whatever it holds.
    bool header = true;
    QByteArray stored;
    stored.reserve(256);
    LineConverter converter;
    while (reader.next(line, size)) {
        result.bytesRead = reader.bytesConsumed();
        if (header) {
            header = false;
            continue;
        }
        ++result.linesRead;
        if (converter.convert(stored, format, line, size) && isRow(stored)) {
            ++result.rowsWritten;
            sink(stored);
        } else if (isBlank(line, size)) {
            ++result.blankLines;
        } else {
            if (result.linesSkipped++ == 0)
                result.firstSkippedLine = result.linesRead + 1; // after the header
            if (result.rowsWritten == 0 && result.linesSkipped == giveUpAfter)
                break;
        }
        if (progress && !progress(result.bytesRead)) {
            result.cancelled = true;
            break;
        }
    }
    if (reader.failed()) {
        result.error = reader.errorString();
        result.lineTooLong = reader.lineTooLong();
    }
    return result;
}
