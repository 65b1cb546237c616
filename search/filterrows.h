// The stored lines a filter matched, as the rows the table walks through:
// 4 bytes a match in chunks, so growing never copies what was found. The
// newest stored line may still change (Merge), so whether it matches is held
// apart and may be withdrawn.
//
// Threads: filled by the filter's worker, read by the GUI thread; every
// member is guarded by m_mutex, which the worker holds only to add a batch.
#pragma once

#include "visiblerows.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class FilterRows : public VisibleRows
{
public:
    qint64 count() const override;
    qint64 storedLine(qint64 row) const override;
    qint64 rowAtOrAfter(qint64 line) const override;

    // Appends matches (ascending, after every line held) and sets the
    // newest line's match, -1 for none.
    void append(const std::vector<uint32_t> &lines, qint64 provisional);
    void clear();
    size_t memoryBytes() const;

    static constexpr int kChunkBits = 14;
    static constexpr qint64 kChunkSize = qint64(1) << kChunkBits;

private:
    uint32_t at(qint64 row) const
    {
        return m_chunks[size_t(row >> kChunkBits)][size_t(row & (kChunkSize - 1))];
    }

    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<uint32_t[]>> m_chunks;
    qint64 m_final = 0;
    qint64 m_provisional = -1;
};
