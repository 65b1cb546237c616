#include "view/transactionsearch.h"

#include "capture/capturepipeline.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionreader.h"
#include "transaction/transactionscan.h"

#include <chrono>

namespace {
// Transactions judged under one lease: the capture's rows wait at most that long.
constexpr qint64 kSlice = 512;
constexpr std::chrono::milliseconds kNap(2);
constexpr std::chrono::milliseconds kFilterPoll(40);
// Lines a filter round judges before it shows what it found.
constexpr qint64 kFilterStepLines = qint64(1) << 20;
} // namespace

TransactionSearch::TransactionSearch(CapturePipeline &pipeline, const TransactionIndex &index,
                                     const BlockIndex &blocks, QObject *parent,
                                     const TransactionDecoration *decoration)
    : QObject(parent), m_pipeline(pipeline), m_index(index), m_blocks(blocks),
      m_decoration(decoration)
{
}

TransactionSearch::~TransactionSearch()
{
    cancelFind();
    stopFilter();
}

qint64 TransactionSearch::walk(const TransactionQuery &query, TransactionDecoration *decoration,
                               qint64 k, qint64 to, bool forward, const std::atomic<bool> &cancel,
                               const std::function<bool(qint64, qint64, bool)> &visit) const
{
    Transaction t;
    TransactionDecoration::Output decoded;
    while (!cancel.load(std::memory_order_relaxed)) {
        StoreLease held = m_pipeline.tryLeaseStore();
        if (!held) {
            std::this_thread::sleep_for(kNap);
            continue;
        }
        const qint64 count = m_index.count();
        // Backwards, each transaction decodes from its checkpoint: fewer a lease.
        const qint64 slice = decoration && !forward ? kSlice / 16 : kSlice;
        for (qint64 n = 0; n < slice; ++n, k += forward ? 1 : -1) {
            if (forward ? k >= std::min(to, count) : k < to)
                return count;
            const bool read = TransactionReader::read(held.store(), m_index, k, &t);
            // Backwards, each one decodes from its checkpoint on.
            if (read && decoration) {
                // Far past the checkpoints, the way to k is decoded a slice
                // a lease, the next lease going on from there.
                if (!decoration->approach(held.store(), m_index, k, kSlice))
                    break;
                decoration->decode(t, &decoded, query.needsRegisters());
            }
            if (!visit(k, t.firstLine, read && query.matches(t, decoration ? &decoded : nullptr)))
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
    const std::unique_ptr<TransactionDecoration> decoration =
        m_decoration && m_findQuery.needsDecoding() ? m_decoration->clone() : nullptr;
    TransactionDecoration *d = decoration.get();
    if (forward) {
        seen = walk(m_findQuery, d, start + 1, count, true, m_findCancel, found);
        if (seen >= 0 && line < 0) {
            wrapped = true;
            seen = walk(m_findQuery, d, 0, start + 1, true, m_findCancel, found);
        }
    } else {
        const qint64 before = start < 0 ? count : start;
        seen = walk(m_findQuery, d, before - 1, 0, false, m_findCancel, found);
        if (seen >= 0 && line < 0) {
            wrapped = true;
            seen = walk(m_findQuery, d, count - 1, before, false, m_findCancel, found);
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
    // The same scan the filter benchmark measures: block summaries pass over
    // lines no matching transaction can touch.
    FilterRows &rows = *m_filterRows;
    const std::unique_ptr<TransactionDecoration> decoration =
        m_decoration ? m_decoration->clone() : nullptr;
    TransactionScan scan(m_pipeline, m_index, m_filterQuery, &m_blocks, decoration.get());
    std::vector<uint32_t> batch;
    quint64 generation = scan.generation();
    qint64 done = 0; // transactions beginning before this line have their final verdict
    while (!m_filterCancel.load()) {
        if (generation != scan.generation()) {
            // Cleared or reopened: start again on what the store holds now.
            generation = scan.generation();
            rows.clear();
            done = 0;
        }
        const qint64 lines = m_pipeline.storedLineCount();
        // The open transaction may still grow: judged apart, again next round.
        const qint64 settled = scan.unsettledFrom(lines);
        const qint64 to = std::min(settled, done + kFilterStepLines);
        batch.clear();
        qint64 newest = -1;
        using Outcome = TransactionScan::Outcome;
        Outcome outcome = scan.scan(done, to, &m_filterCancel, [&](qint64 first) {
            batch.push_back(uint32_t(first));
            return true;
        });
        if (outcome == Outcome::Done && to == settled && settled < lines)
            outcome = scan.scan(settled, lines, &m_filterCancel, [&](qint64 first) {
                newest = first;
                return false;
            });
        if (outcome == Outcome::Canceled)
            break;
        if (outcome == Outcome::Changed)
            continue;
        done = to;
        // With the open transaction judged as it stands, every stored line
        // has been looked at: an opened file whose last transfer has no STOP
        // reads as checked through, not stuck short of its end.
        m_filterDone.store(to == settled ? lines : done, std::memory_order_relaxed);
        m_filterTotal.store(lines, std::memory_order_relaxed);
        // Out of the lines stored now: every transaction judged begins below.
        if (generation == scan.generation())
            rows.append(batch, newest, lines);
        if (done >= settled)
            std::this_thread::sleep_for(kFilterPoll);
    }
}
