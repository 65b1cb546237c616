// A TransactionQuery judged over whole transactions, reported by their
// first lines, so a filter's rows stay stored lines. The
// store is leased for one slice of lines at a time (the index lookup and one
// positioned read), the transactions built and judged after it is given
// back, so a capture goes on meanwhile.
#pragma once

#include "search/capturescanner.h"
#include "transaction/transactionbuilder.h"
#include "transaction/transactionquery.h"

#include <atomic>
#include <functional>

class BlockIndex;
class CapturePipeline;
class TransactionIndex;

// Threads: one scan runs on one thread at a time; it reaches the store only
// through short leases and positioned reads, like a search worker.
class TransactionScan
{
public:
    using Outcome = CaptureScanner::Outcome;

    // Rows of one transaction judged whole; the rest of a longer one is not
    // looked at for data= and label= (it still counts for the rest).
    static constexpr qint64 kMaxLines = qint64(1) << 16;

    // blocks (may be null): their summaries let it pass over lines no
    // matching transaction can touch without reading them. decoration (may
    // be null, not owned): decodes the transactions for a query that needs
    // it, which then reads every transaction in order (no blocks skipped),
    // from the checkpoint before the first one judged.
    TransactionScan(CapturePipeline &pipeline, const TransactionIndex &index,
                    const TransactionQuery &query, const BlockIndex *blocks = nullptr,
                    TransactionDecoration *decoration = nullptr);

    // Calls onMatch with the first line of each matching transaction that
    // begins in [from, to), in order, until it returns false (Stopped). Polls
    // cancel (may be null). Changed: lines were taken away meanwhile.
    Outcome scan(qint64 from, qint64 to, const std::atomic<bool> *cancel,
                 const std::function<bool(qint64)> &onMatch);
    // With `lines` stored: the first line of the transaction that may still
    // grow (its verdict can change), `lines` when all are finished.
    qint64 unsettledFrom(qint64 lines);
    // Moves whenever lines are taken away (Clear, Open).
    quint64 generation() const;

private:
    // scan() for a NACK-only query: from the index's NACK bits, no line read.
    Outcome scanNacks(qint64 from, qint64 to, const std::atomic<bool> *cancel,
                      const std::function<bool(qint64)> &onMatch);
    // The first line from `from` on that a matching transaction may hold,
    // judged by the block summaries; lines when none. Under the store lease.
    qint64 skipBlocks(qint64 from, qint64 lines) const;
    bool blockMayMatch(qint64 b, qint64 lines) const;

    CapturePipeline &m_pipeline;
    const TransactionIndex &m_index;
    const TransactionQuery m_query;
    const BlockIndex *m_blocks;
    TransactionDecoration *m_decoration; // null unless the query needs decoding
    TransactionDecoration::Output m_decoded;
    TransactionBuilder m_builder{kMaxLines};
};
