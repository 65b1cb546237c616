#include "rowstyle.h"

#include <gtest/gtest.h>

namespace {
QStringList fields(const char *type, const char *dir, const char *data, const char *resp)
{
    return {"0", type, "50", dir, data, "", resp, "00.00.00.000.000.000"};
}

std::array<QRgb, 8> rgb(const QStringList &f)
{
    std::array<QRgb, 8> out;
    const auto c = RowStyle::textColours(f);
    for (size_t i = 0; i < 8; ++i)
        out[i] = RowStyle::color(c[i]).rgba();
    return out;
}

constexpr QRgb white = 0xFFFFFFFF;
QRgb col(int r, int g, int b)
{
    return qRgba(r, g, b, 255);
}
} // namespace

TEST(RowStyle, AsciiTextOfDataBytes)
{
    EXPECT_EQ(RowStyle::asciiText("41 20 7F"), "A..");
    EXPECT_EQ(RowStyle::asciiText("12 34 56"), ".4V");
    EXPECT_EQ(RowStyle::asciiText("21 7E 00"), "!~.");
    EXPECT_EQ(RowStyle::asciiText("41"), "A");
    EXPECT_EQ(RowStyle::asciiText("41  42"), "A.B"); // empty piece
    EXPECT_EQ(RowStyle::asciiText(""), ".");
    EXPECT_EQ(RowStyle::asciiText("--"), ".");
    EXPECT_EQ(RowStyle::asciiText("A5 [CMD]"), ".."); // a label piece is no number
    EXPECT_EQ(RowStyle::asciiText("141"), "A");       // low byte only
}

TEST(RowStyle, TextColoursByTypeDirectionAndResponse)
{
    const QRgb green = col(51, 204, 51);
    // DATA, WRITE, 41, ACK: green type, white address, red WRITE, green data
    // and ASCII, light green ACK.
    EXPECT_EQ(rgb(fields("DATA", "WRITE", "41", "ACK")),
              (std::array<QRgb, 8>{white, green, white, col(230, 73, 89), green, green,
                                   col(138, 206, 137), white}));
    EXPECT_EQ(rgb(fields("DATA", "READ", "41 42", "NACK")),
              (std::array<QRgb, 8>{white, green, white, col(60, 125, 253), green, green,
                                   col(171, 203, 95), white}));
    const QRgb orange = col(249, 114, 29);
    EXPECT_EQ(rgb(fields("ADDR", "READ", "--", "ACK")),
              (std::array<QRgb, 8>{white, orange, orange, col(60, 125, 253), white, white,
                                   col(255, 0, 128), white}));
    EXPECT_EQ(rgb(fields("ADDR", "WRITE", "-- [EEPROM]", "NACK"))[6], col(249, 117, 142));
    EXPECT_EQ(rgb(fields("ADDR", "WRITE", "-- [EEPROM]", "NACK"))[4], white); // "--" inside
    EXPECT_EQ(
        rgb(fields("START", "--", "--", "--")),
        (std::array<QRgb, 8>{white, col(102, 204, 204), white, white, white, white, white, white}));
    EXPECT_EQ(rgb(fields("STOP", "--", "--", "--"))[1], col(204, 0, 0));
    // Exact, case-sensitive comparisons; unknown texts stay white.
    EXPECT_EQ(rgb(fields("data", "write", "41", "ack")),
              (std::array<QRgb, 8>{white, white, white, white, green, green, white, white}));
    EXPECT_EQ(RowStyle::brush(RowStyle::Teal).color(), QColor(102, 204, 204));
    EXPECT_EQ(RowStyle::brush(RowStyle::Teal).style(), Qt::SolidPattern);
}
