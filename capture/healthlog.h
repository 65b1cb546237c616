// The bus health findings of the capture, kept beside the capture file and
// never in its lines: each finding is one record in a side file (an unnamed
// file in the capture file's folder, gone with the process), in the order of
// the lines they landed on. Memory holds only a summary per kind and, per
// block of 4,096 lines, where its records begin and which kinds and
// severities they hold (16 bytes a block): a bus full of faults costs disk,
// not memory.
//
// How findings reach their lines: the capture callback attaches each to the
// row its event became (the row counts them in healthFindings) and queues it
// here; the store tells this observer which line each row went to (a merged
// row goes to the line it joined), and the queued findings take that line.
//
// Threads: the queue and the observer calls belong to whichever thread holds
// the store (the callback's while capturing; the GUI's for Clear and Open,
// whose rows carry no findings). Everything the readers use (the blocks, the
// summaries, the published end of the file) is guarded by m_mutex; records
// below the published end never change until a reset, which moves
// generation(). Readers may be any thread.
#pragma once

#include "capture/healthfinding.h"
#include "capture/storeobserver.h"

#include <QString>

#include <array>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class HealthLog : public StoreObserver
{
public:
    static constexpr int kBlockBits = 12;
    static constexpr qint64 kBlockLines = qint64(1) << kBlockBits;

    HealthLog() = default;
    ~HealthLog() override;
    HealthLog(const HealthLog &) = delete;
    HealthLog &operator=(const HealthLog &) = delete;

    // The side file is made in this folder at the first finding (else in the
    // system's temporary folder). Before any finding.
    void setFolder(const QString &folder) { m_folder = folder; }

    // --- the thread holding the store ---
    // A finding whose row is on its way to the store: rows count their own,
    // and they arrive in row order.
    void queue(HealthFinding finding) { m_queue.push_back(std::move(finding)); }
    // Findings of rows that will never be stored (the store failed).
    void dropQueued() { m_queue.clear(); }
    bool hasQueued() const { return !m_queue.empty(); }
    // A finding on a line already stored (one that no row took: the end of
    // a capture); line -1 when no line is stored.
    void addToLine(qint64 line, HealthFinding finding);
    // Makes what was recorded since the last call visible to readers: at
    // the end of each stored batch, before its lines are.
    void flush();
    void batchEnded() override { flush(); }

    void lineAdded(qint64 line, const CaptureRow &row) override;
    void lineMerged(qint64 line, const CaptureRow &row) override;
    void storeReset() override;
    void linesKept(qint64 lines) override;

    // --- any thread ---
    struct KindSummary
    {
        quint64 count = 0;
        uint8_t severities = 0; // bits of HealthFinding::Severity
        qint64 firstLine = -1;
        // The worst finding: the most severe, then the furthest past its limit.
        HealthFinding worst;
    };
    std::array<KindSummary, HealthFinding::kKindCount> summaries() const;
    quint64 findingCount() const;
    // Moves whenever findings are taken away (Clear, Open, cut lines).
    quint64 generation() const { return m_generation.load(std::memory_order_acquire); }

    // What a line or a run of lines holds.
    struct LineFlags
    {
        qint64 line = -1;
        uint32_t kinds = 0;     // bits of HealthFinding::Kind
        uint8_t severities = 0; // bits of HealthFinding::Severity
    };
    // Which kinds and severities lines [first, last) hold together.
    LineFlags flagsOfLines(qint64 first, qint64 last) const;
    // One entry per line of [first, last) that holds findings, in line order.
    std::vector<LineFlags> flaggedLines(qint64 first, qint64 last) const;
    // The findings on lines [first, last), in line order.
    std::vector<HealthFinding> findings(qint64 first, qint64 last) const;
    // The first line after `after` with a finding of kind; -1 for none.
    qint64 nextLine(HealthFinding::Kind kind, qint64 after) const;

    // Memory held for readers (blocks and summaries), for the budget checks.
    size_t memoryBytes() const;

private:
    struct Block
    {
        qint64 offset = 0; // where the block's records begin in the side file
        uint32_t kinds = 0;
        uint8_t severities = 0;
    };

    void take(qint64 line, uint32_t count);
    void record(const HealthFinding &f);
    bool ensureFile();
    bool writeUnwritten(); // m_unwritten at m_fileEnd, whole
    // Calls visit(f) for the records of blocks [first, last] (clamped) in file
    // order, until it returns false. Holds no lock while reading.
    template <typename Visit> void visitBlocks(qint64 first, qint64 last, Visit &&visit) const;
    void resetLocked();

    QString m_folder;
    int m_fd = -1;
    // Storing thread only: findings waiting for their rows' lines, and the
    // records not yet written (written and published by flush()).
    std::deque<HealthFinding> m_queue;
    std::string m_unwritten;
    std::vector<HealthFinding> m_unpublished;
    qint64 m_fileEnd = 0; // bytes written, storing thread

    mutable std::mutex m_mutex; // guards everything below
    qint64 m_published = 0;     // records up to here may be read
    std::vector<Block> m_blocks;
    std::array<KindSummary, HealthFinding::kKindCount> m_kinds{};
    quint64 m_count = 0;
    std::atomic<quint64> m_generation{0};
};
