// Diagnostics of the adapter library: one line per message on stderr, each
// prefixed "korvex: ", silenced by KORVEX_LOG=quiet.
#pragma once

#include <string>

namespace korvex {

#if defined(__GNUC__)
#define KORVEX_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KORVEX_PRINTF(fmt, args)
#endif

// Writes one log line (a trailing newline is added). Safe from any thread.
void logf(const char *format, ...) KORVEX_PRINTF(1, 2);

// True when KORVEX_LOG=quiet asks for silence.
bool logQuiet();

// The last line this thread logged (without the prefix), kept even when the
// log is quiet: the C interface hands it to callers as the reason of a failure.
const std::string &lastThreadLogLine();
void clearThreadLogLine();

} // namespace korvex
