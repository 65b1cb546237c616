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
    qint64 linesRead = 0;    // input lines, the skipped ones included
    qint64 rowsWritten = 0;  // rows produced
    qint64 linesSkipped = 0; // lines with fewer than seven fields
    bool cancelled = false;
    // Open: reading stopped at a line longer than any stored row (error says so).
    bool lineTooLong = false;
    // Empty unless reading or writing failed; the transfer stopped there.
    QString error;

    bool ok() const { return error.isEmpty(); }
};
