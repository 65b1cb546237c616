// Reads a saved text or CSV capture back into stored lines
// ("number,type,address,direction,data,response,timestamp\n", Latin-1 with
// "?" for characters outside it).
#pragma once

#include "export/savedformat.h"
#include "export/transferresult.h"

#include <QByteArray>
#include <QIODevice>

#include <functional>

// Receives each stored line, "\n" included. The array is reused for the next
// line, so keep a copy (implicitly shared) rather than a pointer into it.
using StoredLineSink = std::function<void(const QByteArray &storedLine)>;

class SavedCaptureReader
{
public:
    // The longest line taken, "\r\n" not counted. No saved row comes near it
    // (it would be one transfer of 20 million merged bytes); anything longer
    // is not a saved capture, and reading it whole would take memory without
    // bound.
    static constexpr qsizetype kMaxLineLength = 64 << 20;

    // Reads `in` from its current position: skips the first line unread,
    // converts every further line (Text, or Csv for any other format) and
    // hands it to `sink` when it reads as a row (isRow). Other lines are
    // skipped and counted. `progress` sees the bytes read after each line;
    // when it returns false the reading stops, that line already delivered.
    // A line longer than kMaxLineLength stops the reading with lineTooLong.
    // With giveUpAfter > 0 the reading also stops once that many lines were
    // skipped before any row: the file is no saved capture.
    static TransferResult open(QIODevice &in, SavedFormat format, const StoredLineSink &sink,
                               const TransferProgress &progress = {}, qint64 giveUpAfter = 0);

    // Whether a converted line is a row of a capture: of type START, ADDR,
    // DATA or STOP, with a hex address or "--". Text that merely holds seven
    // separators is not.
    static bool isRow(const QByteArray &stored);

    // Converts one saved line into `stored` (replacing its content); false
    // when the line splits into fewer than seven parts or is longer than
    // kMaxLineLength. Decoding stops at a NUL byte; each part is trimmed of
    // white space as QString::trimmed does.
    static bool convertLine(QByteArray &stored, SavedFormat format, const char *line,
                            qsizetype size);

    // Whether a first line is the header Save writes for `format` (Text, or
    // Csv for any other), white space around it aside.
    static bool isHeader(SavedFormat format, const char *line, qsizetype size);
};
