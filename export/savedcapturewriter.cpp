#include "savedcapturewriter.h"

#include "linereader.h"
#include "linetext.h"

#include <QFileDevice>
#include <QStringList>

#include <cstring>

namespace {

constexpr size_t flushThreshold = 256 * 1024;

const char textHeader[] =
    "  Count  | Time(h.m.s.ms.us.ns) | Type  |Addr(Hex)|  R/W  |Respond|Data(Hex)\r\n";
const char csvHeader[] = "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n";
const char htmlHead[] = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\"/>\r\n";
const char htmlTableHead[] = "</head>\r\n<body>\r\n"
                             "<table border=\"1\">\r\n<tr>\r\n<th>Count</th>\r\n"
                             "<th>Time(h.m.s.ms.us.ns)</th>\r\n<th>Type</th>\r\n"
                             "<th>Addr(Hex)</th>\r\n<th>R/W</th>\r\n<th>Respond</th>\r\n"
                             "<th>Data(Hex)</th>\r\n</tr>\r\n";
const char htmlEnd[] = "</table>\r\n</body>\r\n</html>";

struct Span
{
    const char *p;
    size_t n;
    bool equals(const char *s, size_t len) const { return n == len && std::memcmp(p, s, n) == 0; }
};

// Stored field k of a line: 0 number, 1 type, 2 address, 3 direction,
// 4 data, 5 response, 6 timestamp. False with fewer than seven fields.
bool splitStored(const char *p, size_t n, Span (&f)[7])
{
    const char *s = p;
    const char *e = p + n;
    for (int k = 0; k < 6; ++k) {
        const char *c = static_cast<const char *>(std::memchr(s, ',', size_t(e - s)));
        if (!c)
            return false;
        f[k] = {s, size_t(c - s)};
        s = c + 1;
    }
    const char *c = static_cast<const char *>(std::memchr(s, ',', size_t(e - s)));
    f[6] = {s, size_t((c ? c : e) - s)};
    return true;
}

inline void put(char *&w, const char *s, size_t n)
{
    std::memcpy(w, s, n);
    w += n;
}

template <size_t N> inline void put(char *&w, const char (&s)[N])
{
    put(w, s, N - 1);
}

// printf's "%-W.Ws": cut to W characters, then padded with spaces to W.
inline void putFixed(char *&w, Span f, size_t width)
{
    const size_t m = f.n < width ? f.n : width;
    std::memcpy(w, f.p, m);
    std::memset(w + m, ' ', width - m);
    w += width;
}

void appendText(std::string &out, const Span (&f)[7])
{
    const size_t old = out.size();
    out.resize(old + 70 + (f[4].n < 2 ? 2 : f[4].n));
    char *w = &out[old];
    putFixed(w, f[0], 9);
    put(w, "| ");
    putFixed(w, f[6], 21);
    put(w, "| ");
    putFixed(w, f[1], 6);
    put(w, "|   ");
    putFixed(w, f[2], 6);
    put(w, "| ");
    putFixed(w, f[3], 6);
    put(w, "|  ");
    putFixed(w, f[5], 5);
    *w++ = '|';
    put(w, f[4].p, f[4].n);
    for (size_t i = f[4].n; i < 2; ++i)
        *w++ = ' ';
    put(w, "\r\n");
    out.resize(size_t(w - out.data()));
}

enum class Prefix { None, Address, AddressAndData };

Prefix prefixFor(Span type)
{
    if (type.equals("DATA", 4))
        return Prefix::AddressAndData;
    if (type.equals("ADDR", 4))
        return Prefix::Address;
    return Prefix::None;
}

// "0x" before every part of the data split at single spaces, each followed
// by a space: "12 34" gives "0x12 0x34 ".
void putPrefixedData(char *&w, Span d)
{
    const char *s = d.p;
    const char *e = d.p + d.n;
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
inline size_t prefixedDataBound(Span d)
{
    return 3 * d.n + 3;
}

void appendCsv(std::string &out, const Span (&f)[7])
{
    const Prefix prefix = prefixFor(f[1]);
    size_t bound = 10 + 2;
    for (const Span &s : f)
        bound += s.n;
    if (prefix == Prefix::AddressAndData)
        bound += prefixedDataBound(f[4]);
    const size_t old = out.size();
    out.resize(old + bound);
    char *w = &out[old];
    put(w, f[0].p, f[0].n);
    *w++ = ',';
    put(w, f[6].p, f[6].n);
    *w++ = ',';
    put(w, f[1].p, f[1].n);
    *w++ = ',';
    if (prefix != Prefix::None)
        put(w, "0x");
    put(w, f[2].p, f[2].n);
    *w++ = ',';
    put(w, f[3].p, f[3].n);
    *w++ = ',';
    put(w, f[5].p, f[5].n);
    *w++ = ',';
    if (prefix == Prefix::AddressAndData)
        putPrefixedData(w, f[4]);
    else
        put(w, f[4].p, f[4].n);
    put(w, "\r\n");
    out.resize(size_t(w - out.data()));
}

bool isHtmlSpecial(char c)
{
    return c == '<' || c == '>' || c == '&' || c == '"';
}

void appendEscaped(std::string &out, const char *p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        switch (p[i]) {
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
            out += p[i];
        }
    }
}

void appendHtml(std::string &out, const Span (&f)[7])
{
    const Prefix prefix = prefixFor(f[1]);
    // Build the seven column texts unescaped, then escape them while writing
    // the cells; "0x" and the spaces added carry nothing to escape.
    std::string addr;
    std::string data;
    Span cols[7] = {f[0], f[6], f[1], f[2], f[3], f[5], f[4]};
    if (prefix != Prefix::None) {
        addr.reserve(f[2].n + 2);
        addr.append("0x").append(f[2].p, f[2].n);
        cols[3] = {addr.data(), addr.size()};
    }
    if (prefix == Prefix::AddressAndData) {
        data.resize(prefixedDataBound(f[4]));
        char *w = &data[0];
        putPrefixedData(w, f[4]);
        data.resize(size_t(w - data.data()));
        cols[6] = {data.data(), data.size()};
    }
    out += "<tr>\r\n";
    for (const Span &c : cols) {
        out += "<td>";
        bool special = false;
        for (size_t i = 0; i < c.n && !special; ++i)
            special = isHtmlSpecial(c.p[i]);
        if (special)
            appendEscaped(out, c.p, c.n);
        else
            out.append(c.p, c.n);
        out += "</td>\r\n";
    }
    out += "</tr>\r\n";
}

// Every UTF-16 unit outside ASCII becomes "?", as the text format wants.
QString asciiOnly(QString s)
{
    for (QChar &c : s) {
        if (c.unicode() >= 0x80)
            c = QLatin1Char('?');
    }
    return s;
}

void appendBytes(std::string &out, const QByteArray &b)
{
    out.append(b.constData(), size_t(b.size()));
}

} // namespace

