#include "search/capturesearch.h"

#include "capture/capturepipeline.h"
#include "search/blockindex.h"
#include "search/capturescanner.h"

#include <algorithm>

#include <chrono>
#include <vector>

namespace {
// How often a filter looks for new lines once it has caught up: the view's
// own tick.
constexpr std::chrono::milliseconds kFilterPoll(40);
// A filter hands the view its matches after each slice of this many lines
// (a few milliseconds' scan), so the table and the count show what was found
// so far. Whole blocks, so slices do not split a block's one read.
constexpr qint64 kFilterSlice = 16 * BlockIndex::kBlockLines;

// Groups' first and last matches in [from, to), as CaptureScanner finds
// lines': backwards in growing steps, each read forwards.
qint64 firstGroup(GroupScan &groups, qint64 from, qint64 to, const std::atomic<bool> *cancel,
                  CaptureScanner::Outcome *outcome)
{
    qint64 found = -1;
    *outcome = groups.scan(from, to, cancel, [&found](qint64 line) {
        found = line;
        return false;
    });
    return *outcome == CaptureScanner::Outcome::Stopped ? found : -1;
}

qint64 lastGroup(GroupScan &groups, qint64 from, qint64 to, const std::atomic<bool> *cancel,
                 CaptureScanner::Outcome *outcome)
{
    *outcome = CaptureScanner::Outcome::Done;
    for (qint64 step = BlockIndex::kBlockLines; to > from; step *= 2) {
        const qint64 start = std::max(from, to - step);
        qint64 found = -1;
        *outcome = groups.scan(start, to, cancel, [&found](qint64 line) {
            found = line;
            return true;
        });
        if (*outcome != CaptureScanner::Outcome::Done)
            return -1;
        if (found >= 0) {
            *outcome = CaptureScanner::Outcome::Stopped;
            return found;
        }
        to = start;
    }
    return -1;
}

int percent(qint64 done, qint64 total)
{
    return total > 0 ? int(std::min<qint64>(100, done * 100 / total)) : 100;
}
} // namespace

CaptureSearch::CaptureSearch(CapturePipeline &pipeline, const BlockIndex &blocks, QObject *parent)
    : QObject(parent), m_pipeline(pipeline), m_blocks(blocks)
{
    qRegisterMetaType<CaptureSearch::FindStatus>();
}

CaptureSearch::~CaptureSearch()
{
    cancel();
}

void CaptureSearch::cancel()
{
    cancelFind();
    stopFilter();
}

int CaptureSearch::find(std::shared_ptr<GroupScan> groups, qint64 from, bool forward)
{
    cancelFind();
    m_findGroups = std::move(groups);
    m_findCancel.store(false);
    m_findWalked.store(0);
    m_findTotal.store(m_pipeline.storedLineCount());
    m_findRunning.store(true, std::memory_order_release);
    const int serial = ++m_findSerial;
    m_findThread = std::thread([this, from, forward, serial] { runFind(from, forward, serial); });
    return serial;
}

int CaptureSearch::find(const SearchQuery &query, qint64 from, bool forward)
{
    cancelFind();
    m_findGroups.reset();
    m_findQuery = query;
    m_findCancel.store(false);
    m_findWalked.store(0);
    m_findTotal.store(m_pipeline.storedLineCount());
    m_findRunning.store(true, std::memory_order_release);
    const int serial = ++m_findSerial;
    m_findThread = std::thread([this, from, forward, serial] { runFind(from, forward, serial); });
    return serial;
}

int CaptureSearch::seek(LineSeeker::Key key, int64_t target)
{
    cancelFind();
    m_findCancel.store(false);
    const int serial = ++m_findSerial;
    m_findRunning.store(true, std::memory_order_release);
    m_findThread = std::thread([this, key, target, serial] {
        const qint64 lines = m_pipeline.storedLineCount();
        const qint64 line = LineSeeker::firstAtOrAfter(m_pipeline, key, target, &m_findCancel);
        m_findRunning.store(false, std::memory_order_release);
        if (line >= 0)
            emit seekFinished(line, std::max(lines, line), serial);
    });
    return serial;
}

void CaptureSearch::cancelFind()
{
    m_findCancel.store(true);
    if (m_findThread.joinable())
        m_findThread.join();
}

int CaptureSearch::findProgress() const
{
    return percent(m_findWalked.load(std::memory_order_relaxed),
                   m_findTotal.load(std::memory_order_relaxed));
}

