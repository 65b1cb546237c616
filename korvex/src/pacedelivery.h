// Decodes a stream of samples in slices of 10 ms of bus time and delivers
// each slice's events when that bus time has passed on the wall clock (or at
// once, when asked to run as fast as possible).
#pragma once

#include "capturesession.h"
#include "i2cdecoder.h"

#include <vector>

namespace korvex {

class PaceDelivery
{
public:
    PaceDelivery(CaptureSession &session, I2CDecoder &decoder, bool realTime);

    // False once a stop is requested.
    bool feed(const uint8_t *data, size_t bytes);

    static constexpr unsigned kSlicesPerSecond = 100;

private:
    CaptureSession &m_session;
    I2CDecoder &m_decoder;
    const bool m_realTime;
    bool m_clockStarted = false;
    CaptureSession::Clock::time_point m_origin;
    std::vector<I2CEvent> m_events;
};

} // namespace korvex
