#include "view/capturestatus.h"
#include "view/gototarget.h"
#include "view/pagegeometry.h"

#include <gtest/gtest.h>

#include <QStringList>

TEST(PageGeometry, WholeRowsAndColumnWidths)
{
    // Only whole rows, of the height they are drawn at.
    for (auto [h, rowHeight, rows] :
         {std::tuple{840, 21, 40}, {839, 21, 39}, {20, 21, 0}, {0, 20, 0}, {-5, 20, 0}, {99, 0, 0}})
        EXPECT_EQ(PageGeometry::pageRowCount(h, rowHeight), rows) << h << " " << rowHeight;
    using W = PageGeometry::Widths;
    const W current{1, 2, 3, 4, 5, 6, 7, 8}, none{};
    EXPECT_EQ(PageGeometry::columnWidths(900, current, none),
              (W{50, 70, 70, 60, 215, 215, 70, 150}));
    EXPECT_EQ(PageGeometry::columnWidths(1000, current, none), // floors
              (W{55, 77, 77, 66, 238, 238, 77, 166}));
    EXPECT_EQ(PageGeometry::columnWidths(740, current, none)[0], 41);
    EXPECT_EQ(PageGeometry::columnWidths(739, current, none), current); // left alone
    // Too narrow shares get what their content needs; the rest share the remainder.
    const W minimum{90, 0, 0, 0, 0, 0, 0, 170};
    EXPECT_EQ(PageGeometry::columnWidths(900, current, minimum),
              (W{90, 64, 64, 54, 196, 196, 64, 170}));
    EXPECT_EQ(PageGeometry::columnWidths(739, current, minimum), (W{90, 2, 3, 4, 5, 6, 7, 170}));
    // More needed than there is: every column its minimum, the table scrolls sideways.
    const W wide{200, 200, 200, 200, 0, 0, 200, 200};
    EXPECT_EQ(PageGeometry::columnWidths(1000, current, wide),
              (W{200, 200, 200, 200, 0, 0, 200, 200}));
    // Any number of columns: three sharing 1:2:3, one held at its minimum.
    int widths[3] = {7, 8, 9};
    const int shares[3] = {1, 2, 3}, least[3] = {0, 400, 0};
    PageGeometry::shareWidths(1000, 3, shares, least, widths);
    EXPECT_EQ(std::vector<int>(widths, widths + 3), (std::vector<int>{150, 400, 450}));
}

TEST(CaptureStatus, RateAndCaptureTexts)
{
    EXPECT_EQ(CaptureStatus::captureDetail("sim", 1000000, 1), "1MHz，D2/D3，sim");
    EXPECT_EQ(CaptureStatus::sampleRateText(2500000) + CaptureStatus::sampleRateText(999999),
              "2.5MHz999.999kHz");
    // One unit system: powers of 1024 under their own names.
    EXPECT_EQ(CaptureStatus::fileSizeText(1023), "文件 1023 字节");
    EXPECT_EQ(CaptureStatus::fileSizeText(1024) + CaptureStatus::fileSizeText(1374389535),
              "文件 1.0 KiB文件 1.3 GiB");
    EXPECT_EQ(CaptureStatus::fileSizeText(928765133), "文件 885.7 MiB");
    CaptureStatus rate;
    rate.restart(100, 0);
    EXPECT_FALSE(rate.sample(600, 999));
    EXPECT_TRUE(rate.sample(2100, 2000));
    EXPECT_EQ(rate.rowsPerSecond(), 1000);
    EXPECT_TRUE(rate.sample(50, 2100)); // emptied: counts anew
    EXPECT_EQ(rate.rowsPerSecond(), 0);
}

TEST(GoToTarget, RowsTransactionsAndTimes)
{
    // Rows from 0 and times; in the transaction view 序号 from 1, rows after "r" or "行".
    std::string got; // "R": the row view, "T": the transaction view
    for (const QString &t : QStringLiteral("R 500 |R0|R00.00.01.5|Rr5|R-1|T1|T0|TR 0|T行12|"
                                           "T00.00.00.000.002|Tr00.00.01")
                                .split('|')) {
        const GoToTarget g = GoToTarget::parse(t.mid(1), t[0] == 'T');
        got += std::to_string(g.kind) + ":" + std::to_string(g.value) + " ";
    }
    EXPECT_EQ(got, "1:500 1:0 3:1005000000 0:0 0:0 2:0 0:0 1:0 1:12 3:2000 0:0 ");
}
