#include "capture/visiblerows.h"
#include "view/tablenavigator.h"

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

// One move and where it leaves the table.
#define STEP(call, expected)                                                                       \
    do {                                                                                           \
        n.call;                                                                                    \
        EXPECT_EQ(at(n), expected) << #call;                                                       \
    } while (0)

TEST(TableNavigator, KeysWheelAndScrollAtTheEndsOfTheCapture)
{
    EveryNth all;
    all.lines = 100;
    TableNavigator n(&all);
    n.setPageRows(10);
    STEP(update(), "90 -1 -1 f");
    EXPECT_EQ(n.pageCount(), 10);
    STEP(moveBy(-1), "90 99 9");    // no current row: Up takes the page's last row
    STEP(moveBy(-10), "80 89 9");   // a page up takes the page along
    STEP(moveBy(1), "81 90 9");     // the page moves once the row leaves it
    STEP(scrollBy(-1), "80 90 -1"); // just below the page
    STEP(toFirst(), "0 0 0");
    STEP(moveBy(-10), "0 0 0");
    STEP(moveBy(25), "25 25 0");
    all.lines = 120;
    STEP(update(), "25 25 0"); // rows arrive: not following, the page stays
    STEP(toLast(), "110 119 9 f");
    STEP(moveBy(10), "110 119 9"); // at the last row it stays, no longer following
    all.lines = 130;
    STEP(update(), "110 119 9");
    STEP(scrollBy(-200), "0 119 -1");  // wheel and scroll bar stop at the ends
    STEP(moveBy(1), "0 0 0");          // current row off the page: Down takes the first
    STEP(scrollTo(120), "120 0 -1 f"); // the last page follows again
    all.lines = 135;
    STEP(update(), "125 0 -1 f");
    STEP(showLine(3), "0 3 3"); // a third of the way down when it was off the page
    STEP(showLine(60), "57 60 3");
    STEP(showLine(500), "125 134 9");
    STEP(followNewest(), "125 134 9 f");
    all.lines = 5;
    STEP(update(), "0 134 -1 f"); // shrunk below a page
    EXPECT_EQ(n.pageCount(), 5);
    all.lines = 0;
    STEP(update(), "0 -1 -1 f");
    STEP(moveBy(1), "0 -1 -1 f");
    STEP(toFirst(), "0 -1 -1 f");
    STEP(showLine(0), "0 -1 -1 f");
    all.lines = 50;
    n.showLine(7);
    STEP(reset(), "0 -1 -1 f");
}

TEST(TableNavigator, ASubsetOfRowsKeepsTheCurrentLine)
{
    EveryNth all, sevenths;
    all.lines = sevenths.lines = 1000;
    sevenths.step = 7; // lines 0, 7, ..., 994: 143 rows
    TableNavigator n(&all);
    n.setPageRows(10);
    n.showLine(500);
    STEP(setRows(&sevenths), "69 504 3"); // 500 is hidden: the next shown line
    STEP(moveBy(1), "69 511 4");
    STEP(toLast(), "133 994 9 f");
    STEP(moveBy(-10), "123 924 9");
    STEP(setRows(&all), "921 924 3"); // shown in both: stays, a third down
    n.showLine(998);
    STEP(setRows(&sevenths), "133 994 9"); // none at or after it: the last row
    STEP(toFirst(), "0 0 0");
    n.setRows(&all);
    n.reset();
    n.scrollTo(40);
    STEP(setRows(&sevenths), "6 -1 -1"); // no current row: line 42 heads the page
}
