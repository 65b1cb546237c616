// Find and filter over groups of stored lines (the transactions) instead of
// single lines: a group matches as a whole and is reported by its first
// line, so the filter's rows and find's answers stay stored lines.
//
// Threads: one scan runs on one search worker at a time; it reaches the
// store only as a worker may (a lease for moments, positioned reads).
#pragma once

#include "search/capturescanner.h"

#include <QtGlobal>

#include <atomic>
#include <functional>

class GroupScan
{
public:
    using Outcome = CaptureScanner::Outcome;
    virtual ~GroupScan() = default;

    // Calls onMatch with the first line of each matching group that begins
    // in [from, to), in order, until it returns false (Stopped). Polls cancel
    // (may be null). Changed: lines were taken away meanwhile.
    virtual Outcome scan(qint64 from, qint64 to, const std::atomic<bool> *cancel,
                         const std::function<bool(qint64)> &onMatch) = 0;
    // With `lines` stored: the first line of the group that may still grow
    // (its verdict can change), `lines` when every group is finished.
    virtual qint64 unsettledFrom(qint64 lines) = 0;
    // Moves whenever lines are taken away (Clear, Open).
    virtual quint64 generation() const = 0;
};
