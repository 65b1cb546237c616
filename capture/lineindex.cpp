#include "capture/lineindex.h"

#include <algorithm>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

LineIndex::LineIndex()
{
    reset();
}

void LineIndex::addMark(qint64 offset)
{
    if ((m_marks & kChunkMask) == 0 && size_t(m_marks >> kChunkBits) == m_chunks.size())
        // Left uninitialised: pages become resident only as marks are written.
        m_chunks.emplace_back(new qint64[size_t(kChunkSize)]);
    markRef(m_marks++) = offset;
}

void LineIndex::settle()
{
    const qint64 last = m_recent.back();
    if (m_recent.capacity() > kKeptBatchEntries)
        std::vector<qint64>().swap(m_recent);
    m_recent.assign(1, last);
    m_recentFrom = m_size - 1;
}

qint64 LineIndex::lastKeptAtOrBelow(qint64 offset) const
{
    if (m_recent.front() <= offset)
        return m_recentFrom +
               qint64(std::upper_bound(m_recent.begin(), m_recent.end(), offset) -
                      m_recent.begin()) -
               1;
    // The marks of the entries before m_recentFrom; mark 0 is entry 0 at 0.
    qint64 lo = 0, hi = (m_recentFrom - 1) >> kStrideBits;
    while (lo < hi) {
        const qint64 mid = (lo + hi + 1) / 2;
        if (mark(mid) <= offset)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo << kStrideBits;
}

void LineIndex::truncate(qint64 newSize, qint64 backOffset)
{
    newSize = std::max<qint64>(1, std::min(newSize, m_size));
    if (newSize - 1 >= m_recentFrom) {
        m_recent.resize(size_t(newSize - m_recentFrom));
    } else {
        m_recent.assign(1, 0);
        m_recentFrom = newSize - 1;
    }
    m_size = newSize;
    m_marks = ((newSize - 1) >> kStrideBits) + 1;
    setBack(backOffset);
    releaseUnusedChunks();
}

void LineIndex::reset()
{
    m_size = 0;
    m_marks = 0;
    if (m_recent.capacity() > kKeptBatchEntries)
        std::vector<qint64>().swap(m_recent);
    m_recent.clear();
    m_recentFrom = 0;
    push_back(0);
    releaseUnusedChunks();
}

void LineIndex::releaseUnusedChunks()
{
    const size_t needed = size_t((m_marks + kChunkMask) >> kChunkBits);
    if (m_chunks.size() > needed) {
        const size_t released = m_chunks.size() - needed;
        m_chunks.resize(needed);
        if (needed <= 1)
            m_chunks.shrink_to_fit();
#if defined(__GLIBC__)
        // glibc keeps freed chunks in its arenas (a Clear after 10^9 rows kept
        // hundreds of megabytes resident); hand a large release back.
        if (released >= kTrimChunks)
            malloc_trim(0);
#else
        (void)released;
#endif
    }
}

size_t LineIndex::memoryBytes() const
{
    return m_chunks.size() * size_t(kChunkSize) * sizeof(qint64) +
           m_chunks.capacity() * sizeof(m_chunks[0]) + m_recent.capacity() * sizeof(qint64);
}

size_t LineIndex::skipLines(std::string_view bytes, qint64 n)
{
    size_t at = 0;
    for (; n > 0; --n) {
        const void *nl = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
        if (!nl)
            return bytes.size();
        at = size_t(static_cast<const char *>(nl) - bytes.data()) + 1;
    }
    return at;
}