SavedCaptureWriter::SavedCaptureWriter(QIODevice &out, SavedFormat format)
    : out(out), format(format)
{
}

QByteArray SavedCaptureWriter::header(SavedFormat format, const QString &title)
{
    switch (format) {
    case SavedFormat::Text:
        return QByteArray(textHeader);
    case SavedFormat::Csv:
        return QByteArray(csvHeader);
    case SavedFormat::Html:
        return QByteArray(htmlHead) + "<title>" + title.toHtmlEscaped().toUtf8() + "</title>\r\n" +
               htmlTableHead;
    case SavedFormat::None:
        break;
    }
    return QByteArray();
}

QByteArray SavedCaptureWriter::footer(SavedFormat format)
{
    return format == SavedFormat::Html ? QByteArray(htmlEnd) : QByteArray();
}

SavedCaptureWriter::RowResult SavedCaptureWriter::appendRowFast(std::string &out,
                                                                SavedFormat format,
                                                                const char *line, qsizetype size)
{
    size_t n = size_t(size);
    if (n > 0 && line[n - 1] == '\n')
        --n;
    if (!linetext::isPlainAscii(line, n))
        return RowResult::NotHandled;
    // A line read up to its "\n" holds no other one, but a caller's might.
    if (std::memchr(line, '\n', n))
        return RowResult::NotHandled;
    Span f[7];
    if (!splitStored(line, n, f))
        return RowResult::Skipped;
    switch (format) {
    case SavedFormat::Text:
        appendText(out, f);
        break;
    case SavedFormat::Csv:
        appendCsv(out, f);
        break;
    case SavedFormat::Html:
        appendHtml(out, f);
        break;
    case SavedFormat::None:
        break;
    }
    return RowResult::Written;
}

