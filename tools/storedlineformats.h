// The formats that take the program's own path from bus events to files:
// event conversion, the capture store's lines, and the files Save writes from
// those lines. Sharing that code keeps the tool's output byte for byte what
// the program would write; the rows of each batch of events are converted,
// written and forgotten, so memory does not grow with the capture.
#pragma once

#include "tools/eventformats.h"

#include "export/savedformat.h"

#include <memory>

class ProfileAssignment;

namespace korvex {

// The capture store's file for the capture taken with merge and decode off:
// every row a line of its own, numbered from 0.
std::unique_ptr<FormatWriter> makeStoreLineWriter(OutputFile &out);

// What Save writes in `format` from that store file. The HTML title is the
// output path as given, or "-" on standard output.
std::unique_ptr<FormatWriter> makeSavedCaptureWriter(OutputFile &out, SavedFormat format);

// The address map's table: a header line, then one line per address seen,
// counted from the rows the store would keep.
std::unique_ptr<FormatWriter> makeAddressSummaryWriter(OutputFile &out);

// The transactions of those lines as the transaction view's CSV export
// writes them: a header line, then one row per transaction; with profiles, a
// last column `decoded` of what they decode each transaction to.
std::unique_ptr<FormatWriter> makeTransactionWriter(OutputFile &out,
                                                    const ProfileAssignment *profiles = nullptr);

} // namespace korvex
