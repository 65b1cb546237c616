// The saved formats done the slow, obvious way, through QString: what
// SavedCaptureWriter::appendRow and SavedCaptureReader::convertLine must give
// byte for byte, for any line. Tests and the fuzzer compare against it.
#pragma once

#include "export/savedformat.h"

#include <QByteArray>

#include <string>

namespace oracle {

// Both false, changing nothing, when the line has fewer than seven fields.
bool savedRow(std::string &out, SavedFormat format, const QByteArray &line);
bool storedLine(QByteArray &stored, SavedFormat format, const QByteArray &line);

} // namespace oracle
