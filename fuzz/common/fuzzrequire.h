// A property every fuzz target checks: a broken one aborts with the
// condition's text, which libFuzzer reports as a crash with this input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define require(condition)                                                                         \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition);                   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
