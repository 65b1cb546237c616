#include "transaction/transactionscan.h"

#include "capture/capturepipeline.h"
#include "transaction/transactionindex.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
// Lines read under one lease: a few milliseconds' work for the store.
constexpr qint64 kSliceLines = 1 << 15;

// The store, waiting with growing naps while another party holds it; empty
// when cancel was raised.
StoreLease lease(CapturePipeline &pipeline, const std::atomic<bool> *cancel)
{
    StoreLease held = pipeline.tryLeaseStore();
    for (std::chrono::microseconds nap(200); !held; nap = std::min(2 * nap, nap.max() / 2)) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return held;
        std::this_thread::sleep_for(std::min(nap, std::chrono::microseconds(10000)));
        held = pipeline.tryLeaseStore();
    }
    return held;
}
} // namespace

TransactionScan::TransactionScan(CapturePipeline &pipeline, const TransactionIndex &index,
                                 const TransactionQuery &query)
    : m_pipeline(pipeline), m_index(index), m_query(query)
{
}

quint64 TransactionScan::generation() const
{
    return m_index.generation();
}

qint64 TransactionScan::unsettledFrom(qint64 lines)
{
    StoreLease held = lease(m_pipeline, nullptr);
    const qint64 last = m_index.count() - 1;
    // The newest transaction grows until its STOP; lines stored after
    // `lines` may also begin new ones, which a later round sees.
    if (last < 0 || !(m_index.status(last) & Transaction::Open))
        return lines;
    return std::min(lines, m_index.firstLine(last));
}

TransactionScan::Outcome TransactionScan::scan(qint64 from, qint64 to,
                                               const std::atomic<bool> *cancel,
                                               const std::function<bool(qint64)> &onMatch)
{
    const quint64 generation = m_index.generation();
    from = std::max<qint64>(from, 0);
    while (from < to) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return Outcome::Canceled;
        // Under the store: whole transactions beginning in [from, to), a
        // slice of them, and their lines.
        QByteArray text;
        qint64 k = 0, first = 0, end = 0, count = 0;
        {
            StoreLease held = lease(m_pipeline, cancel);
            if (!held)
                return Outcome::Canceled;
            if (m_index.generation() != generation)
                return Outcome::Changed;
            const qint64 lines = m_index.lineCount();
            if (from >= lines)
                return Outcome::Done;
            k = m_index.transactionAt(from);
            if (m_index.firstLine(k) < from)
                ++k;
            count = m_index.count();
            if (k >= count || m_index.firstLine(k) >= to)
                return Outcome::Done;
            first = m_index.firstLine(k);
            // Up to the end of the transaction holding the slice's last line.
            const qint64 last = m_index.transactionAt(std::min(lines, first + kSliceLines) - 1);
            end = m_index.endLine(last);
            // A transaction longer than a slice is read up to kMaxLines rows.
            const qint64 readEnd = std::min(end, first + std::max(kSliceLines, kMaxLines));
            text = held->readLines(int(first), int(readEnd - first));
        }
        // Judged without the store.
        std::string_view rest(text.constData(), size_t(text.size()));
        StoredLine stored;
        m_builder.reset();
        qint64 line = first;
        bool past = false; // a transaction begun at or after `to` was reached
        const auto judge = [&](bool nextBegun) {
            const Transaction &t = m_builder.finish(nextBegun);
            return t.firstLine >= to || !m_query.matches(t) || onMatch(t.firstLine);
        };
        for (; !rest.empty(); ++line) {
            const size_t nl = rest.find('\n');
            stored.parse(rest.substr(0, nl));
            rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
            if (m_builder.begins(stored)) {
                if (m_builder.started() && !judge(true))
                    return Outcome::Stopped;
                if (line >= to) {
                    past = true;
                    break;
                }
                m_builder.start(k++, line);
            }
            m_builder.add(stored);
        }
        if (!past && m_builder.started() && !judge(k < count))
            return Outcome::Stopped;
        if (m_index.generation() != generation)
            return Outcome::Changed;
        from = end;
    }
    return Outcome::Done;
}
