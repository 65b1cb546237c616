#include "capture/healthfinding.h"

#include <korvex/korvexhealth.h>

#include <cstring>
#include <iterator>

namespace {
constexpr std::string_view kKindNames[] = {"start-in-byte",
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
                                           "undersampled"};
static_assert(std::size(kKindNames) == size_t(HealthFinding::kKindCount), "a name per kind");

constexpr std::string_view kSeverityNames[] = {"error", "warning", "info", "unresolved"};
static_assert(std::size(kSeverityNames) == size_t(HealthFinding::kSeverityCount),
              "a name per severity");
} // namespace

// The library numbers the kinds from 1 in our order.
static_assert(KORVEX_HEALTH_KIND_COUNT == HealthFinding::kKindCount + 1, "the same kinds");
static_assert(KORVEX_SEVERITY_UNRESOLVED + 1 == HealthFinding::kSeverityCount,
              "the same severities");

bool HealthFinding::fromLibrary(const KorvexFinding &k, HealthFinding *out)
{
    if (k.kind < 1 || k.kind >= KORVEX_HEALTH_KIND_COUNT || k.severity < 0 ||
        k.severity >= kSeverityCount)
        return false;
    out->kind = Kind(k.kind - 1);
    out->severity = Severity(k.severity);
    out->sample = int64_t(k.sample);
    out->timeNs = k.timeNs;
    out->eventIndex = int64_t(k.eventIndex);
    out->line = -1;
    out->measuredNs = k.measuredNs;
    out->limitNs = k.limitNs;
    out->resolutionNs = k.resolutionNs;
    // The text is NUL-terminated, but a record is not trusted to be.
    out->detail.assign(k.detail, strnlen(k.detail, sizeof k.detail));
    return true;
}

std::string_view HealthFinding::kindName(Kind k)
{
    return size_t(k) < std::size(kKindNames) ? kKindNames[size_t(k)] : std::string_view();
}

bool HealthFinding::kindFromName(std::string_view name, Kind *k)
{
    for (size_t i = 0; i < std::size(kKindNames); ++i) {
        if (kKindNames[i] == name) {
            *k = Kind(i);
            return true;
        }
    }
    return false;
}

std::string_view HealthFinding::severityName(Severity s)
{
    return size_t(s) < std::size(kSeverityNames) ? kSeverityNames[size_t(s)] : std::string_view();
}

HealthFinding::Severity HealthFinding::worstSeverity(uint8_t severities)
{
    for (int s = 0; s < kSeverityCount; ++s)
        if (severities & (1u << s))
            return Severity(s);
    return Severity::Count;
}

int64_t HealthFinding::excess() const
{
    if (measuredNs < 0 || limitNs < 0)
        return 0;
    return measuredNs > limitNs ? measuredNs - limitNs : limitNs - measuredNs;
}
