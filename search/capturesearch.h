// Find and filter over the whole capture on worker threads of their own, so
// the GUI thread never waits for them: a find reports its match by signal,
// a filter fills FilterRows and keeps up with a running capture until it is
// stopped (and starts again by itself after Clear or Open).
//
// Threads: the public functions are for the GUI thread. Each worker reads
// only its own query (set before it starts, never while it runs), the
// pipeline and the BlockIndex (both thread-safe for it), and the atomics
// below; the filter's rows guard themselves.
#pragma once

#include "search/filterrows.h"
#include "search/lineseeker.h"
#include "search/searchquery.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class BlockIndex;
class CapturePipeline;

class CaptureSearch : public QObject
{
    Q_OBJECT
public:
    enum FindStatus { Found, FoundWrapped, NotFound, Canceled, Changed };
    Q_ENUM(FindStatus)

    CaptureSearch(CapturePipeline &pipeline, const BlockIndex &blocks, QObject *parent = nullptr);
    ~CaptureSearch() override; // cancels and joins both workers

    // Looks for the first match after line `from` (forward) or the last one
    // before it, then round from the other end; findFinished tells. A find
    // still running is canceled first. Returns the number findFinished
    // carries for this find.
    int find(const SearchQuery &query, qint64 from, bool forward);
    void cancelFind();
    // Go to: looks for the first stored line whose key is at or after target
    // on the find's worker (a find running is canceled); seekFinished tells.
    // Returns the number seekFinished carries.
    int seek(LineSeeker::Key key, int64_t target);
    bool findRunning() const { return m_findRunning.load(std::memory_order_acquire); }
    // Percent of the capture the running find has walked.
    int findProgress() const;

    // Filters by query from now on (a filter running is stopped first).
    void startFilter(const SearchQuery &query);
    // Whoever shows filterRows() must let go of it first.
    void stopFilter();
    // Null while no filter runs; lives until stopFilter().
    VisibleRows *filterRows() const { return m_filterRows.get(); }
    // Percent of the stored lines the filter has walked; 100 while it keeps up.
    int filterProgress() const;
    // The matches found so far and the lines they are out of; zero without a
    // filter.
    FilterRows::Tally filterTally() const;

    // Stops and joins both workers: before the store's file is closed.
    void cancel();

    // The block summaries it skips by (a transaction filter uses them too).
    const BlockIndex &blocks() const { return m_blocks; }

signals:
    // line: the match, or -1 (NotFound, Canceled, Changed); serial: find()'s
    // number, so a late answer to an earlier find can be told apart. From the
    // worker.
    void findFinished(qint64 line, CaptureSearch::FindStatus status, int serial);
    // line: Go to's answer (the stored line count when none is at or after
    // the target); serial: seek()'s number. From the worker.
    void seekFinished(qint64 line, qint64 storedLines, int serial);

private:
    void runFind(qint64 from, bool forward, int serial);
    void runFilter();

    CapturePipeline &m_pipeline;
    const BlockIndex &m_blocks;

    std::thread m_findThread;
    SearchQuery m_findQuery; // written only while no find runs
    std::atomic<bool> m_findCancel{false};
    std::atomic<bool> m_findRunning{false};
    std::atomic<qint64> m_findWalked{0};
    std::atomic<qint64> m_findTotal{0};
    int m_findSerial = 0; // GUI thread

    std::thread m_filterThread;
    SearchQuery m_filterQuery; // written only while no filter runs
    std::unique_ptr<FilterRows> m_filterRows;
    std::atomic<bool> m_filterCancel{false};
    std::atomic<qint64> m_filterWalked{0}; // lines walked, of
    std::atomic<qint64> m_filterTarget{0}; // the stored lines when the round began
    std::mutex m_waitMutex;                // with m_wake: the filter's pause between rounds
    std::condition_variable m_wake;
};
