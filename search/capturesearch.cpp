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

int CaptureSearch::find(const SearchQuery &query, qint64 from, bool forward)
{
    cancelFind();
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
    const qint64 lines = m_findTotal.load();
    using Outcome = CaptureScanner::Outcome;
    Outcome outcome;
    qint64 line;
    bool wrapped = false;
    if (forward) {
        const qint64 start = std::min(std::max<qint64>(from + 1, 0), lines);
        line = scanner.findFirst(start, lines, &outcome);
        if (outcome == Outcome::Done) {
            wrapped = true;
            line = scanner.findFirst(0, start, &outcome);
        }
    } else {
        const qint64 end = from < 0 || from > lines ? lines : from;
        line = scanner.findLast(0, end, &outcome);
        if (outcome == Outcome::Done) {
            wrapped = true;
            line = scanner.findLast(end, lines, &outcome);
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

void CaptureSearch::startFilter(const SearchQuery &query)
{
    stopFilter();
    m_filterQuery = query;
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
    std::vector<uint32_t> batch;
    quint64 generation = m_blocks.generation();
    qint64 done = 0; // lines before this have their final verdict
    using Outcome = CaptureScanner::Outcome;
    while (!m_filterCancel.load()) {
        const qint64 lines = m_pipeline.storedLineCount();
        m_filterWalked.store(done);
        m_filterTarget.store(lines);
        // The newest line may still take a merged byte: it is held apart
        // and looked at again next round.
        qint64 newest = -1;
        Outcome outcome = generation != m_blocks.generation() ? Outcome::Changed : Outcome::Done;
        for (qint64 from = done; outcome == Outcome::Done && from < lines;) {
            const qint64 to = std::min(lines, (from / kFilterSlice + 1) * kFilterSlice);
            batch.clear();
            outcome = scanner.scan(from, to, [&](qint64 line) {
                if (line == lines - 1)
                    newest = line;
                else
                    batch.push_back(uint32_t(line));
                return true;
            });
            if (outcome == Outcome::Done)
                rows.append(batch, newest, lines);
            from = to;
        }
        if (outcome == Outcome::Canceled)
            break;
        if (outcome == Outcome::Changed) {
            // Cleared or reopened: start again on what the store holds now.
            generation = m_blocks.generation();
            rows.clear();
            done = 0;
        } else {
            done = std::max<qint64>(0, lines - 1);
        }
        std::unique_lock<std::mutex> lock(m_waitMutex);
        m_wake.wait_for(lock, kFilterPoll, [this] { return m_filterCancel.load(); });
    }
}
