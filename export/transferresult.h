// Outcome of streaming a capture between the store and a saved file.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// Called with the number of input bytes consumed so far; returning false
// stops the transfer (the user pressed Cancel).
using TransferProgress = std::function<bool(qint64 bytesRead)>;

struct TransferResult
{
    qint64 bytesRead = 0;
    qint64 linesRead = 0;   // input lines, the skipped ones included
    qint64 rowsWritten = 0; // rows produced
    // Save: stored lines with fewer than seven fields. Open: lines that read
    // as no row of a capture (blank lines aside), the first at file line
    // firstSkippedLine (1-based, the header is line 1).
    qint64 linesSkipped = 0;
    qint64 firstSkippedLine = 0;
    qint64 blankLines = 0; // Open: lines of white space only, skipped
    bool cancelled = false;
    // Open: reading stopped at a line longer than any stored row (error says so).
    bool lineTooLong = false;
    // Empty unless reading or writing failed; the transfer stopped there.
    QString error;

    bool ok() const { return error.isEmpty(); }
};
