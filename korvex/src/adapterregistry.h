// The list of adapters behind the C interface: index 0 the simulator (unless
// KORVEX_SIMULATOR=0), then one replay per KORVEX_REPLAY file, then the live
// analyzers (KORVEX_LIVE). Scanning rebuilds the list from the environment,
// except while a capture runs, when the list stays as it is.
#pragma once

#include <korvex/korvex.h>
#include <korvex/korvexhealth.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

class BusAdapter;
class LiveScanner;

class AdapterRegistry
{
public:
    AdapterRegistry();
    ~AdapterRegistry();
    AdapterRegistry(const AdapterRegistry &) = delete;
    AdapterRegistry &operator=(const AdapterRegistry &) = delete;

    // The C interface's operations; arguments are checked and failures logged.
    int32_t scan();
    bool open(int32_t index);
    int32_t start(int32_t index, int32_t channelPair, int32_t sampleRate,
                  I2CCaptureCallback callback);
    void stop(int32_t index);
    int32_t describe(int32_t index, char *buf, int32_t size);
    int32_t captureState(int32_t index, char *buf, int32_t size);
    int32_t enableHealth(int32_t index, const KorvexHealthOptions *options,
                         KorvexFindingCallback callback, void *userData);
    int32_t healthMode(int32_t index);

    // Copies text into buf as the C interface does: NUL-terminated, cut to
    // size, nothing written for size <= 0. Returns the full length.
    static int32_t copyText(const std::string &text, char *buf, int32_t size);

private:
    void scanLocked();
    std::shared_ptr<BusAdapter> adapterLocked(int32_t index, const char *operation);

    // Guards the list; held through open/start/describe so that a rescan never
    // drops an adapter in use, but not through stop, which joins a capture
    // thread whose callback may call back into the library.
    std::mutex m_mutex;
    bool m_scanned = false;
    std::vector<std::shared_ptr<BusAdapter>> m_adapters;
    std::unique_ptr<LiveScanner> m_live;
};

} // namespace korvex
