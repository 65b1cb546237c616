#include "savedformatoracle.h"

#include <QString>
#include <QStringList>
#include <QTextCodec>

namespace oracle {
namespace {

// Up to the first NUL: UTF-8 when valid, else Latin-1.
QString decode(QByteArray bytes)
{
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    QTextCodec::ConverterState state;
    const QString text =
        QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return text;
    return QString::fromLatin1(bytes);
}

QString asciiOnly(QString s)
{
    for (QChar &c : s) {
        if (c.unicode() >= 0x80)
            c = QLatin1Char('?');
    }
    return s;
}

void append(std::string &out, const QByteArray &b)
{
    out.append(b.constData(), size_t(b.size()));
}

} // namespace

bool savedRow(std::string &out, SavedFormat format, const QByteArray &line)
{
    QString text = decode(line);
    text.remove(QLatin1Char('\n'));
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 7)
        return false;
    const QString &count = parts[0];
    const QString &type = parts[1];
    QString addr = parts[2];
    const QString &rw = parts[3];
    QString data = parts[4];
    const QString &resp = parts[5];
    const QString &time = parts[6];

    if (format == SavedFormat::Text) {
        const QString row = asciiOnly(count).leftJustified(9, ' ', true) + "| " +
                            asciiOnly(time).leftJustified(21, ' ', true) + "| " +
                            asciiOnly(type).leftJustified(6, ' ', true) + "|   " +
                            asciiOnly(addr).leftJustified(6, ' ', true) + "| " +
                            asciiOnly(rw).leftJustified(6, ' ', true) + "|  " +
                            asciiOnly(resp).leftJustified(5, ' ', true) + '|' +
                            asciiOnly(data).leftJustified(2) + "\r\n";
        append(out, row.toLatin1());
        return true;
    }
    if (format == SavedFormat::None)
        return true;
    if (type == QLatin1String("DATA") || type == QLatin1String("ADDR"))
        addr.prepend(QLatin1String("0x"));
    if (type == QLatin1String("DATA")) {
        QString prefixed;
        for (const QString &part : data.split(QLatin1Char(' ')))
            prefixed += QLatin1String("0x") + part + QLatin1Char(' ');
        data = prefixed;
    }
    const QStringList cols = {count, time, type, addr, rw, resp, data};
    if (format == SavedFormat::Csv) {
        append(out, (cols.join(QLatin1Char(',')) + "\r\n").toLatin1());
        return true;
    }
    QString row = QStringLiteral("<tr>\r\n");
    for (const QString &c : cols)
        row += QLatin1String("<td>") + c.toHtmlEscaped() + QLatin1String("</td>\r\n");
    append(out, (row + QLatin1String("</tr>\r\n")).toUtf8());
    return true;
}

bool storedLine(QByteArray &stored, SavedFormat format, const QByteArray &line)
{
    QString text = decode(line);
    if (format != SavedFormat::Text)
        text.remove(QLatin1String("0x"));
    const QStringList parts = text.split(QLatin1Char(format == SavedFormat::Text ? '|' : ','));
    if (parts.size() < 7)
        return false;
    stored = (parts[0].trimmed() + ',' + parts[2].trimmed() + ',' + parts[3].trimmed() + ',' +
              parts[4].trimmed() + ',' + parts[6].trimmed() + ',' + parts[5].trimmed() + ',' +
              parts[1].trimmed() + '\n')
                 .toLatin1();
    return true;
}

} // namespace oracle
