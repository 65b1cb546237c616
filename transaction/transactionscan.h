// Find and filter in the transaction view: a TransactionQuery judged over
// whole transactions, reported by their first lines (see GroupScan). The
// store is leased for one slice of lines at a time (the index lookup and one
// positioned read), the transactions built and judged after it is given
// back, so a capture goes on meanwhile.
#pragma once

#include "search/groupscan.h"
#include "transaction/transactionbuilder.h"
#include "transaction/transactionquery.h"

class CapturePipeline;
class TransactionIndex;

class TransactionScan : public GroupScan
{
public:
    // Rows of one transaction judged whole; the rest of a longer one is not
    // looked at for data= and label= (it still counts for the rest).
    static constexpr qint64 kMaxLines = qint64(1) << 16;

    TransactionScan(CapturePipeline &pipeline, const TransactionIndex &index,
                    const TransactionQuery &query);

    Outcome scan(qint64 from, qint64 to, const std::atomic<bool> *cancel,
                 const std::function<bool(qint64)> &onMatch) override;
    qint64 unsettledFrom(qint64 lines) override;
    quint64 generation() const override;

private:
    CapturePipeline &m_pipeline;
    const TransactionIndex &m_index;
    const TransactionQuery m_query;
    TransactionBuilder m_builder{kMaxLines};
};
