#include "pagegeometry.h"

#include <gtest/gtest.h>

TEST(PageGeometry, RowsPerPageAndThePageATickShows)
{
    // height / 20 - 1: under 40 pixels no rows.
    for (auto [h, rows] : {std::pair{820, 40}, {839, 40}, {40, 1}, {39, 0}, {0, -1}})
        EXPECT_EQ(PageGeometry::pageRowCount(h), rows) << h;

    struct Case
    {
        int v, r, l, first, count;
    };
    for (const Case c : {
             Case{0, 40, 0, 0, 0},                         // empty store
             {7, 40, 7, 0, 7},                             // fewer lines than a page: all from 0
             {100, 40, 100, 60, 40},                       // following: the newest page
             {10, 40, 100, 10, 40},                        // v + R <= L: from v
             {60, 40, 100, 60, 40},                        // exactly the last full page
             {61, 40, 100, 60, 40},                        // inside the last R lines
             {40, 40, 40, 0, 40},                          // one full page
             {5, 0, 100, 5, 0},                            // no room: nothing shown
             {2147483647, 40, 2147483647, 2147483607, 40}, // no overflow
         }) {
        const PageWindow w = PageGeometry::pageWindow(c.v, c.r, c.l);
        EXPECT_EQ(w.first, c.first) << c.v << " " << c.r << " " << c.l;
        EXPECT_EQ(w.count, c.count) << c.v << " " << c.r << " " << c.l;
    }
}

TEST(PageGeometry, AutoFollowWheelAndColumnWidths)
{
    EXPECT_TRUE(PageGeometry::autoFollowAt(10, 10));
    EXPECT_FALSE(PageGeometry::autoFollowAt(9, 10));
    // One line per event whatever the delta; up towards 0.
    for (auto [v, delta, to] :
         {std::tuple{5, 120, 4}, {5, 1, 4}, {0, 120, 0}, {5, -120, 6}, {5, 0, 6}, {10, -1200, 10}})
        EXPECT_EQ(PageGeometry::wheelValue(v, delta, 10), to) << v << " " << delta;

    EXPECT_FALSE(PageGeometry::columnWidths(739).has_value());
    EXPECT_EQ(*PageGeometry::columnWidths(900),
              (std::array<int, 8>{50, 70, 70, 60, 215, 215, 70, 150}));
    EXPECT_EQ(*PageGeometry::columnWidths(1000), // floors
              (std::array<int, 8>{55, 77, 77, 66, 238, 238, 77, 166}));
    EXPECT_TRUE(PageGeometry::columnWidths(740).has_value());
}
