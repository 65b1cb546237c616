#include "capture/lineindex.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

LineIndex::LineIndex()
{
    push_back(0);
}

void LineIndex::addChunk()
{
    // Left uninitialised: pages become resident only as offsets are written.
    m_chunks.emplace_back(new qint64[size_t(kChunkSize)]);
}

void LineIndex::truncate(qint64 newSize)
{
    if (newSize < 1)
        newSize = 1;
    if (newSize < m_size)
        m_size = newSize;
    releaseUnusedChunks();
}

void LineIndex::reset()
{
    m_size = 1;
    m_chunks[0][0] = 0;
    releaseUnusedChunks();
}

void LineIndex::releaseUnusedChunks()
{
    const size_t needed = size_t((m_size + kChunkMask) >> kChunkBits);
    if (m_chunks.size() > needed) {
        const size_t released = m_chunks.size() - needed;
        m_chunks.resize(needed);
        if (needed <= 1)
            m_chunks.shrink_to_fit();
#if defined(__GLIBC__)
        // glibc keeps freed chunks in its arenas (a Clear after 10^8 rows kept
        // a gigabyte resident); hand a large release back to the system.
        if (released >= kTrimChunks)
            malloc_trim(0);
#endif
    }
}

size_t LineIndex::memoryBytes() const
{
    return m_chunks.size() * size_t(kChunkSize) * sizeof(qint64) +
           m_chunks.capacity() * sizeof(m_chunks[0]);
}
