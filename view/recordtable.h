// The paged record table: drives the form's table view and its scroll bar
// over the capture store, showing stored lines or, in the transaction view,
// transactions (a visible row is then a transaction, known by its first
// line). It owns the page-sized model, the page fills and the navigator, and
// handles the keys, the wheel, the scroll bar, clicks, cell tooltips and
// column widths; the window only forwards its tick.
//
// The widgets stay the form's; this object is their behaviour. GUI thread.
#pragma once

#include "capture/storelease.h"
#include "view/recordcolumn.h"

#include <QObject>
#include <QStringList>

#include <memory>

class AllRows;
class CapturePipeline;
class PageFiller;
class QEvent;
class QHelpEvent;
class QKeyEvent;
class QScrollBar;
class QStandardItemModel;
class QTableView;
class StoreResetFlag;
class TableNavigator;
class TransactionDecoration;
class TransactionIndex;
class TransactionPageFiller;
class TransactionRows;
class VisibleRows;

class RecordTable : public QObject
{
    Q_OBJECT

public:
    // Watches the pipeline's store from now on (no capture may run yet).
    RecordTable(QTableView *view, QScrollBar *scrollBar, CapturePipeline &pipeline,
                QObject *parent = nullptr);
    ~RecordTable() override;

    // Page size, position, scroll bar, page fill and highlight, now (the
    // window's tick, and after every move).
    void refresh();

    // The rows the table walks through (a filter's); nullptr for every
    // stored line. Not owned: the caller keeps them alive until replaced.
    // The current stored line stays current if visible, else the next one.
    void setVisibleRows(VisibleRows *rows);
    // The current row's stored line, -1 when no row is current.
    qint64 currentStoredLine() const;
    // Makes the row of that stored line (or the next visible one) current,
    // shown and highlighted; the table stops following.
    void showStoredLine(qint64 line);
    // The newest rows again, wherever the user had scrolled (a new capture).
    void followNewest();
    // The capture was emptied: nothing current, following, an empty page.
    void forgetRows();
    bool following() const;

    // The transactions of index (not owned; it outlives the table) instead
    // of the stored lines, or the lines again (nullptr). The current row
    // becomes the transaction that holds it; back in the row view, the row
    // the transaction view was entered on if the current transaction holds
    // it, else the transaction's first row. A filter set is dropped first.
    void showTransactions(const TransactionIndex *index);
    bool showingTransactions() const { return m_transactions != nullptr; }
    // What fills the transaction view's 解码 column (null: nothing).
    void setDecoration(std::unique_ptr<TransactionDecoration> decoration);

    // The user moved the scroll bar to value (the form's valueChanged slot).
    void scrollBarMoved(int value);
    // One wheel turn of angleDelta (1/8 degree; 120 is one notch = one row).
    void wheelTurned(int angleDelta);
    // Column widths for the table's present width.
    void fitColumns();

signals:
    // Enter or a double click on a transaction: its first stored line.
    void transactionOpened(qint64 firstLine);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void forgetEmptiedStore();
    void setColumns();
    // The transactions' rows read the transaction index, which is read only
    // while the store is held: a lease for each use of the navigator in the
    // transaction view, an empty one in the row view (its rows need none).
    StoreLease holdRows() const;
    // The stored line page row `row` shows, -1 for none.
    qint64 pageRowLine(int row) const;
    // Holding the store: the first line (and the end line) of the
    // transaction holding line; -1 when none or in the row view.
    qint64 transactionOf(qint64 line, qint64 *end = nullptr) const;
    bool navigationKey(const QKeyEvent *event);
    bool showCellToolTip(const QHelpEvent *event);

    QTableView *m_view;
    QScrollBar *m_scrollBar;
    CapturePipeline &m_pipeline;
    QStandardItemModel *m_model; // child of this
    QStringList m_headerLabels;
    std::unique_ptr<PageFiller> m_pageFiller;
    std::unique_ptr<AllRows> m_allRows;
    std::unique_ptr<TableNavigator> m_navigator; // holds whether the view follows
    std::unique_ptr<StoreResetFlag> m_storeReset;
    const TransactionIndex *m_transactions = nullptr; // the transaction view's, else null
    std::unique_ptr<TransactionRows> m_allTransactions;
    std::unique_ptr<TransactionPageFiller> m_transactionFiller;
    std::unique_ptr<TransactionDecoration> m_decoration;
    qint64 m_rowBeforeTransactions = -1; // the row view's current line when it was left
    // showStoredLine's line while the rows shown do not hold it yet, and the
    // line that was current instead (-1: none).
    qint64 m_wantedLine = -1;
    qint64 m_wantedShownAs = -1;
    bool m_settingScrollBar = false; // our own changes are not the user's scrolling
    int m_wheelRemainder = 0;        // a high-resolution wheel's part of a row
};
