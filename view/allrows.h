// Every stored line is a visible row: the table's rows when no filter is set.
#pragma once

#include "capture/capturestore.h"
#include "capture/visiblerows.h"

class AllRows : public VisibleRows
{
public:
    // The store must outlive this; its line count is safe to read from any thread.
    explicit AllRows(const CaptureStore &store) : m_store(store) {}

    qint64 count() const override { return m_store.lineCount(); }
    qint64 storedLine(qint64 row) const override { return row; }
    qint64 rowAtOrAfter(qint64 line) const override
    {
        return line < 0 ? 0 : (line < count() ? line : count());
    }

private:
    const CaptureStore &m_store;
};
