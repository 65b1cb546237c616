// The C interface of libkorvex: each call goes to the process's adapter
// registry, and no C++ exception leaves it.
#include "adapterregistry.h"
#include "healthkinds.h"
#include "korvexlog.h"

#include <korvex/korvex.h>
#include <korvex/korvexhealth.h>

#include <exception>

namespace {

korvex::AdapterRegistry &registry()
{
    static korvex::AdapterRegistry instance;
    return instance;
}

// Each call starts with no reason of failure on this thread; a call that
// succeeds ends with none either, so lastAdapterError() speaks only of a failure.
template <typename Result, typename Call>
Result guarded(const char *name, Result failure, Call call, Result success)
{
    korvex::clearThreadLogLine();
    try {
        const Result result = call();
        if (result == success)
            korvex::clearThreadLogLine();
        return result;
    } catch (const std::exception &e) {
        korvex::logf("%s failed: %s", name, e.what());
    } catch (...) {
        korvex::logf("%s failed", name);
    }
    return failure;
}

} // namespace

extern "C" {

KORVEX_API int32_t scanAdapters(void *reserved)
{
    if (reserved)
        korvex::logf("scanAdapters: the argument is reserved and should be null");
    const int32_t count = guarded<int32_t>(
        "scanAdapters", 0, [] { return registry().scan(); }, -1);
    if (count > 0)
        korvex::clearThreadLogLine();
    return count;
}

KORVEX_API uint8_t openAdapter(int32_t index)
{
    return guarded<uint8_t>(
        "openAdapter", 0, [index] { return registry().open(index) ? uint8_t(1) : uint8_t(0); }, 1);
}

KORVEX_API int32_t startI2CCapture(int32_t index, int32_t channelPair, int32_t sampleRate,
                                   I2CCaptureCallback callback)
{
    return guarded<int32_t>(
        "startI2CCapture", -1,
        [=] { return registry().start(index, channelPair, sampleRate, callback); }, 0);
}

KORVEX_API int32_t stopI2CCapture(int32_t index)
{
    return guarded<int32_t>(
        "stopI2CCapture", 0,
        [index] {
            registry().stop(index);
            return int32_t(0);
        },
        0);
}

KORVEX_API int32_t describeAdapter(int32_t index, char *buf, int32_t size)
{
    return guarded<int32_t>(
        "describeAdapter", -1, [=] { return registry().describe(index, buf, size); }, -2);
}

KORVEX_API int32_t captureState(int32_t index, char *buf, int32_t size)
{
    return guarded<int32_t>(
        "captureState", -1, [=] { return registry().captureState(index, buf, size); }, -2);
}

KORVEX_API int32_t lastAdapterError(char *buf, int32_t size)
{
    // Not guarded: it must not clear what it reports.
    try {
        return korvex::AdapterRegistry::copyText(korvex::lastThreadLogLine(), buf, size);
    } catch (...) {
        return -1;
    }
}

KORVEX_API void busHealthDefaults(KorvexHealthOptions *options)
{
    if (!options) {
        korvex::logf("busHealthDefaults: options is null");
        return;
    }
    *options = KorvexHealthOptions{};
    options->mode = KORVEX_HEALTH_MODE_AUTO;
}

KORVEX_API int32_t enableBusHealth(int32_t index, const KorvexHealthOptions *options,
                                   KorvexFindingCallback callback, void *userData)
{
    return guarded<int32_t>(
        "enableBusHealth", -1,
        [=] { return registry().enableHealth(index, options, callback, userData); }, 0);
}

KORVEX_API int32_t busHealthMode(int32_t index)
{
    return guarded<int32_t>(
        "busHealthMode", -1, [index] { return registry().healthMode(index); }, -2);
}

KORVEX_API const char *korvexHealthKindName(int32_t kind)
{
    return korvex::healthKindName(kind);
}

KORVEX_API const char *korvexHealthSeverityName(int32_t severity)
{
    return korvex::healthSeverityName(severity);
}
}
