// The find bar under the record table: a query, Previous / Next, a switch
// that shows only the matching rows, and a status that tells progress and
// "未找到". The query keeps room for 25 characters however narrow the bar
// gets: below one row's width the buttons and the status go to a second row,
// and a long status is cut (whole in its tool tip). Not modal: the table
// stays usable while a search runs on its worker thread, and Esc cancels it
// (or closes the bar when nothing runs).
//
// The window is reached only through Hooks, so the bar knows nothing of it.
// GUI thread only. The bar owns its CaptureSearch (a child object).
#pragma once

#include "search/capturesearch.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class BlockIndex;
class CapturePipeline;
class QCheckBox;
class QLabel;
class QLineEdit;
class QHBoxLayout;
class QPushButton;
class QToolButton;
class TransactionDecoration;
class TransactionIndex;
class TransactionQuery;
class TransactionSearch;
class VisibleRows;

class FindBar : public QWidget
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<qint64()> currentStoredLine;            // -1: none
        std::function<void(qint64)> showStoredLine;           // make current, show, highlight
        std::function<void(VisibleRows *)> setVisibleRows;    // null: every stored line
        std::function<void(const QString &)> setFilterStatus; // "": no filter
    };

    FindBar(CapturePipeline &pipeline, const BlockIndex &blocks, Hooks hooks,
            QWidget *parent = nullptr);
    ~FindBar() override;

    // Shows the bar with the query selected.
    void activate();
    void findNext() { findFrom(true); }
    void findPrevious() { findFrom(false); }
    // Shows only the matching rows, or every row again on the row shown now.
    void setFilterOn(bool on);
    // Shows the bar with queryText and only the rows it matches (the
    // address map's click).
    void filterBy(const QString &queryText);
    // Before Clear, Open or closing the store: stops find and filter.
    void cancelSearches();
    // Finds and filters the transactions of index from now on (nullptr: the
    // stored lines again). A filter on lets go of its rows, switchView
    // switches the table, and the filter runs on in the new view.
    // decoration (may be null; outlives the view): decodes transactions for
    // reg= and for label= on decoded text.
    void setTransactionView(const TransactionIndex *index, const std::function<void()> &switchView,
                            const TransactionDecoration *decoration = nullptr);

    QString statusText() const;
    QSize minimumSizeHint() const override;
    CaptureSearch &search() { return *m_search; }
    // The filter's rows in the view shown, null while no filter runs.
    VisibleRows *filterRows() const;

signals:
    // The table shows only matching rows (true) or every row again.
    void filterChanged(bool on);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void findFrom(bool forward);
    // The search of the view shown: the rows' or the transactions'.
    bool findRunning() const;
    void cancelFind();
    void stopFilter();
    int filterProgress() const;
    bool readQuery(SearchQuery *query);
    bool readQuery(TransactionQuery *query);
    void onFindFinished(qint64 line, CaptureSearch::FindStatus status, int serial);
    void updateProgress();
    void setStatus(const QString &text);
    // The status cut to the label's width.
    void showStatus();
    // The narrowest bar that holds everything in one row.
    int oneRowWidth() const;
    // The narrowest bar that holds these widgets in a row, and extra.
    int rowWidth(std::initializer_list<const QWidget *> widgets, int extra = 0) const;
    void arrangeRows(bool twoRows);

    CapturePipeline &m_pipeline;
    Hooks m_hooks;
    CaptureSearch *m_search;
    QLineEdit *m_query;
    QPushButton *m_previous;
    QPushButton *m_next;
    QCheckBox *m_filter;
    QLabel *m_status;
    QString m_statusText; // whole; the label may show it cut
    QLabel *m_label;
    QToolButton *m_close;
    QHBoxLayout *m_top; // the rows, owned by the bar's layout
    QHBoxLayout *m_bottom;
    bool m_twoRows = false;
    QTimer m_progressTimer;
    int m_findSerial = 0;
    bool m_findForward = true;
    QString m_filterText;                             // the query the filter runs
    TransactionSearch *m_transactionSearch = nullptr; // child, in the transaction view only
    QString m_rowsToolTip;                            // the query's in the row view
};
