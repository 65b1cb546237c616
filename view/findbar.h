// The find bar under the record table: a query, Previous / Next, a switch
// that shows only the matching rows, and a status that tells progress and
// "未找到". Not modal: the table stays usable while a search runs on its
// worker thread, and Esc cancels it (or closes the bar when nothing runs).
//
// The window is reached only through Hooks, so the bar knows nothing of it.
// GUI thread only. The bar owns its CaptureSearch (a child object).
#pragma once

#include "capturesearch.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class BlockIndex;
class CapturePipeline;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
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

    // Ctrl+F (open the bar), F3 and Shift+F3 (next / previous) anywhere in window.
    void addShortcutsTo(QWidget *window);
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

    QString statusText() const;
    CaptureSearch &search() { return *m_search; }

signals:
    // The table shows only matching rows (true) or every row again.
    void filterChanged(bool on);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void findFrom(bool forward);
    bool readQuery(SearchQuery *query);
    void onFindFinished(qint64 line, CaptureSearch::FindStatus status, int serial);
    void updateProgress();
    void setStatus(const QString &text);

    Hooks m_hooks;
    CapturePipeline &m_pipeline; // for the stored row count beside the matches
    CaptureSearch *m_search;
    QLineEdit *m_query;
    QPushButton *m_previous;
    QPushButton *m_next;
    QCheckBox *m_filter;
    QLabel *m_status;
    QTimer m_progressTimer;
    int m_findSerial = 0;
    bool m_findForward = true;
    QString m_filterText; // the query the filter runs
};
