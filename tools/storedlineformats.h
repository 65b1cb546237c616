// The formats that take the program's own path from bus events to files:
// event conversion, the capture store's lines, and the files Save writes from
// those lines. Sharing that code keeps the tool's output byte for byte what
// the program would write, and both are fed batch by batch, so only a batch
// of rows and the writers' buffers are in memory at any time.
#pragma once

#include "tools/eventformats.h"

#include "export/savedformat.h"

#include <string>

namespace korvex {

// The capture store's file for `capture` captured with merge and decode off.
// A regular (or new) output file is the store's own file; standard output,
// devices and pipes take the lines in order.
bool writeStoreLines(const DecodedCapture &capture, const FormatOutput &output, std::string *error);

// What Save writes in `format` from that store file. The HTML title is the
// output path as given, or "-" on standard output.
bool writeSavedCapture(const DecodedCapture &capture, SavedFormat format,
                       const FormatOutput &output, std::string *error);

// The address map's table for `capture`: a header line, then one line per
// address seen, counted from the rows the store would keep.
bool writeAddressSummary(const DecodedCapture &capture, const FormatOutput &output,
                         std::string *error);

} // namespace korvex
