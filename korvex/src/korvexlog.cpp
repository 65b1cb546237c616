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

// Per thread, like errno: a failure's reason belongs to the call that failed.
thread_local std::string t_lastLine;

} // namespace

bool logQuiet()
{
    const char *v = std::getenv("KORVEX_LOG");
    return v && std::strcmp(v, "quiet") == 0;
}

const std::string &lastThreadLogLine()
{
    return t_lastLine;
}

void clearThreadLogLine()
{
    t_lastLine.clear();
}

void logf(const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    t_lastLine = text;
    while (!t_lastLine.empty() && (t_lastLine.back() == '\n' || t_lastLine.back() == '\r'))
        t_lastLine.pop_back();
    if (logQuiet())
        return;
    std::string line = "korvex: " + t_lastLine + '\n';
    // One fwrite per line under a lock, so lines from capture threads never interleave.
    std::lock_guard<std::mutex> lock(logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace korvex
