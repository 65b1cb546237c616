#include "savedformatoracle.h"

#include <QStringList>
#include <QTextCodec>

namespace oracle {
namespace {

// Up to the first NUL: UTF-8 when valid, else Latin-1.
QString decode(QByteArray bytes)
{
    bytes.truncate(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
    QTextCodec::ConverterState state;
    const QString text =
        QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars || state.remainingChars ? QString::fromLatin1(bytes) : text;
}

} // namespace

bool savedRow(std::string &out, SavedFormat format, const QByteArray &line)
{
    const QString text = decode(line).remove(QLatin1Char('\n'));
    const QStringList p = text.split(QLatin1Char(','));
    if (p.size() < 7)
        return false;
    QByteArray row;
    if (format == SavedFormat::Text) {
        QString ascii = text;
        for (QChar &c : ascii)
            c = c.unicode() < 0x80 ? c : QChar('?');
        const QList<QByteArray> a = ascii.toLatin1().split(',');
        row = QString::asprintf("%-9.9s| %-21.21s| %-6.6s|   %-6.6s| %-6.6s|  %-5.5s|%-2s\r\n",
                                a[0].constData(), a[6].constData(), a[1].constData(),
                                a[2].constData(), a[3].constData(), a[5].constData(),
                                a[4].constData())
                  .toLatin1();
    } else if (format != SavedFormat::None) {
        // Saved order: count, time, type, address, direction, response, data.
        QStringList cols = {p[0], p[6], p[1], p[2], p[3], p[5], p[4]};
        if (p[1] == QLatin1String("DATA") || p[1] == QLatin1String("ADDR"))
            cols[3].prepend(QLatin1String("0x"));
        if (p[1] == QLatin1String("DATA"))
            cols[6] = "0x" + cols[6].replace(QLatin1Char(' '), QLatin1String(" 0x")) + ' ';
        if (format == SavedFormat::Csv) {
            row = (cols.join(QLatin1Char(',')) + "\r\n").toLatin1();
        } else {
            for (QString &c : cols)
                c = c.toHtmlEscaped();
            row = ("<tr>\r\n<td>" + cols.join("</td>\r\n<td>") + "</td>\r\n</tr>\r\n").toUtf8();
        }
    }
    out.append(row.constData(), size_t(row.size()));
    return true;
}

bool storedLine(QByteArray &stored, SavedFormat format, const QByteArray &line)
{
    QString text = decode(line);
    if (format != SavedFormat::Text)
        text.remove(QLatin1String("0x"));
    const QStringList p = text.split(QLatin1Char(format == SavedFormat::Text ? '|' : ','));
    if (p.size() < 7)
        return false;
    // Saved order: count, time, type, address, direction, response, data.
    const auto f = [&p](int i) { return p[i].trimmed(); };
    stored = (QStringList{f(0), f(2), f(3), f(4), f(6), f(5), f(1)}.join(',') + '\n').toLatin1();
    return true;
}

} // namespace oracle
