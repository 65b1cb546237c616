#include "view/transactionsearch.h"

#include "capture/capturepipeline.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionreader.h"

#include <chrono>

namespace {
// Transactions judged under one lease: the capture's rows wait at most that long.
constexpr qint64 kSlice = 512;
constexpr std::chrono::milliseconds kNap(2);
constexpr std::chrono::milliseconds kFilterPoll(40);
} // namespace

TransactionSearch::TransactionSearch(CapturePipeline &pipeline, const TransactionIndex &index,
                                     QObject *parent)
    : QObject(parent), m_pipeline(pipeline), m_index(index)
{
}

TransactionSearch::~TransactionSearch()
{
    cancelFind();
    stopFilter();
}

qint64 TransactionSearch::walk(const TransactionQuery &query, qint64 k, qint64 to, bool forward,
                               const std::atomic<bool> &cancel,
                               const std::function<bool(qint64, qint64, bool)> &visit) const
{
    Transaction t;
    while (!cancel.load(std::memory_order_relaxed)) {
        StoreLease held = m_pipeline.tryLeaseStore();
        if (!held) {
            std::this_thread::sleep_for(kNap);
            continue;
        }
        const qint64 count = m_index.count();
        for (qint64 n = 0; n < kSlice; ++n, k += forward ? 1 : -1) {
            if (forward ? k >= std::min(to, count) : k < to)
                return count;
            const bool read = TransactionReader::read(held.store(), m_index, k, &t);
            if (!visit(k, t.firstLine, read && query.matches(t)))
                return count;
        }
    }
    return -1;
}

int TransactionSearch::find(const TransactionQuery &query, qint64 from, bool forward)
{
    cancelFind();
    m_findQuery = query;
    m_findCancel.store(false);
    m_findRunning.store(true, std::memory_order_release);
    const int serial = ++m_findSerial;
    m_findThread = std::thread([this, from, forward, serial] { runFind(from, forward, serial); });
    return serial;
}

void TransactionSearch::cancelFind()
{
    m_findCancel.store(true);
    if (m_findThread.joinable())
        m_findThread.join();
}

void TransactionSearch::runFind(qint64 from, bool forward, int serial)
{
    qint64 start = -1, count = 0;
    {
        const StoreLease held = m_pipeline.leaseStore();
        count = m_index.count();
        start = from >= 0 ? m_index.transactionAt(from) : -1;
    }
    qint64 line = -1;
    const auto found = [&line](qint64, qint64 first, bool matched) {
        if (matched)
            line = first;
        return !matched;
    };
    bool wrapped = false;
    qint64 seen = 0;
    if (forward) {
        seen = walk(m_findQuery, start + 1, count, true, m_findCancel, found);
        if (seen >= 0 && line < 0) {
            wrapped = true;
            seen = walk(m_findQuery, 0, start + 1, true, m_findCancel, found);
        }
    } else {
        const qint64 before = start < 0 ? count : start;
        seen = walk(m_findQuery, before - 1, 0, false, m_findCancel, found);
        if (seen >= 0 && line < 0) {
            wrapped = true;
            seen = walk(m_findQuery, count - 1, before, false, m_findCancel, found);
        }
    }
    CaptureSearch::FindStatus status = CaptureSearch::NotFound;
    if (seen < 0)
        status = CaptureSearch::Canceled;
    else if (line >= 0)
        status = wrapped ? CaptureSearch::FoundWrapped : CaptureSearch::Found;
    m_findRunning.store(false, std::memory_order_release);
    emit findFinished(line, status, serial);
}

void TransactionSearch::startFilter(const TransactionQuery &query)
{
    stopFilter();
    m_filterQuery = query;
    m_filterCancel.store(false);
    m_filterDone.store(0);
    m_filterTotal.store(0);
    m_filterRows = std::make_unique<FilterRows>();
    m_filterThread = std::thread([this] { runFilter(); });
}

void TransactionSearch::stopFilter()
{
    m_filterCancel.store(true);
    if (m_filterThread.joinable())
        m_filterThread.join();
    m_filterRows.reset();
}

int TransactionSearch::filterProgress() const
{
    const qint64 total = m_filterTotal.load(std::memory_order_relaxed);
    return total > 0 ? int(m_filterDone.load(std::memory_order_relaxed) * 100 / total) : 100;
}

FilterRows::Tally TransactionSearch::filterTally() const
{
    return m_filterRows ? m_filterRows->tally() : FilterRows::Tally();
}

void TransactionSearch::runFilter()
{
    FilterRows &rows = *m_filterRows;
    std::vector<uint32_t> batch;
    quint64 generation = m_index.generation();
    qint64 done = 0; // transactions before this have their final verdict
    while (!m_filterCancel.load()) {
        if (generation != m_index.generation()) {
            // Cleared or reopened: start again on what the store holds now.
            generation = m_index.generation();
            rows.clear();
            done = 0;
        }
        qint64 newest = -1;
        batch.clear();
        // The open transaction may still grow: held apart and judged again next round.
        const qint64 count = walk(m_filterQuery, done, INT64_MAX, true, m_filterCancel,
                                  [&](qint64 k, qint64 first, bool matched) {
                                      const bool open = m_index.status(k) & Transaction::Open;
                                      if (matched && open)
                                          newest = first;
                                      else if (matched)
                                          batch.push_back(uint32_t(first));
                                      done = open ? k : k + 1;
                                      m_filterDone.store(done, std::memory_order_relaxed);
                                      return batch.size() < size_t(kSlice);
                                  });
        if (count < 0)
            break;
        m_filterTotal.store(count, std::memory_order_relaxed);
        // Out of the lines stored now: every transaction judged begins below.
        if (generation == m_index.generation())
            rows.append(batch, newest, m_pipeline.storedLineCount());
        if (done + (newest >= 0 ? 1 : 0) >= count || batch.empty())
            std::this_thread::sleep_for(kFilterPoll);
    }
}
