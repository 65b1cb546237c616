#include "pacedelivery.h"

#include <algorithm>

namespace korvex {

PaceDelivery::PaceDelivery(CaptureSession &session, I2CDecoder &decoder, bool realTime)
    : m_session(session), m_decoder(decoder), m_realTime(realTime)
{
}

bool PaceDelivery::feed(const uint8_t *data, size_t bytes)
{
    const I2CDecoderConfig &config = m_decoder.config();
    const uint64_t sliceSamples = std::max<uint64_t>(1, config.sampleRate / kSlicesPerSecond);
    const size_t sliceBytes = static_cast<size_t>(sliceSamples) * config.unitSize;
    if (!m_clockStarted) {
        m_origin = CaptureSession::Clock::now() - std::chrono::nanoseconds(I2CDecoder::sampleToNs(
                                                      m_decoder.samplesSeen(), config.sampleRate));
        m_clockStarted = true;
    }
    while (bytes > 0) {
        if (m_session.stopRequested())
            return false;
        const size_t n = std::min(bytes, sliceBytes);
        m_events.clear();
        m_decoder.feed(data, n, m_events);
        data += n;
        bytes -= n;
        if (m_realTime) {
            const auto due = m_origin + std::chrono::nanoseconds(I2CDecoder::sampleToNs(
                                            m_decoder.samplesSeen(), config.sampleRate));
            if (!m_session.waitUntil(due))
                return false;
        }
        if (!m_events.empty())
            m_session.deliver(m_events.data(), m_events.size());
    }
    return !m_session.stopRequested();
}

} // namespace korvex
