#include "korvexlog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace korvex {

namespace {

// At namespace scope, so it outlives the adapter registry (a function-local
// static created later), whose capture threads may log while it is destroyed.
std::mutex logMutex;

} // namespace

bool logQuiet()
{
    const char *v = std::getenv("KORVEX_LOG");
    return v && std::strcmp(v, "quiet") == 0;
}

void logf(const char *format, ...)
{
    if (logQuiet())
        return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::string line = "korvex: ";
    line += text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    line += '\n';
    // One fwrite per line under a lock, so lines from capture threads never interleave.
    std::lock_guard<std::mutex> lock(logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace korvex
