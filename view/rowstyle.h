// How a stored row looks in the table: the ASCII text of its data bytes and
// the text colour of each of its eight cells.
#pragma once

#include <QBrush>
#include <QColor>
#include <QString>

#include <array>

class StoredLine;

class RowStyle
{
public:
    enum Colour {
        White,
        Green,      // DATA type, data bytes
        Orange,     // ADDR type and address
        Teal,       // START
        Red,        // STOP
        Pink,       // NACK of an address
        Magenta,    // ACK of an address
        OliveGreen, // NACK of a data byte
        LightGreen, // ACK of a data byte
        WriteRed,   // WRITE
        ReadBlue,   // READ
        ColourCount
    };

    static QColor color(Colour c);
    // A solid brush of that colour, built once.
    static const QBrush &brush(Colour c);

    // The data field's bytes (hex pieces split at single spaces) as printable
    // characters; a byte outside 0x21..0x7E, or a piece that is no hex
    // number, shows as ".".
    static QString asciiText(const QString &dataField);

    // Text colours of the eight display cells of a stored line: number, type,
    // address, direction, data, ASCII, response, timestamp.
    static std::array<Colour, 8> textColours(const StoredLine &line);
};
