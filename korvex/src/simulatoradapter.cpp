#include "simulatoradapter.h"

#include "bussimulator.h"
#include "korvexenv.h"
#include "korvexlog.h"
#include "pacedelivery.h"

namespace korvex {

std::string SimulatorAdapter::description()
{
    return "Built-in I2C bus simulator (EEPROM 0x50, sensor 0x40, RTC 0x68, absent 0x3C)";
}

bool SimulatorAdapter::prepare(const CaptureRequest &request)
{
    if (!BusSimulator::supportsRate(static_cast<uint64_t>(request.sampleRate))) {
        logf("adapter %d: the simulator samples at 1 MHz to 100 MHz, not %d Hz", request.index,
             request.sampleRate);
        return false;
    }
    m_seed = simulatorSeed();
    m_realTime = simulatorRealTime();
    m_faults = simulatorFaults();
    return true;
}

void SimulatorAdapter::run(CaptureSession &session, const CaptureRequest &request)
{
    const auto rate = static_cast<uint64_t>(request.sampleRate);
    const auto pair = static_cast<unsigned>(request.channelPair);
    SimulatorFaults faults;
    faults.kinds = m_faults;
    BusSimulator bus(rate, pair, m_seed, SimulatorTiming(), faults);
    I2CDecoderConfig config;
    config.sdaChannel = 2 * pair;
    config.sclChannel = 2 * pair + 1;
    config.sampleRate = rate;
    config.assumeIdle = true;
    I2CDecoder decoder;
    decoder.configure(PaceDelivery::withHealth(config, request.health));
    session.started();

    PaceDelivery pace(session, decoder, m_realTime, request.health);
    const size_t slice = static_cast<size_t>(rate / PaceDelivery::kSlicesPerSecond);
    std::vector<uint8_t> samples;
    do {
        samples.clear();
        bus.generate(slice, samples);
    } while (pace.feed(samples.data(), samples.size()));
    pace.finish();
}

} // namespace korvex
