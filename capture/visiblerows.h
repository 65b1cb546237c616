// The rows the table walks through: every stored line, or only the lines a
// filter matched. Paging, the scroll bar, the keyboard and Go to count in
// visible rows; a visible row always shows its stored line's own number.
//
// GUI thread: the view asks between ticks; an implementation that is filled
// by another thread publishes what it has found so far.
#pragma once

#include <QtGlobal>

class VisibleRows
{
public:
    virtual ~VisibleRows() = default;
    // Rows that can be shown now.
    virtual qint64 count() const = 0;
    // The stored line shown as visible row `row` (0 <= row < count()).
    virtual qint64 storedLine(qint64 row) const = 0;
    // The first visible row whose stored line is `line` or later; count()
    // when there is none.
    virtual qint64 rowAtOrAfter(qint64 line) const = 0;
};
