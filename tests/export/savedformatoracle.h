// The saved formats done the slow, obvious way, through QString: what
// SavedCaptureWriter::appendRow and SavedCaptureReader::convertLine must give
// byte for byte, for any line. Tests and the fuzzer compare against it.
#pragma once

#include "savedformat.h"

#include <QByteArray>

#include <string>

namespace oracle {

// Appends the saved row of one stored line; false (nothing appended) with
// fewer than seven fields.
bool savedRow(std::string &out, SavedFormat format, const QByteArray &line);

// The stored line of one saved line; false (`stored` untouched) when it
// splits into fewer than seven parts.
bool storedLine(QByteArray &stored, SavedFormat format, const QByteArray &line);

} // namespace oracle
