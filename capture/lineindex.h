// Where the stored lines lie in the capture file, at a fraction of a byte a
// line. Entry k is where line k begins, the last entry the end of the last
// line, so an empty store holds the single 0.
//
// Only every kStride-th entry is kept ("marks"), plus the last one and, while
// a batch is being stored, every entry of that batch (so a failed write can
// cut the index back to whole lines without reading). The lines between two
// kept entries are found by reading forward from the earlier one and counting
// "\n": a page reads dozens of lines anyway, so that costs a few more.
// settle() drops the batch's entries again once it is in the file.
//
// Offsets are 64-bit so a capture file may pass 2 GiB. The marks live in
// fixed-size chunks rather than one vector: appending never copies the whole
// index on the capture thread.
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

class LineIndex
{
public:
    static constexpr int kStrideBits = 5;
    static constexpr qint64 kStride = qint64(1) << kStrideBits;
    static constexpr qint64 kStrideMask = kStride - 1;
    static constexpr int kChunkBits = 12; // marks per chunk: 32 KiB
    static constexpr qint64 kChunkSize = qint64(1) << kChunkBits;
    static constexpr qint64 kChunkMask = kChunkSize - 1;
    // Releasing this many chunks (2 MiB) at once returns the memory to the system.
    static constexpr size_t kTrimChunks = 64;
    // A batch's entries above this many are given back after it.
    static constexpr size_t kKeptBatchEntries = 1 << 16;

    LineIndex();

    // Number of entries: stored lines + 1.
    qint64 size() const { return m_size; }
    qint64 lineCount() const { return m_size - 1; }
    qint64 back() const { return m_recent.back(); }

    // Whether entry i's offset is kept: a mark, the last entry or one of the
    // batch being stored.
    bool isKept(qint64 i) const { return i >= m_recentFrom || (i & kStrideMask) == 0; }
    // Entry i's offset; i must be kept.
    qint64 keptOffset(qint64 i) const
    {
        Q_ASSERT(i >= 0 && i < m_size && isKept(i));
        return i >= m_recentFrom ? m_recent[size_t(i - m_recentFrom)] : mark(i >> kStrideBits);
    }
    // The nearest kept entry at or before / at or after i (0 <= i < size()).
    qint64 keptAtOrBefore(qint64 i) const { return i >= m_recentFrom ? i : i & ~kStrideMask; }
    qint64 keptAtOrAfter(qint64 i) const
    {
        return i >= m_recentFrom ? i : std::min(((i + kStrideMask) & ~kStrideMask), m_recentFrom);
    }

    // Appends the entry after a new line: where that line ends.
    void push_back(qint64 offset)
    {
        if ((m_size & kStrideMask) == 0)
            addMark(offset);
        m_recent.push_back(offset);
        ++m_size;
    }
    // Moves the end of the last line (a merge rewrote it).
    void setBack(qint64 offset)
    {
        m_recent.back() = offset;
        if (((m_size - 1) & kStrideMask) == 0)
            markRef((m_size - 1) >> kStrideBits) = offset;
    }
    // The batch is in the file: keep only the marks and the last entry.
    void settle();
    // The last kept entry whose offset is at or below offset (0 for any
    // offset below 1): where to read forward from to find the lines that end
    // by offset.
    qint64 lastKeptAtOrBelow(qint64 offset) const;

    // Keeps the first newSize entries (at least one), the last of them at
    // backOffset: the caller found it, the index may not have kept it.
    void truncate(qint64 newSize, qint64 backOffset);
    // Back to the single entry 0; releases every chunk but the first.
    void reset();

    // Heap bytes held by the index, for memory checks.
    size_t memoryBytes() const;

    // The position in bytes just after its n-th "\n" (n >= 0), or its size
    // when it holds fewer: finds line n of bytes read from a kept entry.
    static size_t skipLines(std::string_view bytes, qint64 n);

private:
    qint64 mark(qint64 m) const { return m_chunks[size_t(m >> kChunkBits)][m & kChunkMask]; }
    qint64 &markRef(qint64 m) { return m_chunks[size_t(m >> kChunkBits)][m & kChunkMask]; }
    void addMark(qint64 offset);
    void releaseUnusedChunks();

    std::vector<std::unique_ptr<qint64[]>> m_chunks;
    qint64 m_marks = 0;
    qint64 m_size = 0;
    // Entries m_recentFrom .. m_size-1, never empty: the last entry, and the
    // ones of the batch being stored.
    std::vector<qint64> m_recent;
    qint64 m_recentFrom = 0;
};
