// korvex-decode's work: open the capture, pick the channels, decode, write.
#pragma once

#include "tools/decodeoptions.h"
#include "tools/eventformats.h"

#include <ostream>
#include <string>

namespace korvex {

// Decodes options.capture into `capture`. False, with the reason in *error,
// when the file cannot be read or the channels are not in it.
bool decodeForOptions(const DecodeOptions &options, DecodedCapture &capture, std::string *error);

// Runs the whole command; `out` and `outFd` are both standard output (see
// FormatOutput), messages go to `err`. Returns the exit status: 0 done, 1 the
// capture could not be decoded or written, 2 bad command line.
int runDecodeCommand(int argc, const char *const *argv, std::ostream &out, int outFd,
                     std::ostream &err);

} // namespace korvex
