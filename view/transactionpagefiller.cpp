#include "view/transactionpagefiller.h"

#include "capture/capturestore.h"
#include "capture/storelease.h"
#include "capture/visiblerows.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionreader.h"
#include "view/transactiontext.h"

#include <QStandardItem>
#include <QStandardItemModel>

#include <algorithm>

void TransactionPageFiller::fillRows(QStandardItemModel &model, const StoreLease &held,
                                     const TransactionIndex &index, const VisibleRows &rows,
                                     qint64 first, int count, const HealthLog *health,
                                     TransactionDecoration *decoration)
{
    const CaptureStore &store = held.store();
    const qint64 stored = store.lineIndex().lineCount();
    const qint64 n = first < 0 ? 0 : std::min<qint64>(count, rows.count() - first);
    m_key.clear();
    for (qint64 i = 0; i < n; ++i) {
        const qint64 line = rows.storedLine(first + i);
        if (line < 0 || line >= stored) // a filter ahead of an emptied store
            break;
        const qint64 k = index.transactionAt(line);
        const qint64 end = std::min(index.endLine(k), stored);
        // Only the newest transaction's bytes can change (a merge rewrites the last line).
        m_key.insert(m_key.end(),
                     {k, index.firstLine(k), end, end == stored ? store.dataSize() : 0});
    }
    const int shown = int(m_key.size() / 4);
    // Findings of a capture's end reach a transaction already shown.
    if (health)
        m_key.insert(m_key.end(), {qint64(health->findingCount()), qint64(health->generation())});
    // Other profiles, or checkpoints reaching more rows, change the decoded texts.
    if (decoration) {
        qint64 reached = 0;
        for (int r = 0; r < shown; ++r) {
            const qint64 k = m_key[4 * size_t(r)];
            reached += k - decoration->checkpoint(k) <= kMaxFeed;
        }
        m_key.insert(m_key.end(), {qint64(decoration->version()), reached});
    }
    if (shown == model.rowCount() && m_key == m_shown)
        return;
    m_shown = m_key;
    if (model.rowCount() != shown) {
        model.removeRows(0, model.rowCount());
        model.setRowCount(shown);
        const QBrush black(Qt::black, Qt::SolidPattern);
        for (int r = 0; r < shown; ++r) {
            for (int c = 0; c < model.columnCount(); ++c) {
                auto *item = new QStandardItem; // owned by the model from setItem on
                item->setBackground(black);
                model.setItem(r, c, item);
            }
        }
    }
    Transaction transaction;
    TransactionDecoration::Output decoded;
    for (int r = 0; r < shown; ++r) {
        const qint64 k = m_key[4 * size_t(r)];
        const bool read = TransactionReader::read(store, index, k, &transaction);
        if (!read)
            transaction = Transaction(); // unreadable: shown empty rather than stale
        else if (decoration) {
            decoration->seek(store, index, k, kMaxFeed);
            decoration->decode(transaction, &decoded, true);
        }
        const TransactionText::Cells cells = TransactionText::cells(
            transaction,
            health ? health->flagsOfLines(transaction.firstLine,
                                          transaction.firstLine + transaction.lineCount)
                   : HealthLog::LineFlags(),
            read && decoration ? &decoded : nullptr);
        for (int c = 0; c < std::min<int>(model.columnCount(), TransactionColumn::Count); ++c) {
            QStandardItem *item = model.item(r, c);
            const TransactionText::Cell &cell = cells[size_t(c)];
            item->setText(cell.text);
            item->setForeground(RowStyle::brush(cell.colour));
            item->setToolTip(cell.toolTip);
        }
    }
}
