#include "lineindex.h"

LineIndex::LineIndex()
{
    push_back(0);
}

void LineIndex::addChunk()
{
    // Left uninitialised: pages become resident only as offsets are written.
    chunks_.emplace_back(new qint64[size_t(ChunkSize)]);
}

void LineIndex::truncate(qint64 newSize)
{
    if (newSize < 1)
        newSize = 1;
    if (newSize < size_)
        size_ = newSize;
    releaseUnusedChunks();
}

void LineIndex::reset()
{
    size_ = 1;
    chunks_[0][0] = 0;
    releaseUnusedChunks();
}

void LineIndex::releaseUnusedChunks()
{
    const size_t needed = size_t((size_ + ChunkMask) >> ChunkBits);
    if (chunks_.size() > needed) {
        chunks_.resize(needed);
        if (needed <= 1)
            chunks_.shrink_to_fit();
    }
}

size_t LineIndex::memoryBytes() const
{
    return chunks_.size() * size_t(ChunkSize) * sizeof(qint64) +
           chunks_.capacity() * sizeof(chunks_[0]);
}
