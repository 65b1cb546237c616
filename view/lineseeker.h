// Finds the first stored line whose row number or timestamp is at or after a
// value (Go to). Both rise through a capture, so a binary search reads a few
// dozen lines; when a sample shows they do not (a capture past midnight, an
// opened file in another order) it falls back to reading every line.
#pragma once

#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <string_view>

class CaptureStore;

class LineSeeker
{
public:
    enum class Key { Number, Timestamp };

    // The first line whose key is >= target; the line count when there is
    // none. Unreadable lines never match. The caller holds the store.
    static qint64 firstAtOrAfter(const CaptureStore &store, Key key, int64_t target);

    // The key of one stored line; nothing when the line does not hold one.
    static std::optional<int64_t> keyOf(std::string_view line, Key key);
};
