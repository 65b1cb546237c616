#include "export/savedcapturewriter.h"

#include "capture/storedline.h"
#include "export/linereader.h"
#include "export/linetext.h"

#include <QFileDevice>

#include <cstring>
#include <string_view>

namespace {

constexpr size_t kFlushThreshold = 256 * 1024;

const char kTextHeader[] =
    "  Count  | Time(h.m.s.ms.us.ns) | Type  |Addr(Hex)|  R/W  |Respond|Data(Hex)\r\n";
const char kCsvHeader[] = "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n";
const char kHtmlHead[] = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\"/>\r\n";
const char kHtmlTableHead[] = "</head>\r\n<body>\r\n"
                              "<table border=\"1\">\r\n<tr>\r\n<th>Count</th>\r\n"
                              "<th>Time(h.m.s.ms.us.ns)</th>\r\n<th>Type</th>\r\n"
                              "<th>Addr(Hex)</th>\r\n<th>R/W</th>\r\n<th>Respond</th>\r\n"
                              "<th>Data(Hex)</th>\r\n</tr>\r\n";
const char kHtmlEnd[] = "</table>\r\n</body>\r\n</html>";

using Field = std::string_view;

inline void put(char *&w, const char *s, size_t n)
{
    std::memcpy(w, s, n);
    w += n;
}

inline void put(char *&w, Field f)
{
    put(w, f.data(), f.size());
}

template <size_t N> inline void put(char *&w, const char (&s)[N])
{
    put(w, s, N - 1);
}

// printf's "%-W.Ws": cut to W characters, then padded with spaces to W.
inline void putFixed(char *&w, Field f, size_t width)
{
    const size_t m = f.size() < width ? f.size() : width;
    std::memcpy(w, f.data(), m);
    std::memset(w + m, ' ', width - m);
    w += width;
}

void appendText(std::string &out, const StoredLine &s)
{
    const Field data = s.field(StoredLine::Data);
    const size_t old = out.size();
    out.resize(old + 70 + (data.size() < 2 ? 2 : data.size()));
    char *w = &out[old];
    putFixed(w, s.field(StoredLine::Number), 9);
    put(w, "| ");
    putFixed(w, s.field(StoredLine::Timestamp), 21);
    put(w, "| ");
    putFixed(w, s.field(StoredLine::Type), 6);
    put(w, "|   ");
    putFixed(w, s.field(StoredLine::Address), 6);
    put(w, "| ");
    putFixed(w, s.field(StoredLine::Direction), 6);
    put(w, "|  ");
    putFixed(w, s.field(StoredLine::Response), 5);
    *w++ = '|';
    put(w, data);
    for (size_t i = data.size(); i < 2; ++i)
        *w++ = ' ';
    put(w, "\r\n");
    out.resize(size_t(w - out.data()));
}

enum class Prefix { None, Address, AddressAndData };

Prefix prefixFor(const StoredLine &s)
{
    if (s.is(CaptureRow::Type::Data))
        return Prefix::AddressAndData;
    if (s.is(CaptureRow::Type::Addr))
        return Prefix::Address;
    return Prefix::None;
}

// "0x" before every part of the data split at single spaces, each followed
// by a space: "12 34" gives "0x12 0x34 ".
void putPrefixedData(char *&w, Field d)
{
    const char *s = d.data();
    const char *e = s + d.size();
    for (;;) {
        const char *sp = static_cast<const char *>(std::memchr(s, ' ', size_t(e - s)));
        const char *partEnd = sp ? sp : e;
        put(w, "0x");
        put(w, s, size_t(partEnd - s));
        *w++ = ' ';
        if (!sp)
            break;
        s = sp + 1;
    }
}

// Worst case of putPrefixedData: every byte a space gives n + 1 parts of 3.
inline size_t prefixedDataBound(Field d)
{
    return 3 * d.size() + 3;
}

void appendCsv(std::string &out, const StoredLine &s)
{
    const Prefix prefix = prefixFor(s);
    size_t bound = 10 + 2;
    for (int k = 0; k < StoredLine::FieldCount; ++k)
        bound += s.field(StoredLine::Field(k)).size();
    if (prefix == Prefix::AddressAndData)
        bound += prefixedDataBound(s.field(StoredLine::Data));
    const size_t old = out.size();
    out.resize(old + bound);
    char *w = &out[old];
    put(w, s.field(StoredLine::Number));
    *w++ = ',';
    put(w, s.field(StoredLine::Timestamp));
    *w++ = ',';
    put(w, s.field(StoredLine::Type));
    *w++ = ',';
    if (prefix != Prefix::None)
        put(w, "0x");
    put(w, s.field(StoredLine::Address));
    *w++ = ',';
    put(w, s.field(StoredLine::Direction));
    *w++ = ',';
    put(w, s.field(StoredLine::Response));
    *w++ = ',';
    if (prefix == Prefix::AddressAndData)
        putPrefixedData(w, s.field(StoredLine::Data));
    else
        put(w, s.field(StoredLine::Data));
    put(w, "\r\n");
    out.resize(size_t(w - out.data()));
}

bool isHtmlSpecial(char c)
{
    return c == '<' || c == '>' || c == '&' || c == '"';
}

void appendEscaped(std::string &out, Field f)
{
    for (char c : f) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

void appendHtml(std::string &out, const StoredLine &s)
{
    const Prefix prefix = prefixFor(s);
    // Build the seven column texts unescaped, then escape them while writing
    // the cells; "0x" and the spaces added carry nothing to escape.
    std::string addr;
    std::string data;
    Field cols[7] = {s.field(StoredLine::Number),    s.field(StoredLine::Timestamp),
                     s.field(StoredLine::Type),      s.field(StoredLine::Address),
                     s.field(StoredLine::Direction), s.field(StoredLine::Response),
                     s.field(StoredLine::Data)};
    if (prefix != Prefix::None) {
        addr.reserve(cols[3].size() + 2);
        addr.append("0x").append(cols[3]);
        cols[3] = addr;
    }
    if (prefix == Prefix::AddressAndData) {
        data.resize(prefixedDataBound(cols[6]));
        char *w = &data[0];
        putPrefixedData(w, cols[6]);
        data.resize(size_t(w - data.data()));
        cols[6] = data;
    }
    out += "<tr>\r\n";
    for (Field c : cols) {
        out += "<td>";
        bool special = false;
        for (size_t i = 0; i < c.size() && !special; ++i)
            special = isHtmlSpecial(c[i]);
        if (special)
            appendEscaped(out, c);
        else
            out += c;
        out += "</td>\r\n";
    }
    out += "</tr>\r\n";
}

// A line that is not plain ASCII as the bytes of the saved file's encoding,
// so that the byte-level rows above serve it too: text is ASCII and CSV
// Latin-1, each with "?" for every UTF-16 unit it cannot hold; HTML is UTF-8.
QByteArray encodeForSave(SavedFormat format, const char *line, qsizetype size)
{
    QString text = linetext::decode(line, size);
    switch (format) {
    case SavedFormat::Text:
        for (QChar &c : text) {
            if (c.unicode() >= 0x80)
                c = QLatin1Char('?');
        }
        return text.toLatin1();
    case SavedFormat::Html:
        return text.toUtf8();
    case SavedFormat::Csv:
    case SavedFormat::None: // writes nothing, but counts the fields
        break;
    }
    return text.toLatin1();
}

// The row of a line already in the saved file's encoding. Every "\n" goes,
// not only the last: a line read up to its "\n" holds no other one, but a
// caller's might.
bool appendBytesRow(std::string &out, SavedFormat format, std::string_view text)
{
    const size_t body = !text.empty() && text.back() == '\n' ? text.size() - 1 : text.size();
    if (std::memchr(text.data(), '\n', body)) {
        std::string joined;
        joined.reserve(text.size());
        for (char c : text) {
            if (c != '\n')
                joined += c;
        }
        return appendBytesRow(out, format, joined);
    }
    StoredLine stored;
    if (!stored.parse(text))
        return false;
    switch (format) {
    case SavedFormat::Text:
        appendText(out, stored);
        break;
    case SavedFormat::Csv:
        appendCsv(out, stored);
        break;
    case SavedFormat::Html:
        appendHtml(out, stored);
        break;
    case SavedFormat::None:
        break;
    }
    return true;
}

} // namespace

SavedCaptureWriter::SavedCaptureWriter(QIODevice &out, SavedFormat format)
    : m_out(out), m_format(format)
{
}

QByteArray SavedCaptureWriter::header(SavedFormat format, const QString &title)
{
    switch (format) {
    case SavedFormat::Text:
        return QByteArray(kTextHeader);
    case SavedFormat::Csv:
        return QByteArray(kCsvHeader);
    case SavedFormat::Html:
        return QByteArray(kHtmlHead) + "<title>" + title.toHtmlEscaped().toUtf8() + "</title>\r\n" +
               kHtmlTableHead;
    case SavedFormat::None:
        break;
    }
    return QByteArray();
}

QByteArray SavedCaptureWriter::footer(SavedFormat format)
{
    return format == SavedFormat::Html ? QByteArray(kHtmlEnd) : QByteArray();
}

bool SavedCaptureWriter::appendRow(std::string &out, SavedFormat format, const char *line,
                                   qsizetype size)
{
    if (!linetext::isPlainAscii(line, size_t(size))) {
        const QByteArray encoded = encodeForSave(format, line, size);
        return appendBytesRow(out, format,
                              std::string_view(encoded.constData(), size_t(encoded.size())));
    }
    return appendBytesRow(out, format, std::string_view(line, size_t(size)));
}

void SavedCaptureWriter::writeBytes(const char *data, qsizetype size)
{
    m_buffer.append(data, size_t(size));
    if (m_buffer.size() >= kFlushThreshold)
        pushBuffer();
}

void SavedCaptureWriter::writeHeader(const QString &title)
{
    const QByteArray h = header(m_format, title);
    writeBytes(h.constData(), h.size());
}

void SavedCaptureWriter::writeFooter()
{
    const QByteArray f = footer(m_format);
    writeBytes(f.constData(), f.size());
}

bool SavedCaptureWriter::writeStoredLine(const char *line, qsizetype size)
{
    if (m_format == SavedFormat::None)
        return false;
    const bool written = appendRow(m_buffer, m_format, line, size);
    if (written)
        ++m_rows;
    if (m_buffer.size() >= kFlushThreshold)
        pushBuffer();
    return written;
}

void SavedCaptureWriter::pushBuffer()
{
    // A short write carries no reason; writing the rest gives the one to show.
    const char *data = m_buffer.data();
    qint64 left = failed() ? 0 : qint64(m_buffer.size());
    while (left > 0) {
        const qint64 n = m_out.write(data, left);
        if (n <= 0) {
            m_error = m_out.errorString();
            break;
        }
        data += n;
        left -= n;
    }
    m_buffer.clear();
}

bool SavedCaptureWriter::flush()
{
    pushBuffer();
    if (auto *file = qobject_cast<QFileDevice *>(&m_out)) {
        if (!failed() && !file->flush())
            m_error = file->errorString();
    }
    return !failed();
}

TransferResult SavedCaptureWriter::save(QIODevice &store, QIODevice &out, SavedFormat format,
                                        const QString &title, const TransferProgress &progress)
{
    TransferResult result;
    if (format == SavedFormat::None)
        return result;
    SavedCaptureWriter writer(out, format);
    writer.writeHeader(title);
    if (!store.isSequential())
        store.seek(0);
    LineReader reader(store);
    const char *line;
    qsizetype size;
    while (!writer.failed() && reader.next(line, size)) {
        ++result.linesRead;
        result.bytesRead = reader.bytesConsumed();
        if (progress && !progress(result.bytesRead)) {
            result.cancelled = true;
            break;
        }
        if (!writer.writeStoredLine(line, size))
            ++result.linesSkipped;
    }
    result.rowsWritten = writer.rowsWritten();
    if (reader.failed())
        result.error = reader.errorString();
    if (format == SavedFormat::Html)
        writer.writeFooter();
    if (!writer.flush() && result.error.isEmpty())
        result.error = writer.errorString();
    return result;
}
