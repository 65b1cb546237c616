// Every transaction is a visible row, identified by its first stored line:
// the transaction view's rows when no filter is set. The table's navigator
// pages, scrolls and goes to lines over them as it does over stored lines.
#pragma once

#include "capture/visiblerows.h"
#include "transaction/transactionindex.h"

#include <algorithm>

class TransactionRows : public VisibleRows
{
public:
    // The index must outlive this.
    explicit TransactionRows(const TransactionIndex &index) : m_index(index) {}

    qint64 count() const override { return m_index.count(); }
    qint64 storedLine(qint64 row) const override { return m_index.firstLine(row); }
    qint64 rowAtOrAfter(qint64 line) const override
    {
        const qint64 n = count();
        if (n == 0)
            return 0;
        line = std::max<qint64>(line, 0);
        if (line > m_index.firstLine(n - 1))
            return n;
        const qint64 k = m_index.transactionAt(line);
        return m_index.firstLine(k) < line ? k + 1 : k;
    }

private:
    const TransactionIndex &m_index;
};
