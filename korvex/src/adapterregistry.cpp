#include "adapterregistry.h"

#include "busadapter.h"
#include "korvexenv.h"
#include "korvexlog.h"
#include "livescanner.h"
#include "replayadapter.h"
#include "simulatoradapter.h"

#include <algorithm>
#include <cstring>

namespace korvex {

AdapterRegistry::AdapterRegistry() = default;

AdapterRegistry::~AdapterRegistry()
{
    // Captures still running stop here; live devices close before the scanner releases them.
    m_adapters.clear();
    m_live.reset();
}

int32_t AdapterRegistry::scan()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    scanLocked();
    return static_cast<int32_t>(m_adapters.size());
}

void AdapterRegistry::scanLocked()
{
    for (const auto &adapter : m_adapters) {
        if (adapter->capturing()) {
            m_scanned = true;
            return; // the running capture keeps its index
        }
    }
    std::vector<std::shared_ptr<BusAdapter>> old;
    old.swap(m_adapters);
    // Simulator and replays persist across scans (with their open state).
    auto reuse = [&old](const std::string &key) -> std::shared_ptr<BusAdapter> {
        for (auto &adapter : old) {
            if (adapter && adapter->key() == key)
                return std::move(adapter);
        }
        return nullptr;
    };
    if (simulatorEnabled()) {
        auto simulator = reuse("simulator");
        m_adapters.push_back(simulator ? simulator : std::make_shared<SimulatorAdapter>());
    }
    for (const std::string &path : replayFiles()) {
        auto replay = reuse("replay:" + path);
        m_adapters.push_back(replay ? replay : std::make_shared<ReplayAdapter>(path));
    }
    old.clear(); // live adapters close their devices before the rescan releases them
    const std::string drivers = liveDrivers();
    if (drivers != "0") {
        if (!m_live)
            m_live = std::make_unique<LiveScanner>();
        for (auto &adapter : m_live->scan(drivers))
            m_adapters.push_back(std::move(adapter));
    }
    m_scanned = true;
}

std::shared_ptr<BusAdapter> AdapterRegistry::adapterLocked(int32_t index, const char *operation)
{
    if (!m_scanned)
        scanLocked();
    if (index < 0 || static_cast<size_t>(index) >= m_adapters.size()) {
        logf("%s: adapter index %d is out of range (%zu adapter%s)", operation, index,
             m_adapters.size(), m_adapters.size() == 1 ? "" : "s");
        return nullptr;
    }
    return m_adapters[static_cast<size_t>(index)];
}

bool AdapterRegistry::open(int32_t index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto adapter = adapterLocked(index, "openAdapter");
    return adapter && adapter->open();
}

int32_t AdapterRegistry::start(int32_t index, int32_t channelPair, int32_t sampleRate,
                               I2CCaptureCallback callback)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto adapter = adapterLocked(index, "startI2CCapture");
    if (!adapter)
        return BusAdapter::NoSuchAdapter;
    CaptureRequest request;
    request.index = index;
    request.channelPair = channelPair;
    request.sampleRate = sampleRate;
    return adapter->start(request, callback);
}

void AdapterRegistry::stop(int32_t index)
{
    std::shared_ptr<BusAdapter> adapter;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_scanned && index >= 0 && static_cast<size_t>(index) < m_adapters.size())
            adapter = m_adapters[static_cast<size_t>(index)];
    }
    if (adapter)
        adapter->stop();
}

int32_t AdapterRegistry::describe(int32_t index, char *buf, int32_t size)
{
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto adapter = adapterLocked(index, "describeAdapter");
        if (!adapter) {
            copyText(std::string(), buf, size);
            return -1;
        }
        text = adapter->description();
    }
    return copyText(text, buf, size);
}

int32_t AdapterRegistry::captureState(int32_t index, char *buf, int32_t size)
{
    std::shared_ptr<BusAdapter> adapter;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        adapter = adapterLocked(index, "captureState");
    }
    std::string why;
    const int32_t state = adapter ? static_cast<int32_t>(adapter->captureState(&why)) : -1;
    copyText(why, buf, size);
    return state;
}

int32_t AdapterRegistry::enableHealth(int32_t index, const KorvexHealthOptions *options,
                                      KorvexFindingCallback callback, void *userData)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto adapter = adapterLocked(index, "enableBusHealth");
    if (!adapter)
        return 1;
    HealthRequest health;
    // Value-initialised options are the defaults: auto mode, no PEC, no filter.
    if (callback && options) {
        if (options->mode < KORVEX_HEALTH_MODE_AUTO || options->mode > KORVEX_HEALTH_MODE_SMBUS) {
            logf("enableBusHealth: mode %d is not %d..%d", options->mode, KORVEX_HEALTH_MODE_AUTO,
                 KORVEX_HEALTH_MODE_SMBUS);
            return 5;
        }
        if (options->glitchFilterNs < 0) {
            logf("enableBusHealth: glitch filter width %lld ns is negative",
                 static_cast<long long>(options->glitchFilterNs));
            return 5;
        }
        health.options = *options;
    }
    health.callback = callback;
    health.userData = callback ? userData : nullptr;
    return adapter->setHealth(health) ? 0 : 2;
}

int32_t AdapterRegistry::healthMode(int32_t index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto adapter = adapterLocked(index, "busHealthMode");
    return adapter ? adapter->healthMode() : -1;
}

int32_t AdapterRegistry::copyText(const std::string &text, char *buf, int32_t size)
{
    if (buf && size > 0) {
        const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
        std::memcpy(buf, text.data(), n);
        buf[n] = '\0';
    }
    return static_cast<int32_t>(text.size());
}

} // namespace korvex
