#include "tablenavigator.h"
#include "visiblerows.h"

#include <gtest/gtest.h>

namespace {
// Every step-th of `lines` stored lines (step 1: all of them).
struct EveryNth : VisibleRows
{
    qint64 lines = 0, step = 1;
    qint64 count() const override { return (lines + step - 1) / step; }
    qint64 storedLine(qint64 row) const override { return row * step; }
    qint64 rowAtOrAfter(qint64 line) const override
    {
        return std::min(count(), std::max<qint64>(0, (line + step - 1) / step));
    }
};

// Page position, current line and following, as one comparable text.
std::string at(const TableNavigator &n)
{
    return std::to_string(n.top()) + " " + std::to_string(n.currentLine()) + " " +
           std::to_string(n.currentPageRow()) + (n.following() ? " f" : "");
}
} // namespace

TEST(TableNavigator, KeysWheelAndScrollAtTheEndsOfTheCapture)
{
    EveryNth all;
    all.lines = 100;
    TableNavigator n(&all);
    n.setPageRows(10);
    n.update();
    EXPECT_EQ(at(n), "90 -1 -1 f");
    EXPECT_EQ(n.pageCount(), 10);
    n.moveBy(-1); // no current row: Up takes the page's last row
    EXPECT_EQ(at(n), "90 99 9");
    n.moveBy(-10); // a page up takes the page along
    EXPECT_EQ(at(n), "80 89 9");
    n.moveBy(1); // keeps the page until the row leaves it
    EXPECT_EQ(at(n), "81 90 9");
    n.toFirst();
    EXPECT_EQ(at(n), "0 0 0");
    n.moveBy(-1);
    n.moveBy(-10);
    EXPECT_EQ(at(n), "0 0 0");
    n.moveBy(25);
    EXPECT_EQ(at(n), "25 25 0");
    all.lines = 120; // rows arrive: not following, the page stays
    n.update();
    EXPECT_EQ(at(n), "25 25 0");
    n.toLast();
    n.update();
    EXPECT_EQ(at(n), "110 119 9 f");
    n.moveBy(10); // at the last row: stays, and no longer follows
    EXPECT_EQ(at(n), "110 119 9");
    all.lines = 130;
    n.update();
    EXPECT_EQ(at(n), "110 119 9");
    n.scrollBy(-200); // wheel and scroll bar stop at the ends
    EXPECT_EQ(at(n), "0 119 -1");
    n.moveBy(1); // the current row is off the page: Down takes the page's first
    EXPECT_EQ(at(n), "0 0 0");
    n.scrollTo(120); // the last page follows again
    all.lines = 135;
    n.update();
    EXPECT_EQ(at(n), "125 0 -1 f");
    n.showLine(3); // a third of the way down when it was off the page
    EXPECT_EQ(at(n), "0 3 3");
    n.showLine(60);
    EXPECT_EQ(at(n), "57 60 3");
    n.showLine(500);
    EXPECT_EQ(at(n), "125 134 9");
    n.followNewest();
    EXPECT_EQ(at(n), "125 134 9 f");
    all.lines = 5; // shrunk below a page
    n.update();
    EXPECT_EQ(at(n), "0 134 -1 f");
    EXPECT_EQ(n.pageCount(), 5);
    all.lines = 0;
    n.update();
    n.moveBy(1);
    n.toFirst();
    n.showLine(0);
    EXPECT_EQ(at(n), "0 -1 -1 f");
    all.lines = 50;
    n.showLine(7);
    n.reset();
    EXPECT_EQ(at(n), "0 -1 -1 f");
}

TEST(TableNavigator, ASubsetOfRowsKeepsTheCurrentLine)
{
    EveryNth all, sevenths;
    all.lines = sevenths.lines = 1000;
    sevenths.step = 7; // lines 0, 7, ..., 994: 143 rows
    TableNavigator n(&all);
    n.setPageRows(10);
    n.showLine(500);
    n.setRows(&sevenths); // 500 is hidden: the next shown line, 504 (row 72)
    EXPECT_EQ(at(n), "69 504 3");
    n.moveBy(1);
    EXPECT_EQ(n.currentLine(), 511);
    n.toLast();
    EXPECT_EQ(at(n), "133 994 9 f");
    n.moveBy(-10);
    EXPECT_EQ(at(n), "123 924 9");
    n.setRows(&all); // visible in both: stays, a third down
    EXPECT_EQ(at(n), "921 924 3");
    n.showLine(998);
    n.setRows(&sevenths); // nothing at or after it: the last row
    EXPECT_EQ(n.currentLine(), 994);
    n.toFirst();
    n.moveBy(-5);
    EXPECT_EQ(at(n), "0 0 0");
    n.setRows(&all);
    n.reset();
    n.scrollTo(40); // no current row: the first line on the page stays first
    n.setRows(&sevenths);
    EXPECT_EQ(n.top(), 6); // line 42
}