void CaptureSearch::runFind(qint64 from, bool forward, int serial)
{
    CaptureScanner scanner(m_pipeline, m_blocks, m_findQuery, &m_findCancel, &m_findWalked);
    GroupScan *groups = m_findGroups.get();
    const qint64 lines = m_findTotal.load();
    using Outcome = CaptureScanner::Outcome;
    const auto first = [&](qint64 a, qint64 b, Outcome *o) {
        return groups ? firstGroup(*groups, a, b, &m_findCancel, o) : scanner.findFirst(a, b, o);
    };
    const auto last = [&](qint64 a, qint64 b, Outcome *o) {
        return groups ? lastGroup(*groups, a, b, &m_findCancel, o) : scanner.findLast(a, b, o);
    };
    Outcome outcome;
    qint64 line;
    bool wrapped = false;
    if (forward) {
        const qint64 start = std::min(std::max<qint64>(from + 1, 0), lines);
        line = first(start, lines, &outcome);
        if (outcome == Outcome::Done) {
            wrapped = true;
            line = first(0, start, &outcome);
        }
    } else {
        const qint64 end = from < 0 || from > lines ? lines : from;
        line = last(0, end, &outcome);
        if (outcome == Outcome::Done) {
            wrapped = true;
            line = last(end, lines, &outcome);
        }
    }
    FindStatus status = NotFound;
    if (outcome == Outcome::Stopped)
        status = wrapped ? FoundWrapped : Found;
    else if (outcome == Outcome::Canceled)
        status = Canceled;
    else if (outcome == Outcome::Changed)
        status = Changed;
    m_findRunning.store(false, std::memory_order_release);
    emit findFinished(status == Found || status == FoundWrapped ? line : -1, status, serial);
}

void CaptureSearch::startFilter(std::shared_ptr<GroupScan> groups)
{
    stopFilter();
    m_filterGroups = std::move(groups);
    startWorker();
}

void CaptureSearch::startFilter(const SearchQuery &query)
{
    stopFilter();
    m_filterGroups.reset();
    m_filterQuery = query;
    startWorker();
}

void CaptureSearch::startWorker()
{
    m_filterCancel.store(false);
    m_filterWalked.store(0);
    m_filterTarget.store(0);
    m_filterRows = std::make_unique<FilterRows>();
    // Out of the lines stored now until the worker's first slice says more.
    m_filterRows->append({}, -1, m_pipeline.storedLineCount());
    m_filterThread = std::thread([this] { runFilter(); });
}

void CaptureSearch::stopFilter()
{
    {
        // Under the wait's mutex, so the worker cannot miss the wake-up
        // between its test and its wait.
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_filterCancel.store(true);
    }
    m_wake.notify_all();
    if (m_filterThread.joinable())
        m_filterThread.join();
    m_filterRows.reset();
}

int CaptureSearch::filterProgress() const
{
    return percent(m_filterWalked.load(std::memory_order_relaxed),
                   m_filterTarget.load(std::memory_order_relaxed));
}

FilterRows::Tally CaptureSearch::filterTally() const
{
    return m_filterRows ? m_filterRows->tally() : FilterRows::Tally();
}

void CaptureSearch::runFilter()
{
    FilterRows &rows = *m_filterRows;
    CaptureScanner scanner(m_pipeline, m_blocks, m_filterQuery, &m_filterCancel, &m_filterWalked);
    GroupScan *groups = m_filterGroups.get();
    const auto generationNow = [&] {
        return groups ? groups->generation() : m_blocks.generation();
    };
    std::vector<uint32_t> batch;
    quint64 generation = generationNow();
    qint64 done = 0; // lines before this have their final verdict
    using Outcome = CaptureScanner::Outcome;
    while (!m_filterCancel.load()) {
        const qint64 lines = m_pipeline.storedLineCount();
        m_filterWalked.store(done);
        m_filterTarget.store(lines);
        // The newest line (group) may still take a merged byte: it is held
        // apart and looked at again next round.
        const qint64 unsettled = groups ? groups->unsettledFrom(lines) : lines - 1;
        qint64 newest = -1;
        Outcome outcome = generation != generationNow() ? Outcome::Changed : Outcome::Done;
        for (qint64 from = done; outcome == Outcome::Done && from < lines;) {
            const qint64 to = std::min(lines, (from / kFilterSlice + 1) * kFilterSlice);
            batch.clear();
            const auto onMatch = [&](qint64 line) {
                if (line >= unsettled)
                    newest = line;
                else
                    batch.push_back(uint32_t(line));
                return true;
            };
            outcome = groups ? groups->scan(from, to, &m_filterCancel, onMatch)
                             : scanner.scan(from, to, onMatch);
            if (groups)
                m_filterWalked.store(to);
            if (outcome == Outcome::Done)
                rows.append(batch, newest, lines);
            from = to;
        }
        if (outcome == Outcome::Canceled)
            break;
        if (outcome == Outcome::Changed) {
            // Cleared or reopened: start again on what the store holds now.
            generation = generationNow();
            rows.clear();
            done = 0;
        } else {
            done = std::max<qint64>(0, std::min(unsettled, lines));
        }
        std::unique_lock<std::mutex> lock(m_waitMutex);
        m_wake.wait_for(lock, kFilterPoll, [this] { return m_filterCancel.load(); });
    }
}
