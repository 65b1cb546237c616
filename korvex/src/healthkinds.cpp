#include "healthkinds.h"

#include <cstring>

namespace korvex {

namespace {

// Indexed by kind code; code 0 is no kind.
const char *const kKindNames[KORVEX_HEALTH_KIND_COUNT] = {
    "",
    "start-in-byte",
    "stop-in-byte",
    "missing-stop",
    "data-before-start",
    "empty-transaction",
    "last-read-acked",
    "general-call",
    "start-byte",
    "hs-master-code",
    "ten-bit-address",
    "spike",
    "same-sample-edge",
    "t-low",
    "t-high",
    "t-su-sta",
    "t-hd-sta",
    "t-su-dat",
    "t-hd-dat",
    "t-su-sto",
    "t-buf",
    "f-scl",
    "stretch",
    "smbus-timeout",
    "pec",
    "stuck-low",
    "bus-clear",
    "undersampled",
};

const char *const kSeverityNames[] = {"error", "warning", "info", "unresolved"};

} // namespace

const char *healthKindName(int32_t kind)
{
    return kind > 0 && kind < KORVEX_HEALTH_KIND_COUNT ? kKindNames[kind] : "";
}

const char *healthSeverityName(int32_t severity)
{
    return severity >= 0 && severity <= KORVEX_SEVERITY_UNRESOLVED ? kSeverityNames[severity] : "";
}

int32_t healthKindFromName(const char *name)
{
    if (!name)
        return 0;
    for (int32_t kind = 1; kind < KORVEX_HEALTH_KIND_COUNT; ++kind) {
        if (std::strcmp(kKindNames[kind], name) == 0)
            return kind;
    }
    return 0;
}

} // namespace korvex
