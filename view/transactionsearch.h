// Find and filter over transactions on worker threads of their own, as
// CaptureSearch does over stored lines: a find reports the matching
// transaction's first line by signal; a filter fills FilterRows with the
// first lines of the matching transactions and keeps up with a running
// capture (starting again by itself after Clear or Open).
//
// Threads: the public functions are for the GUI thread. A worker reads the
// transaction index and the store only while it holds a store lease, taken
// for a slice of transactions at a time so the capture never waits long;
// its query is set before it starts; the rows guard themselves.
#pragma once

#include "search/capturesearch.h"
#include "search/filterrows.h"
#include "transaction/transactionquery.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class BlockIndex;
class CapturePipeline;
class TransactionIndex;

class TransactionSearch : public QObject
{
    Q_OBJECT
public:
    // decoration (may be null; outlives this): cloned for each worker, for
    // queries on decoded text and registers.
    TransactionSearch(CapturePipeline &pipeline, const TransactionIndex &index,
                      const BlockIndex &blocks, QObject *parent = nullptr,
                      const TransactionDecoration *decoration = nullptr);
    ~TransactionSearch() override; // stops both workers

    // The first matching transaction after the one holding line `from`
    // (forward) or the last before it, then round from the other end.
    int find(const TransactionQuery &query, qint64 from, bool forward);
    void cancelFind();
    bool findRunning() const { return m_findRunning.load(std::memory_order_acquire); }

    void startFilter(const TransactionQuery &query);
    // Whoever shows filterRows() must let go of it first.
    void stopFilter();
    VisibleRows *filterRows() const { return m_filterRows.get(); }
    // Percent of the stored lines whose transactions the filter has judged.
    int filterProgress() const;
    FilterRows::Tally filterTally() const;

signals:
    // line: the match's first line, or -1; serial: find()'s number. From the worker.
    void findFinished(qint64 line, CaptureSearch::FindStatus status, int serial);

private:
    // Judges transactions from k on (up to `to`, or down to it when
    // backwards) a slice at a time under a lease; visit(k, first line,
    // matched) returns false to stop. Returns the transaction count seen,
    // -1 when canceled.
    // decoration: non-null when the query needs decoding.
    qint64 walk(const TransactionQuery &query, TransactionDecoration *decoration, qint64 k,
                qint64 to, bool forward, const std::atomic<bool> &cancel,
                const std::function<bool(qint64, qint64, bool)> &visit) const;
    void runFind(qint64 from, bool forward, int serial);
    void runFilter();

    CapturePipeline &m_pipeline;
    const TransactionIndex &m_index;
    const BlockIndex &m_blocks;
    const TransactionDecoration *m_decoration;
    std::thread m_findThread;
    TransactionQuery m_findQuery; // written only while no find runs
    std::atomic<bool> m_findCancel{false};
    std::atomic<bool> m_findRunning{false};
    int m_findSerial = 0; // GUI thread
    std::thread m_filterThread;
    TransactionQuery m_filterQuery; // written only while no filter runs
    std::unique_ptr<FilterRows> m_filterRows;
    std::atomic<bool> m_filterCancel{false};
    std::atomic<qint64> m_filterDone{0};  // lines whose transactions are judged, of
    std::atomic<qint64> m_filterTotal{0}; // the lines there were
};