bool SavedCaptureWriter::appendRowReference(std::string &out, SavedFormat format, const char *line,
                                            qsizetype size)
{
    QString text = linetext::decode(line, size);
    text.remove(QLatin1Char('\n'));
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 7)
        return false;

    const QString &count = parts[0];
    const QString &time = parts[6];
    const QString &type = parts[1];
    QString addr = parts[2];
    const QString &rw = parts[3];
    const QString &resp = parts[5];
    QString data = parts[4];

    if (format == SavedFormat::Text) {
        const QString row = asciiOnly(count).leftJustified(9, ' ', true) + '|' + ' ' +
                            asciiOnly(time).leftJustified(21, ' ', true) + '|' + ' ' +
                            asciiOnly(type).leftJustified(6, ' ', true) + '|' + "   " +
                            asciiOnly(addr).leftJustified(6, ' ', true) + '|' + ' ' +
                            asciiOnly(rw).leftJustified(6, ' ', true) + '|' + "  " +
                            asciiOnly(resp).leftJustified(5, ' ', true) + '|' +
                            asciiOnly(data).leftJustified(2) + "\r\n";
        appendBytes(out, row.toLatin1());
        return true;
    }
    if (format == SavedFormat::None)
        return true;

    if (type == QLatin1String("DATA")) {
        addr.prepend(QLatin1String("0x"));
        QString prefixed;
        for (const QString &part : data.split(QLatin1Char(' ')))
            prefixed += QLatin1String("0x") + part + QLatin1Char(' ');
        data = prefixed;
    } else if (type == QLatin1String("ADDR")) {
        addr.prepend(QLatin1String("0x"));
    }
    const QStringList cols = {count, time, type, addr, rw, resp, data};
    if (format == SavedFormat::Csv) {
        appendBytes(out, (cols.join(QLatin1Char(',')) + "\r\n").toLatin1());
        return true;
    }
    QString row = QStringLiteral("<tr>\r\n");
    for (const QString &c : cols)
        row += QLatin1String("<td>") + c.toHtmlEscaped() + QLatin1String("</td>\r\n");
    row += QLatin1String("</tr>\r\n");
    appendBytes(out, row.toUtf8());
    return true;
}

bool SavedCaptureWriter::appendRow(std::string &out, SavedFormat format, const char *line,
                                   qsizetype size)
{
    switch (appendRowFast(out, format, line, size)) {
    case RowResult::Written:
        return true;
    case RowResult::Skipped:
        return false;
    case RowResult::NotHandled:
        break;
    }
    return appendRowReference(out, format, line, size);
}

void SavedCaptureWriter::writeBytes(const char *data, qsizetype size)
{
    buffer.append(data, size_t(size));
    if (buffer.size() >= flushThreshold)
        pushBuffer();
}

void SavedCaptureWriter::writeHeader(const QString &title)
{
    const QByteArray h = header(format, title);
    writeBytes(h.constData(), h.size());
}

void SavedCaptureWriter::writeFooter()
{
    const QByteArray f = footer(format);
    writeBytes(f.constData(), f.size());
}

bool SavedCaptureWriter::writeStoredLine(const char *line, qsizetype size)
{
    if (format == SavedFormat::None)
        return false;
    const bool written = appendRow(buffer, format, line, size);
    if (written)
        ++rows;
    if (buffer.size() >= flushThreshold)
        pushBuffer();
    return written;
}

void SavedCaptureWriter::pushBuffer()
{
    if (!buffer.empty() && !failed()) {
        const qint64 n = out.write(buffer.data(), qint64(buffer.size()));
        if (n != qint64(buffer.size()))
            error = out.errorString();
    }
    buffer.clear();
}

bool SavedCaptureWriter::flush()
{
    pushBuffer();
    if (auto *file = qobject_cast<QFileDevice *>(&out)) {
        if (!failed() && !file->flush())
            error = file->errorString();
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
