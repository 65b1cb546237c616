// Walks stored lines in order and reports those a query matches. Completed
// blocks are taken from the BlockIndex: skipped when their summary rules a
// match out, otherwise read with one positioned read and split at "\n"
// here (no LineIndex, which the capture thread may be growing). Lines after
// the last completed block are read under the store.
//
// Threads: one scanner per worker thread; it shares only the pipeline (its
// store flag and positioned reads) and the BlockIndex (its own lock).
#pragma once

#include "capture/healthlog.h"
#include "search/searchquery.h"

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <vector>

class BlockIndex;
class CapturePipeline;

class CaptureScanner
{
public:
    enum class Outcome { Done, Stopped, Canceled, Changed };

    // cancel (may be null) is polled between blocks; walked (may be null)
    // counts the lines walked (read or skipped), for progress elsewhere.
    CaptureScanner(CapturePipeline &pipeline, const BlockIndex &blocks, const SearchQuery &query,
                   const std::atomic<bool> *cancel = nullptr,
                   std::atomic<qint64> *walked = nullptr);

    // Calls onMatch for each matching line in [from, to), to clamped to the
    // lines stored now, in order, until it returns false (Stopped). Changed:
    // lines were taken away meanwhile (Clear, Open), so what was reported may
    // belong to the capture before.
    Outcome scan(qint64 from, qint64 to, const std::function<bool(qint64)> &onMatch);
    // The first / last match in [from, to), -1 for none (see *outcome).
    qint64 findFirst(qint64 from, qint64 to, Outcome *outcome);
    qint64 findLast(qint64 from, qint64 to, Outcome *outcome);

private:
    // Reports matches among the lines in bytes, the first being line first.
    bool scanBytes(const char *bytes, size_t size, qint64 first, qint64 from, qint64 to,
                   const std::function<bool(qint64)> &onMatch) const;
    // Reads the lines [from, to) under the store, from the kept offset at or
    // before from: *first is the line the bytes begin with. False when the
    // store holds fewer lines.
    bool readTail(qint64 from, qint64 *to, qint64 *first);
    // For a query on bus health: the findings of lines [from, to), false
    // when none of them can match.
    bool loadHealth(qint64 from, qint64 to);
    bool healthMatches(qint64 line) const;

    CapturePipeline &m_pipeline;
    const BlockIndex &m_blocks;
    const SearchQuery &m_query;
    const std::atomic<bool> *m_cancel;
    std::vector<char> m_buffer;
    std::atomic<qint64> *m_walked;
    // The loaded range's lines with findings, and the next one to look at.
    std::vector<HealthLog::LineFlags> m_flags;
    mutable size_t m_nextFlag = 0;
};
