// Byte offsets of the stored lines: entry k is where line k begins, the last
// entry is the end of the last line, so an empty store holds the single 0.
//
// Offsets are 64-bit so a capture file may pass 2 GiB. The entries live in
// fixed-size chunks rather than one vector: appending never copies the whole
// index (a vector of 10^8 offsets would move 800 MB on the capture thread
// when it grows) and memory stays at 8 bytes a line plus at most one chunk.
#pragma once

#include <QtGlobal>

#include <memory>
#include <vector>

class LineIndex
{
public:
    LineIndex();

    // Number of entries: stored lines + 1.
    qint64 size() const { return size_; }
    qint64 lineCount() const { return size_ - 1; }

    qint64 operator[](qint64 i) const { return chunks_[size_t(i >> ChunkBits)][i & ChunkMask]; }
    qint64 back() const { return (*this)[size_ - 1]; }

    void push_back(qint64 offset)
    {
        if ((size_ & ChunkMask) == 0 && size_t(size_ >> ChunkBits) == chunks_.size())
            addChunk();
        chunks_[size_t(size_ >> ChunkBits)][size_ & ChunkMask] = offset;
        ++size_;
    }
    void setBack(qint64 offset)
    {
        chunks_[size_t((size_ - 1) >> ChunkBits)][(size_ - 1) & ChunkMask] = offset;
    }

    // Keeps the first newSize entries (at least one).
    void truncate(qint64 newSize);
    // Back to the single entry 0; releases every chunk but the first.
    void reset();

    // Heap bytes held by the index, for memory checks.
    size_t memoryBytes() const;

    static constexpr int ChunkBits = 16;
    static constexpr qint64 ChunkSize = qint64(1) << ChunkBits;
    static constexpr qint64 ChunkMask = ChunkSize - 1;

private:
    void addChunk();
    void releaseUnusedChunks();

    std::vector<std::unique_ptr<qint64[]>> chunks_;
    qint64 size_ = 0;
};
