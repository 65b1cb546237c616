// Where the record table stands in the capture: the first visible row of the
// page, the current row (kept as its stored line, so it survives a change of
// filter), and whether the page follows the newest rows. The keys, the wheel,
// the scroll bar, a click and Go to all move it; a tick asks it for the page.
// No widgets: the window only forwards events.
#pragma once

#include <QtGlobal>

class VisibleRows;

class TableNavigator
{
public:
    // rows must stay valid until replaced; never null.
    explicit TableNavigator(const VisibleRows *rows) : m_rows(rows) {}

    // Another set of rows (a filter set or cleared): the current stored line
    // stays current if it is visible, else the nearest following row does.
    void setRows(const VisibleRows *rows);
    const VisibleRows *rows() const { return m_rows; }

    // Whole rows that fit on the page (0 or more).
    void setPageRows(int rows);
    int pageRows() const { return m_pageRows; }

    // Brings the position in line with the rows there are now (they grow
    // while capturing, shrink on Clear): the page ends with the newest row
    // while following, and never reaches past the last row. Once per tick.
    void update();

    // First visible row of the page, rows on it, and the highest first row.
    qint64 top() const { return m_top; }
    qint64 pageCount() const;
    qint64 maxTop() const;
    bool following() const { return m_follow; }

    // The current row as a stored line, -1 when there is none.
    qint64 currentLine() const { return m_currentLine; }
    // Its row on the page, -1 when it is not shown.
    int currentPageRow() const;

    // Moves the current row by delta rows (Up/Down: 1, PgUp/PgDn: a page),
    // starting from the top of the page when there is none; the page follows
    // it. Stops following.
    void moveBy(qint64 delta);
    // Ctrl+Home: the first row, not following.
    void toFirst();
    // Ctrl+End: the last row, following again.
    void toLast();
    // Follows the newest rows again, the current row staying (a new capture).
    void followNewest();
    // Makes the row showing `line` (or the next visible one) current and puts
    // it on the page, a third of the way down when it was off the page.
    // Stops following (Go to, a click, a find).
    void showLine(qint64 line);
    // The page scrolled to start at row `top` (scroll bar, wheel); at the
    // last page it follows again.
    void scrollTo(qint64 top);
    void scrollBy(qint64 delta) { scrollTo(m_top + delta); }
    // The capture was emptied: no current row, following.
    void reset();

private:
    void setCurrentRow(qint64 row);
    void keepCurrentOnPage();
    qint64 rowCount() const;

    const VisibleRows *m_rows;
    int m_pageRows = 0;
    qint64 m_top = 0;
    qint64 m_currentLine = -1;
    bool m_follow = true;
};
