// korvex-decode's work: open the capture, pick the channels, decode, write.
#pragma once

#include "tools/decodeoptions.h"

#include "korvex/src/capturefile.h"
#include "korvex/src/i2cdecoder.h"

#include <ostream>
#include <string>

namespace korvex {

// Opens options.capture into `file` and sets the channels of `config` from
// the options. False, with the reason in *error, when the file cannot be
// read, would be read only in part, or the channels are not in it.
bool openForOptions(const DecodeOptions &options, CaptureFile &file, I2CDecoderConfig &config,
                    std::string *error);

// Runs the whole command; the output goes to `outFd` (standard output) unless
// --output names a file, the usage text to `out`, messages to `err`. The
// capture is decoded and written a slice at a time, so memory stays the same
// whatever its length. Returns the exit status: 0 done, 1 the capture could
// not be decoded or written (running out of memory included), 2 bad command
// line.
int runDecodeCommand(int argc, const char *const *argv, std::ostream &out, int outFd,
                     std::ostream &err);

} // namespace korvex
