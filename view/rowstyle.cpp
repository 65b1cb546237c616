#include "view/rowstyle.h"

#include "capture/storedline.h"

#include <QVector>

QColor RowStyle::color(Colour c)
{
    // In the order of Colour.
    static constexpr QRgb kRgb[ColourCount] = {
        qRgb(255, 255, 255), qRgb(51, 204, 51),   qRgb(249, 114, 29), qRgb(102, 204, 204),
        qRgb(204, 0, 0),     qRgb(249, 117, 142), qRgb(255, 0, 128),  qRgb(171, 203, 95),
        qRgb(138, 206, 137), qRgb(230, 73, 89),   qRgb(60, 125, 253)};
    return QColor(kRgb[c >= 0 && c < ColourCount ? c : White]);
}

const QBrush &RowStyle::brush(Colour c)
{
    static const QVector<QBrush> kBrushes = [] {
        QVector<QBrush> b;
        for (int i = 0; i < ColourCount; ++i)
            b.append(QBrush(color(Colour(i)), Qt::SolidPattern));
        return b;
    }();
    return kBrushes[c < ColourCount ? c : White];
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

std::array<RowStyle::Colour, 8> RowStyle::textColours(const StoredLine &line)
{
    using Type = CaptureRow::Type;
    using Response = CaptureRow::Response;
    std::array<Colour, 8> c;
    c.fill(White);

    const Colour data =
        line.field(StoredLine::Data).find("--") != std::string_view::npos ? White : Green;
    c[4] = data;
    c[5] = data;

    if (line.is(Type::Addr)) {
        c[1] = Orange;
        c[2] = Orange;
        if (line.is(Response::Nack))
            c[6] = Pink;
        else if (line.is(Response::Ack))
            c[6] = Magenta;
    } else if (line.is(Type::Start)) {
        c[1] = Teal;
    } else if (line.is(Type::Stop)) {
        c[1] = Red;
    } else if (line.is(Type::Data)) {
        c[1] = Green;
        if (line.is(Response::Nack))
            c[6] = OliveGreen;
        else if (line.is(Response::Ack))
            c[6] = LightGreen;
    }

    if (line.is(CaptureRow::Direction::Write))
        c[3] = WriteRed;
    else if (line.is(CaptureRow::Direction::Read))
        c[3] = ReadBlue;
    return c;
}
