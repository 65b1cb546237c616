#include "transaction/transactionscan.h"

#include "capture/capturepipeline.h"
#include "capture/lineindex.h"
#include "search/blockindex.h"
#include "transaction/transactionindex.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
// Lines read under one lease: a few milliseconds' work for the store.
constexpr qint64 kSliceLines = 1 << 15;
// Lines whose NACK bits one round of a NACK-only scan reads under one lease.
constexpr qint64 kNackRoundLines = qint64(1) << 16;
// Blocks one transaction may span and still be judged by their summaries.
constexpr qint64 kMaxUnionBlocks = 64;

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

// The store for one round of a scan begun at `generation`; empty, with
// *stop saying why, when the scan was canceled or lines were taken away.
StoreLease roundLease(CapturePipeline &pipeline, const TransactionIndex &index,
                      const std::atomic<bool> *cancel, quint64 generation,
                      TransactionScan::Outcome *stop)
{
    *stop = TransactionScan::Outcome::Canceled;
    if (cancel && cancel->load(std::memory_order_relaxed))
        return StoreLease();
    StoreLease held = lease(pipeline, cancel);
    if (held && index.generation() != generation) {
        *stop = TransactionScan::Outcome::Changed;
        return StoreLease();
    }
    return held;
}
} // namespace

TransactionScan::TransactionScan(CapturePipeline &pipeline, const TransactionIndex &index,
                                 const TransactionQuery &query, const BlockIndex *blocks,
                                 TransactionDecoration *decoration)
    : m_pipeline(pipeline), m_index(index), m_query(query),
      m_blocks(decoration && query.needsDecoding() ? nullptr : blocks),
      m_decoration(query.needsDecoding() ? decoration : nullptr)
{
}

bool TransactionScan::blockMayMatch(qint64 b, qint64 lines) const
{
    // The transaction holding b's last line may run on into later blocks:
    // judged with them, so a query whose words stand in different blocks is
    // never skipped. One begun in an earlier block was judged with that one.
    constexpr qint64 kLines = BlockIndex::kBlockLines;
    const qint64 lo = b;
    const qint64 hi =
        (m_index.endLine(m_index.transactionAt(std::min(lines, (b + 1) * kLines) - 1)) - 1) /
        kLines;
    // A long transaction is read; blocks still filling have no summary yet.
    if (hi - lo >= kMaxUnionBlocks)
        return true;
    BlockSummary all, one;
    for (qint64 i = lo; i <= hi; ++i) {
        if (m_blocks->copyBlocks(i, 1, &one) != 1)
            return true;
        all.addresses[0] |= one.addresses[0];
        all.addresses[1] |= one.addresses[1];
        all.types |= one.types;
        all.directions |= one.directions;
        all.responses |= one.responses;
    }
    return m_query.mayMatch(all);
}

