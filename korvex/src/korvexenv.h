// The environment variables that shape the adapter list and the captures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// KORVEX_SIMULATOR: anything but "0" keeps the simulator as adapter 0.
bool simulatorEnabled();
// KORVEX_REPLAY: capture files separated by ':'.
std::vector<std::string> replayFiles();
// KORVEX_REPLAY_SPEED, KORVEX_SIM_SPEED: "max" runs as fast as possible.
bool replayRealTime();
bool simulatorRealTime();
// KORVEX_SIM_SEED: the simulator's seed (a bad value is logged and ignored).
uint64_t simulatorSeed();
// KORVEX_SIM_FAULTS: "all", or bus-health kind names separated by commas
// ("spike,t-low"): a bit per kind to inject. Unknown names are logged and skipped.
uint32_t simulatorFaults();
// KORVEX_LIVE: "0" none; unset, empty or "1" every driver but the demo
// device's; otherwise the comma-separated driver names to scan.
std::string liveDrivers();

} // namespace korvex
