#include "search/filterrows.h"

qint64 FilterRows::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_final + (m_provisional >= 0 ? 1 : 0);
}

FilterRows::Tally FilterRows::tally() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_final + (m_provisional >= 0 ? 1 : 0), m_outOf};
}

qint64 FilterRows::storedLine(qint64 row) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (row >= 0 && row < m_final)
        return at(row);
    return row == m_final && m_provisional >= 0 ? m_provisional : -1;
}

qint64 FilterRows::rowAtOrAfter(qint64 line) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    qint64 lo = 0, hi = m_final;
    while (lo < hi) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (qint64(at(mid)) < line)
            lo = mid + 1;
        else
            hi = mid;
    }
    // Past every final match only the provisional one can follow.
    if (lo == m_final && (m_provisional < 0 || m_provisional < line))
        return m_final + (m_provisional >= 0 ? 1 : 0);
    return lo;
}

void FilterRows::append(const std::vector<uint32_t> &lines, qint64 provisional, qint64 outOf)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const uint32_t line : lines) {
        if ((m_final & (kChunkSize - 1)) == 0 && size_t(m_final >> kChunkBits) == m_chunks.size())
            m_chunks.emplace_back(new uint32_t[size_t(kChunkSize)]);
        m_chunks[size_t(m_final >> kChunkBits)][size_t(m_final & (kChunkSize - 1))] = line;
        ++m_final;
    }
    m_provisional = provisional;
    m_outOf = outOf;
}

void FilterRows::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_chunks.clear();
    m_final = 0;
    m_provisional = -1;
    m_outOf = 0;
}

size_t FilterRows::memoryBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_chunks.size() * size_t(kChunkSize) * sizeof(uint32_t) +
           m_chunks.capacity() * sizeof(m_chunks[0]);
}
