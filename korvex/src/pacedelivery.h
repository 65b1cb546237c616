// Decodes a stream of samples in slices of 10 ms of bus time and delivers
// each slice's events when that bus time has passed on the wall clock (or at
// once, when asked to run as fast as possible).
#pragma once

#include "busadapter.h"
#include "capturesession.h"
#include "healthchecker.h"
#include "i2cdecoder.h"

#include <memory>
#include <vector>

namespace korvex {

class PaceDelivery
{
public:
    // With health on in the session, findings go out beside the events, each
    // before the events callback that delivers its event.
    PaceDelivery(CaptureSession &session, I2CDecoder &decoder, bool realTime,
                 const HealthRequest &health = HealthRequest());
    ~PaceDelivery();

    // False once a stop is requested.
    bool feed(const uint8_t *data, size_t bytes);

    // The capture ends (its source ended, or a stop was asked): what the
    // glitch filter and the checker still hold goes out now.
    void finish();

    // The decoder's configuration with the glitch filter of `health`.
    static I2CDecoderConfig withHealth(I2CDecoderConfig config, const HealthRequest &health);

    static constexpr unsigned kSlicesPerSecond = 100;

private:
    CaptureSession &m_session;
    I2CDecoder &m_decoder;
    const bool m_realTime;
    bool m_clockStarted = false;
    CaptureSession::Clock::time_point m_origin;
    void deliver(bool atEnd);

    std::vector<I2CEvent> m_events;
    const HealthRequest m_health;
    std::unique_ptr<HealthChecker> m_checker; // made once the decoder knows its rate
    std::vector<I2CEvent> m_held;             // decoded, waiting for their findings
    std::vector<KorvexFinding> m_findings;
};

} // namespace korvex
