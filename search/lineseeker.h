// Finds the first stored line whose row number or timestamp is at or after a
// value (Go to). Both rise through a capture, so a binary search reads a few
// dozen lines; when a sample shows they do not (a capture past midnight, an
// opened file in another order) it falls back to reading every line. The
// store is leased for one read at a time, so a capture goes on meanwhile;
// run it beside the GUI thread (CaptureSearch::seek).
#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

class CapturePipeline;

class LineSeeker
{
public:
    enum class Key { Number, Timestamp };

    // The first line whose key is >= target; the line count when there is
    // none; -1 when cancel (may be null) was raised. Unreadable lines never
    // match.
    static qint64 firstAtOrAfter(CapturePipeline &pipeline, Key key, int64_t target,
                                 const std::atomic<bool> *cancel = nullptr);

    // The key of one stored line; nothing when the line does not hold one.
    static std::optional<int64_t> keyOf(std::string_view line, Key key);
};
