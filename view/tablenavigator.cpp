#include "view/tablenavigator.h"

#include "capture/visiblerows.h"

#include <algorithm>

qint64 TableNavigator::rowCount() const
{
    return m_rows->count();
}

void TableNavigator::setRows(const VisibleRows *rows)
{
    const qint64 topLine = m_top < rowCount() ? m_rows->storedLine(m_top) : -1;
    m_rows = rows;
    const qint64 n = rowCount();
    if (m_currentLine >= 0) {
        const qint64 row = m_rows->rowAtOrAfter(m_currentLine);
        // No row at or after it: the last one is the nearest there is.
        m_currentLine = n > 0 ? m_rows->storedLine(std::min(row, n - 1)) : -1;
    }
    if (m_follow)
        return;
    if (m_currentLine >= 0) {
        m_top =
            std::clamp(m_rows->rowAtOrAfter(m_currentLine) - m_pageRows / 3, qint64(0), maxTop());
    } else {
        m_top = topLine >= 0 ? std::min(m_rows->rowAtOrAfter(topLine), maxTop()) : 0;
    }
}

void TableNavigator::setPageRows(int rows)
{
    m_pageRows = std::max(rows, 0);
}

qint64 TableNavigator::maxTop() const
{
    return std::max<qint64>(rowCount() - m_pageRows, 0);
}

qint64 TableNavigator::pageCount() const
{
    return std::clamp<qint64>(rowCount() - m_top, 0, m_pageRows);
}

void TableNavigator::update()
{
    if (rowCount() == 0)
        m_currentLine = -1;
    m_top = m_follow ? maxTop() : std::clamp(m_top, qint64(0), maxTop());
}

int TableNavigator::currentPageRow() const
{
    if (m_currentLine < 0)
        return -1;
    const qint64 row = m_rows->rowAtOrAfter(m_currentLine);
    if (row >= rowCount() || m_rows->storedLine(row) != m_currentLine || row < m_top ||
        row >= m_top + pageCount())
        return -1;
    return int(row - m_top);
}

void TableNavigator::setCurrentRow(qint64 row)
{
    m_currentLine = m_rows->storedLine(row);
    m_follow = false;
}

void TableNavigator::keepCurrentOnPage()
{
    const qint64 row = m_rows->rowAtOrAfter(m_currentLine);
    if (row < m_top)
        m_top = row;
    else if (row >= m_top + m_pageRows)
        m_top = row - m_pageRows + 1;
    m_top = std::clamp(m_top, qint64(0), maxTop());
}

void TableNavigator::moveBy(qint64 delta)
{
    const qint64 n = rowCount();
    if (n == 0 || delta == 0)
        return;
    const int onPage = currentPageRow();
    // Without a current row on the page, Down takes the page's first row and
    // Up its last, as if the cursor sat just outside the page.
    const qint64 from =
        onPage >= 0 ? m_top + onPage : (delta > 0 ? m_top - 1 : m_top + pageCount());
    const qint64 to = std::clamp(from + delta, qint64(0), n - 1);
    // A page key takes the page along, so the row keeps its place on screen.
    if (delta > 1 || delta < -1)
        m_top = std::clamp(m_top + (to - from), qint64(0), maxTop());
    setCurrentRow(to);
    keepCurrentOnPage();
}

void TableNavigator::toFirst()
{
    if (rowCount() == 0)
        return;
    setCurrentRow(0);
    m_top = 0;
}

void TableNavigator::toLast()
{
    if (rowCount() > 0)
        m_currentLine = m_rows->storedLine(rowCount() - 1);
    m_follow = true;
    m_top = maxTop();
}

void TableNavigator::followNewest()
{
    m_follow = true;
    m_top = maxTop();
}

void TableNavigator::showLine(qint64 line)
{
    const qint64 n = rowCount();
    if (n == 0)
        return;
    const qint64 row = std::min(m_rows->rowAtOrAfter(line), n - 1);
    setCurrentRow(row);
    if (row < m_top || row >= m_top + m_pageRows)
        m_top = std::clamp(row - m_pageRows / 3, qint64(0), maxTop());
}

void TableNavigator::scrollTo(qint64 top)
{
    m_top = std::clamp(top, qint64(0), maxTop());
    m_follow = m_top >= maxTop();
}

void TableNavigator::reset()
{
    m_top = 0;
    m_currentLine = -1;
    m_follow = true;
}
