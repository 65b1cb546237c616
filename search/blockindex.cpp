#include "search/blockindex.h"

#include "capture/capturestore.h"

#include <algorithm>

static_assert(BlockIndex::kBlockLines % LineIndex::kStride == 0,
              "a block begins where the line index keeps an offset");

void BlockIndex::lineAdded(qint64 line, const CaptureRow &row)
{
    if ((line & (kBlockLines - 1)) == 0) {
        const qint64 at = m_store.lineIndex().keptOffset(line);
        if (line > 0) {
            m_current.end = at;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_blocks.push_back(m_current);
            m_completed.store(qint64(m_blocks.size()), std::memory_order_release);
        }
        m_current = BlockSummary();
        m_current.begin = at;
    }
    m_current.types |= uint8_t(1u << unsigned(row.type));
    m_current.directions |= uint8_t(1u << unsigned(row.direction));
    m_current.responses |= uint8_t(1u << unsigned(row.response));
    if (row.hasAddress)
        m_current.addresses[row.address >> 6 & 1] |= uint64_t(1) << (row.address & 63);
    lineMerged(line, row);
}

void BlockIndex::lineMerged(qint64, const CaptureRow &row)
{
    m_current.healthKinds |= row.healthKinds;
    m_current.healthSeverities |= row.healthSeverities;
}

void BlockIndex::storeReset()
{
    linesKept(0);
}

void BlockIndex::linesKept(qint64 lines)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    // The block holding the last kept line is being filled again; its old
    // summary may claim more than it holds now, which only costs a read.
    const size_t last = lines > 0 ? size_t((lines - 1) >> kBlockBits) : 0;
    if (lines <= 0)
        m_current = BlockSummary();
    else if (last < m_blocks.size())
        m_current = m_blocks[last];
    m_blocks.resize(std::min(last, m_blocks.size()));
    m_completed.store(qint64(m_blocks.size()), std::memory_order_release);
}

qint64 BlockIndex::copyBlocks(qint64 first, qint64 count, BlockSummary *out) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 n = std::max<qint64>(0, std::min<qint64>(count, qint64(m_blocks.size()) - first));
    if (n > 0)
        std::copy_n(m_blocks.begin() + first, n, out);
    return n;
}

size_t BlockIndex::memoryBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.capacity() * sizeof(BlockSummary);
}
