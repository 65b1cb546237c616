// Per-block summaries of the stored lines (which addresses, types,
// directions and responses each block of kBlockLines lines holds, and where
// its bytes lie), built as the store keeps lines, so a search skips blocks
// that cannot match without reading them. About 48 bytes a block: 0.012
// bytes a line.
//
// Threads: the StoreObserver calls come on the storing thread while it holds
// the store; the readers (search workers, any thread) see only completed
// blocks, through m_mutex. A block is complete once the line after it was
// stored: only the last line is ever rewritten (Merge).
#pragma once

#include "capture/storeobserver.h"
#include "search/blocksummary.h"

#include <atomic>
#include <mutex>
#include <vector>

class CaptureStore;

class BlockIndex : public StoreObserver
{
public:
    static constexpr int kBlockBits = 12;
    static constexpr qint64 kBlockLines = qint64(1) << kBlockBits;

    // store: whose LineIndex gives each block's first offset; the caller adds
    // this observer to it before any line is stored.
    explicit BlockIndex(const CaptureStore &store) : m_store(store) {}

    void lineAdded(qint64 line, const CaptureRow &row) override;
    // A merge keeps the compared fields; the merged row's findings join the line.
    void lineMerged(qint64, const CaptureRow &row) override;
    void storeReset() override;
    void linesKept(qint64 lines) override;

    // Blocks whose summary is final. Any thread.
    qint64 completedBlocks() const { return m_completed.load(std::memory_order_acquire); }
    // Moves whenever lines are taken away (Clear, Open, a failed write), so a
    // reader can tell that what it read may belong to another capture.
    quint64 generation() const { return m_generation.load(std::memory_order_acquire); }
    // Copies the summaries of completed blocks first .. first+count-1 to out;
    // returns how many there were. Any thread.
    qint64 copyBlocks(qint64 first, qint64 count, BlockSummary *out) const;
    size_t memoryBytes() const;

private:
    const CaptureStore &m_store;
    // Storing thread only: the block being filled.
    BlockSummary m_current;
    mutable std::mutex m_mutex; // guards m_blocks (appended by the storer, copied by readers)
    std::vector<BlockSummary> m_blocks;
    std::atomic<qint64> m_completed{0}; // m_blocks.size(), readable without the lock
    std::atomic<quint64> m_generation{0};
};
