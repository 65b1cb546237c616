// Adapter 0: the built-in bus simulator, decoded by the same decoder as real
// samples and delivered at wall-clock pace (KORVEX_SIM_SPEED=max: flat out).
#pragma once

#include "busadapter.h"

namespace korvex {

class SimulatorAdapter final : public BusAdapter
{
public:
    SimulatorAdapter() = default;
    ~SimulatorAdapter() override { stopForDestruction(); }

    std::string key() const override { return "simulator"; }
    std::string description() override;

protected:
    bool doOpen() override { return true; }
    bool prepare(const CaptureRequest &request) override;
    void run(CaptureSession &session, const CaptureRequest &request) override;

private:
    // Read on the caller's thread by prepare(), used by run() afterwards.
    uint64_t m_seed = 0;
    bool m_realTime = true;
    uint32_t m_faults = 0; // KORVEX_SIM_FAULTS
};

} // namespace korvex
