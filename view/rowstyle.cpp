#include "rowstyle.h"

#include <QVector>

QColor RowStyle::color(Colour c)
{
    switch (c) {
    case Green:
        return QColor(51, 204, 51);
    case Orange:
        return QColor(249, 114, 29);
    case Teal:
        return QColor(102, 204, 204);
    case Red:
        return QColor(204, 0, 0);
    case Pink:
        return QColor(249, 117, 142);
    case Magenta:
        return QColor(255, 0, 128);
    case OliveGreen:
        return QColor(171, 203, 95);
    case LightGreen:
        return QColor(138, 206, 137);
    case WriteRed:
        return QColor(230, 73, 89);
    case ReadBlue:
        return QColor(60, 125, 253);
    case White:
    case ColourCount:
        break;
    }
    return QColor(255, 255, 255);
}

const QBrush &RowStyle::brush(Colour c)
{
    static const QVector<QBrush> brushes = [] {
        QVector<QBrush> b;
        for (int i = 0; i < ColourCount; ++i)
            b.append(QBrush(color(Colour(i)), Qt::SolidPattern));
        return b;
    }();
    return brushes[c < ColourCount ? c : White];
}

QString RowStyle::asciiText(const QString &dataField)
{
    const QVector<QStringRef> pieces = dataField.splitRef(QLatin1Char(' '), Qt::KeepEmptyParts);
    QString text;
    text.reserve(pieces.size());
    for (const QStringRef &piece : pieces) {
        const int byte = piece.toInt(nullptr, 16) & 0xFF;
        text += (byte >= 0x21 && byte <= 0x7E) ? QChar(byte) : QLatin1Char('.');
    }
    return text;
}

std::array<RowStyle::Colour, 8> RowStyle::textColours(const QStringList &f)
{
    std::array<Colour, 8> c;
    c.fill(White);
    if (f.size() < 8)
        return c;
    const QString &type = f[1];
    const QString &response = f[6];

    const Colour data = f[4].contains(QLatin1String("--")) ? White : Green;
    c[4] = data;
    c[5] = data;

    if (type == QLatin1String("ADDR")) {
        c[1] = Orange;
        c[2] = Orange;
        if (response == QLatin1String("NACK"))
            c[6] = Pink;
        else if (response == QLatin1String("ACK"))
            c[6] = Magenta;
    } else if (type == QLatin1String("START")) {
        c[1] = Teal;
    } else if (type == QLatin1String("STOP")) {
        c[1] = Red;
    } else if (type == QLatin1String("DATA")) {
        c[1] = Green;
        if (response == QLatin1String("NACK"))
            c[6] = OliveGreen;
        else if (response == QLatin1String("ACK"))
            c[6] = LightGreen;
    }

    if (f[3] == QLatin1String("WRITE"))
        c[3] = WriteRed;
    else if (f[3] == QLatin1String("READ"))
        c[3] = ReadBlue;
    return c;
}
