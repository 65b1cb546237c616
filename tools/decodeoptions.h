// Command line of korvex-decode.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace korvex {

struct DecodeOptions
{
    std::string sda; // channel number or name; empty: not given
    std::string scl;
    int pair = -1;           // 0..3, or -1 when not given
    bool assumeIdle = false; // the bus is idle before the first sample
    std::string format = "events";
    std::string output; // empty: standard output
    std::string capture;
    // --format=health: the timing mode (KORVEX_HEALTH_MODE_*, 0 auto) and the
    // 7-bit addresses whose transfers end with a PEC byte.
    int mode = 0;
    std::array<bool, 128> pec{};
    bool healthOptions = false; // --mode or --pec given
    bool help = false;
    // Device profiles for the decoded column: --device=ADDR=ID (7-bit
    // address in hex, profile id; an empty id decodes nothing there), and
    // folders of profiles besides the shipped ones (--profiles=DIR).
    std::vector<std::pair<uint8_t, std::string>> devices;
    std::vector<std::string> profileDirs;
};

// Parses argv[1..]. False, with the reason in *error, for a malformed or
// contradictory command line.
bool parseDecodeOptions(int argc, const char *const *argv, DecodeOptions &options,
                        std::string *error);

// The usage text, one option per line.
std::string decodeUsage();

} // namespace korvex
