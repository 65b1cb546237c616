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
    qint64 size() const { return m_size; }
    qint64 lineCount() const { return m_size - 1; }

    qint64 operator[](qint64 i) const { return m_chunks[size_t(i >> kChunkBits)][i & kChunkMask]; }
    qint64 back() const { return (*this)[m_size - 1]; }

    void push_back(qint64 offset)
    {
        if ((m_size & kChunkMask) == 0 && size_t(m_size >> kChunkBits) == m_chunks.size())
            addChunk();
        m_chunks[size_t(m_size >> kChunkBits)][m_size & kChunkMask] = offset;
        ++m_size;
    }
    void setBack(qint64 offset)
    {
        m_chunks[size_t((m_size - 1) >> kChunkBits)][(m_size - 1) & kChunkMask] = offset;
    }

    // Keeps the first newSize entries (at least one).
    void truncate(qint64 newSize);
    // Back to the single entry 0; releases every chunk but the first.
    void reset();

    // Heap bytes held by the index, for memory checks.
    size_t memoryBytes() const;

    static constexpr int kChunkBits = 16;
    static constexpr qint64 kChunkSize = qint64(1) << kChunkBits;
    static constexpr qint64 kChunkMask = kChunkSize - 1;
    // Releasing this many chunks (8 MiB) at once returns the memory to the system.
    static constexpr size_t kTrimChunks = 16;

private:
    void addChunk();
    void releaseUnusedChunks();

    std::vector<std::unique_ptr<qint64[]>> m_chunks;
    qint64 m_size = 0;
};
