// Where each transaction begins, kept as the store keeps lines: one bit a
// line in blocks of kBlockLines, each block with the number of transactions
// begun before it, so any transaction's lines are found without reading the
// file. Unusual transactions (begun without a START, ended without a STOP)
// are marked in two more bitmaps that a block holds only when it has one,
// and so are NACKed address and data rows, so "NACK anywhere" is answered
// without reading the file. About 0.13 bytes a line (0.5 in a block of
// unusual transactions and NACKs).
//
// Threads: the StoreObserver calls come on the storing thread while it holds
// the store. count() .. status() read every line told so far and are for
// whoever holds the store (the GUI thread under its lease, like the store's
// own index). Completed blocks (all lines before completedLines()) never
// change until lines are taken away; any thread may copy their bits through
// copyStarts(), which takes m_mutex, as the storer does to add or drop
// blocks.
#pragma once

#include "capture/storeobserver.h"
#include "transaction/transaction.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CaptureStore;

class TransactionIndex : public StoreObserver
{
public:
    static constexpr int kBlockBits = 12;
    static constexpr qint64 kBlockLines = qint64(1) << kBlockBits;
    static constexpr int kWords = int(kBlockLines / 64);

    // store: read back for the last kept line's type when lines are taken
    // away. The caller adds this observer before any line is stored.
    explicit TransactionIndex(const CaptureStore &store);
    ~TransactionIndex() override;
    Q_DISABLE_COPY(TransactionIndex)

    void lineAdded(qint64 line, const CaptureRow &row) override;
    // A merge keeps the line's type and response: rows merge only with the
    // same response.
    void lineMerged(qint64, const CaptureRow &) override {}
    void storeReset() override;
    void linesKept(qint64 lines) override;

    // Holding the store: transactions, the open one included.
    qint64 count() const { return m_count; }
    // Lines told so far.
    qint64 lineCount() const { return m_lines; }
    // Stored line of transaction k's first row; -1 when there is no k.
    qint64 firstLine(qint64 k) const;
    // One past its last line; -1 when there is no k.
    qint64 endLine(qint64 k) const;
    // The transaction holding line; -1 when the line is not stored.
    qint64 transactionAt(qint64 line) const;
    // Transaction::Status flags: NoStart, NoStop (a START cut it off), Open
    // (the last, not yet ended by a STOP).
    uint8_t status(qint64 k) const;
    // The first line in [from, to) that is a NACKed address or data row; to
    // when there is none.
    qint64 nextNack(qint64 from, qint64 to) const;
    // The first line of the transaction holding line (0 <= line < lineCount()).
    qint64 startAtOrBefore(qint64 line) const;
    // The first line at or after line that begins a transaction; lineCount()
    // when none does. Both read the bits near line only, unlike firstLine().
    qint64 nextStart(qint64 line) const;
    size_t memoryBytes() const;

    // Any thread. Lines in blocks that are complete (a multiple of
    // kBlockLines).
    qint64 completedLines() const { return m_completedLines.load(std::memory_order_acquire); }
    // Moves whenever lines are taken away (Clear, Open, a failed write).
    quint64 generation() const { return m_generation.load(std::memory_order_acquire); }
    // Copies the start bits of completed block `block` (kWords words, bit i
    // of word w: line block * kBlockLines + 64 w + i begins a transaction)
    // and the number of transactions begun before it. False when the block
    // is not complete.
    bool copyStarts(qint64 block, uint64_t *starts, qint64 *before) const;

private:
    struct Block
    {
        uint64_t starts[kWords] = {};
        qint64 before = 0; // transactions begun in earlier blocks
        // Null until the block holds an unusual transaction: words
        // [0, kWords) mark first lines of transactions begun without a START,
        // [kWords, 2 kWords) first lines of transactions whose predecessor a
        // START cut off (it had no STOP).
        std::unique_ptr<uint64_t[]> unusual;
        // Null until the block holds a NACKed address or data row: kWords
        // words, a bit for each such line.
        std::unique_ptr<uint64_t[]> nacks;
    };
    static constexpr int kChunkBits = 6; // blocks per allocation: 64 (33 KB)

    Block &block(qint64 b) const
    {
        return m_chunks[size_t(b >> kChunkBits)][b & ((1 << kChunkBits) - 1)];
    }
    static bool bit(const uint64_t *words, qint64 i) { return (words[i >> 6] >> (i & 63)) & 1u; }
    void markUnusual(Block &b, int word, qint64 lineInBlock);
    void markNack(qint64 line, const CaptureRow &row);
    void dropAll();

    const CaptureStore &m_store;
    // Storing thread writes; readers hold the store or m_mutex (see above).
    std::vector<std::unique_ptr<Block[]>> m_chunks;
    qint64 m_blocks = 0; // blocks in use, the last being filled
    qint64 m_lines = 0;
    qint64 m_count = 0;
    TransactionState m_state = TransactionState::Outside;
    mutable std::mutex m_mutex; // guards m_chunks' growth and the completed blocks against a reset
    std::atomic<qint64> m_completedLines{0};
    std::atomic<quint64> m_generation{0};
};
