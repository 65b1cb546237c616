// The stored lines a filter matched, as the rows the table walks through:
// 4 bytes a match in chunks, so growing never copies what was found. The
// newest stored line may still change (Merge), so whether it matches is held
// apart and may be withdrawn.
//
// Threads: filled by the filter's worker, read by the GUI thread; every
// member is guarded by m_mutex, which the worker holds only to add a batch.
#pragma once

#include "capture/visiblerows.h"

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

    // The matches and the number of stored lines they were picked from,
    // taken together, so the first never exceeds the second (the store may
    // have been emptied since: the worker starts again a moment later).
    struct Tally
    {
        qint64 matches = 0;
        qint64 outOf = 0;
    };
    Tally tally() const;

    // Appends matches (ascending, after every line held) and sets the
    // newest line's match, -1 for none; outOf: the stored lines the filter
    // is judging (all matches lie below it).
    void append(const std::vector<uint32_t> &lines, qint64 provisional, qint64 outOf);
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
    qint64 m_outOf = 0;
};
