// Names of the bus-health kinds and severities, as the C interface, the
// command-line tool and the program spell them.
#pragma once

#include <korvex/korvexhealth.h>

namespace korvex {

// "" for a code out of range; never null.
const char *healthKindName(int32_t kind);
const char *healthSeverityName(int32_t severity);
// The kind code of a text identifier, 0 when unknown.
int32_t healthKindFromName(const char *name);

} // namespace korvex
