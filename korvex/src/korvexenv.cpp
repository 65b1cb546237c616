#include "korvexenv.h"

#include "healthkinds.h"

#include "bussimulator.h"
#include "korvexlog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korvex {

namespace {

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

} // namespace

bool simulatorEnabled()
{
    return env("KORVEX_SIMULATOR") != "0";
}

std::vector<std::string> replayFiles()
{
    std::vector<std::string> files;
    const std::string list = env("KORVEX_REPLAY");
    size_t from = 0;
    while (from <= list.size()) {
        size_t to = list.find(':', from);
        if (to == std::string::npos)
            to = list.size();
        if (to > from)
            files.push_back(list.substr(from, to - from));
        from = to + 1;
    }
    return files;
}

bool replayRealTime()
{
    return env("KORVEX_REPLAY_SPEED") != "max";
}

bool simulatorRealTime()
{
    return env("KORVEX_SIM_SPEED") != "max";
}

uint64_t simulatorSeed()
{
    const std::string text = env("KORVEX_SIM_SEED");
    if (text.empty())
        return BusSimulator::kDefaultSeed;
    errno = 0;
    char *end = nullptr;
    const unsigned long long seed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || !end || *end != '\0' || text[0] == '-') {
        logf("KORVEX_SIM_SEED='%s' is not a number; using seed %llu", text.c_str(),
             static_cast<unsigned long long>(BusSimulator::kDefaultSeed));
        return BusSimulator::kDefaultSeed;
    }
    return seed;
}

uint32_t simulatorFaults()
{
    const std::string list = env("KORVEX_SIM_FAULTS");
    if (list == "all")
        return ~0u & ~((1u << KORVEX_HEALTH_UNDERSAMPLED) | 1u);
    uint32_t kinds = 0;
    size_t from = 0;
    while (from < list.size()) {
        const size_t to = std::min(list.find(',', from), list.size());
        const std::string name = list.substr(from, to - from);
        const int32_t kind = healthKindFromName(name.c_str());
        if (kind > 0 && kind != KORVEX_HEALTH_UNDERSAMPLED)
            kinds |= 1u << kind;
        else if (!name.empty())
            logf("KORVEX_SIM_FAULTS: '%s' is not a fault the simulator injects", name.c_str());
        from = to + 1;
    }
    return kinds;
}

std::string liveDrivers()
{
    const char *value = std::getenv("KORVEX_LIVE");
    if (!value || !*value || std::strcmp(value, "1") == 0)
        return "*";
    return value;
}

} // namespace korvex
