#include "capture/storedline.h"
#include "view/rowstyle.h"

#include <gtest/gtest.h>

TEST(RowStyle, AsciiTextAndColoursFollowTypeDirectionResponseAndData)
{
    EXPECT_EQ(RowStyle::asciiText("41 20 7F"), "A..");
    EXPECT_EQ(RowStyle::asciiText("21 7E 00"), "!~.");
    EXPECT_EQ(RowStyle::asciiText("41  42"), "A.B"); // empty piece
    EXPECT_EQ(RowStyle::asciiText("--"), ".");
    EXPECT_EQ(RowStyle::asciiText("A5 [CMD]"), ".."); // a label piece is no number
    EXPECT_EQ(RowStyle::asciiText("141"), "A");       // low byte only
    using C = RowStyle::Colour;
    const auto colours = [](const char *line) {
        StoredLine l;
        EXPECT_TRUE(l.parse(line));
        return RowStyle::textColours(l);
    };
    using Row = std::array<C, 8>;
    const C W = RowStyle::White;
    EXPECT_EQ(colours("0,DATA,50,WRITE,41,ACK,t"),
              (Row{W, C::Green, W, C::WriteRed, C::Green, C::Green, C::LightGreen, W}));
    EXPECT_EQ(colours("0,DATA,50,READ,41 42,NACK,t"),
              (Row{W, C::Green, W, C::ReadBlue, C::Green, C::Green, C::OliveGreen, W}));
    EXPECT_EQ(colours("0,ADDR,50,READ,--,ACK,t"),
              (Row{W, C::Orange, C::Orange, C::ReadBlue, W, W, C::Magenta, W}));
    EXPECT_EQ(colours("0,ADDR,50,WRITE,-- [EEPROM],NACK,t"), // "--" inside: white data
              (Row{W, C::Orange, C::Orange, C::WriteRed, W, W, C::Pink, W}));
    EXPECT_EQ(colours("0,START,--,--,--,--,t"), (Row{W, C::Teal, W, W, W, W, W, W}));
    EXPECT_EQ(colours("0,STOP,--,--,--,--,t")[1], C::Red);
    // Exact, case-sensitive comparisons; unknown texts stay white.
    EXPECT_EQ(colours("0,data,50,write,41,ack,t"), (Row{W, W, W, W, C::Green, C::Green, W, W}));
    EXPECT_EQ(RowStyle::brush(C::Teal).color(), QColor(102, 204, 204));
}