qint64 TransactionScan::skipBlocks(qint64 from, qint64 lines) const
{
    constexpr qint64 kLines = BlockIndex::kBlockLines;
    qint64 b = from / kLines;
    if (!m_blocks || blockMayMatch(b, lines))
        return from;
    do
        ++b;
    while (b * kLines < lines && !blockMayMatch(b, lines));
    if (b * kLines >= lines)
        return lines;
    // A transaction reaching from a skipped block into b cannot match: its
    // blocks were judged with that block.
    return b * kLines;
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

TransactionScan::Outcome TransactionScan::scanNacks(qint64 from, qint64 to,
                                                    const std::atomic<bool> *cancel,
                                                    const std::function<bool(qint64)> &onMatch)
{
    const quint64 generation = m_index.generation();
    std::vector<qint64> found;
    for (from = std::max<qint64>(from, 0); from < to;) {
        found.clear();
        {
            // A round's bits under the store: a few milliseconds at most.
            Outcome stop;
            const StoreLease held = roundLease(m_pipeline, m_index, cancel, generation, &stop);
            if (!held)
                return stop;
            const qint64 lines = m_index.lineCount();
            const qint64 roundEnd = std::min(to, from + kNackRoundLines);
            qint64 line = from; // no transaction begun in [from, line) holds a NACK
            while (line < roundEnd) {
                const qint64 nack = m_index.nextNack(line, lines);
                if (nack >= lines) {
                    line = to; // none left: a later round sees lines yet to come
                    break;
                }
                const qint64 first = m_index.startAtOrBefore(nack);
                if (first >= roundEnd) {
                    line = first;
                    break;
                }
                if (first >= from)
                    found.push_back(first);
                // On from the transaction after the one holding the NACK.
                line = m_index.nextStart(nack + 1);
            }
            from = std::min(std::max(line, roundEnd), to);
        }
        for (qint64 first : found)
            if (!onMatch(first))
                return Outcome::Stopped;
    }
    return m_index.generation() == generation ? Outcome::Done : Outcome::Changed;
}

TransactionScan::Outcome TransactionScan::scan(qint64 from, qint64 to,
                                               const std::atomic<bool> *cancel,
                                               const std::function<bool(qint64)> &onMatch)
{
    if (m_query.onlyNacks())
        return scanNacks(from, to, cancel, onMatch);
    const quint64 generation = m_index.generation();
    from = std::max<qint64>(from, 0);
    const qint64 judgedFrom = from; // a rewind to a checkpoint reads earlier ones too
    while (from < to) {
        // Under the store: whole transactions beginning in [from, to), a
        // slice of them, and their lines.
        QByteArray text;
        qint64 k = 0, first = 0, end = 0, count = 0, ahead = 0;
        {
            Outcome stop;
            const StoreLease held = roundLease(m_pipeline, m_index, cancel, generation, &stop);
            if (!held)
                return stop;
            const qint64 lines = m_index.lineCount();
            from = skipBlocks(from, lines);
            if (from >= lines)
                return Outcome::Done;
            k = m_index.transactionAt(from);
            if (m_index.firstLine(k) < from)
                ++k;
            count = m_index.count();
            if (k >= count || m_index.firstLine(k) >= to)
                return Outcome::Done;
            if (m_decoration && m_decoration->next() != k)
                k = m_decoration->rewind(k);
            first = m_index.firstLine(k);
            // Up to the end of the transaction holding the slice's last line.
            // With block summaries, up to the next block that may be
            // skipped, so it is not read along with its neighbours.
            qint64 slice = kSliceLines;
            if (m_blocks) {
                constexpr qint64 kLines = BlockIndex::kBlockLines;
                qint64 b = first / kLines + 1;
                while (b * kLines < std::min(lines, first + kSliceLines) && blockMayMatch(b, lines))
                    ++b;
                slice = b * kLines - first;
            }
            const qint64 last = m_index.transactionAt(std::min(lines, first + slice) - 1);
            end = m_index.endLine(last);
            // A transaction longer than a slice is read up to kMaxLines rows.
            const qint64 readEnd = std::min(end, first + std::max(kSliceLines, kMaxLines));
            // From the kept line offset at or before the first, whose lines
            // are passed over here, so the store need not move the bytes.
            ahead = first - held->lineIndex().keptAtOrBefore(first);
            text = held->readLines(int(first - ahead), int(readEnd - first + ahead));
        }
        // Judged without the store.
        std::string_view rest(text.constData(), size_t(text.size()));
        rest.remove_prefix(LineIndex::skipLines(rest, ahead));
        StoredLine stored;
        m_builder.reset();
        qint64 line = first;
        bool past = false; // a transaction begun at or after `to` was reached
        const auto judge = [&](bool nextBegun) {
            const Transaction &t = m_builder.finish(nextBegun);
            if (m_decoration)
                m_decoration->decode(t, &m_decoded, m_query.needsRegisters());
            return t.firstLine >= to || t.firstLine < judgedFrom ||
                   !m_query.matches(t, m_decoration ? &m_decoded : nullptr) || onMatch(t.firstLine);
        };
        for (; !rest.empty(); ++line) {
            stored.parseNext(&rest);
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
