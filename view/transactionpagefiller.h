// Fills the page-sized table model with transactions, as PageFiller does
// with stored lines: each transaction is read from its stored lines while
// the store is leased, and a page whose transactions are unchanged is not
// rewritten (an idle window does no work).
#pragma once

#include <QtGlobal>

#include <vector>

class HealthLog;
class QStandardItemModel;
class StoreLease;
class TransactionDecoration;
class TransactionIndex;
class VisibleRows;

class TransactionPageFiller
{
public:
    // Shows visible rows first .. first+count-1 of rows (each a transaction's
    // first line; clamped to the rows there are) in model, reading through
    // held, which must hold the store (the index is read under it too).
    // health (may be null): its findings are named in the status column.
    // decoration (may be null): fills the 解码 column, each transaction
    // decoded from the checkpoint before it; where the checkpoints have not
    // come yet, with no pointer known, and the page is rewritten once they
    // come. GUI thread.
    void fillRows(QStandardItemModel &model, const StoreLease &held, const TransactionIndex &index,
                  const VisibleRows &rows, qint64 first, int count,
                  const HealthLog *health = nullptr, TransactionDecoration *decoration = nullptr);

    // Transactions decoded before a row's own, at most: a page fill stays
    // short wherever it is (checkpoints come every few dozen).
    static constexpr qint64 kMaxFeed = 64;

    // The next fill rewrites the page (the store emptied, the model cleared).
    void invalidate() { m_shown.clear(); }

private:
    // Transaction, its first and end line and the end of its last line's
    // bytes (a merge grows it) for every row shown, to see an unchanged page.
    std::vector<qint64> m_shown;
    std::vector<qint64> m_key;
};
