#include "pagegeometry.h"

#include <gtest/gtest.h>

namespace {
void expectPage(int v, int r, int l, int first, int count)
{
    const PageWindow w = PageGeometry::pageWindow(v, r, l);
    EXPECT_EQ(w.first, first) << "v=" << v << " R=" << r << " L=" << l;
    EXPECT_EQ(w.count, count) << "v=" << v << " R=" << r << " L=" << l;
}
} // namespace

TEST(PageGeometry, RowsPerPage)
{
    EXPECT_EQ(PageGeometry::pageRowCount(820), 40);
    EXPECT_EQ(PageGeometry::pageRowCount(839), 40);
    EXPECT_EQ(PageGeometry::pageRowCount(40), 1);
    EXPECT_EQ(PageGeometry::pageRowCount(39), 0); // under 40 pixels: no rows
    EXPECT_EQ(PageGeometry::pageRowCount(0), -1);
}

TEST(PageGeometry, PageWindowFollowsTheScrollValue)
{
    expectPage(0, 40, 0, 0, 0);       // empty store
    expectPage(0, 40, 7, 0, 7);       // fewer lines than a page: all from 0
    expectPage(7, 40, 7, 0, 7);       // ... wherever the scroll bar is
    expectPage(100, 40, 100, 60, 40); // following: the newest page
    expectPage(10, 40, 100, 10, 40);  // v + R <= L: from v
    expectPage(60, 40, 100, 60, 40);  // exactly the last full page
    expectPage(61, 40, 100, 60, 40);  // inside the last R lines
    expectPage(99, 40, 100, 60, 40);
    expectPage(40, 40, 40, 0, 40); // one full page
    expectPage(5, 0, 100, 5, 0);   // no room: nothing shown
    expectPage(5, -1, 100, 5, -1);
    // No overflow near the top of the int range.
    expectPage(2147483647, 40, 2147483647, 2147483607, 40);
}

TEST(PageGeometry, AutoFollowWheelAndColumnWidths)
{
    EXPECT_TRUE(PageGeometry::autoFollowAt(10, 10));
    EXPECT_FALSE(PageGeometry::autoFollowAt(9, 10));
    EXPECT_TRUE(PageGeometry::autoFollowAt(0, 0));

    EXPECT_EQ(PageGeometry::wheelValue(5, 120, 10), 4);
    EXPECT_EQ(PageGeometry::wheelValue(5, 1, 10), 4); // one line whatever the delta
    EXPECT_EQ(PageGeometry::wheelValue(0, 120, 10), 0);
    EXPECT_EQ(PageGeometry::wheelValue(5, -120, 10), 6);
    EXPECT_EQ(PageGeometry::wheelValue(5, 0, 10), 6);
    EXPECT_EQ(PageGeometry::wheelValue(10, -1200, 10), 10);

    EXPECT_FALSE(PageGeometry::columnWidths(739).has_value());
    EXPECT_EQ(*PageGeometry::columnWidths(900),
              (std::array<int, 8>{50, 70, 70, 60, 215, 215, 70, 150}));
    const auto w = *PageGeometry::columnWidths(1000); // floors
    EXPECT_EQ(w, (std::array<int, 8>{55, 77, 77, 66, 238, 238, 77, 166}));
    int sum = 0;
    const auto narrowest = PageGeometry::columnWidths(740);
    ASSERT_TRUE(narrowest.has_value());
    for (int x : *narrowest)
        sum += x;
    EXPECT_LE(sum, 740);
    EXPECT_GE(sum, 740 - 8);
}
