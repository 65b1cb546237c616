#include "pacedelivery.h"

#include <algorithm>

namespace korvex {

PaceDelivery::PaceDelivery(CaptureSession &session, I2CDecoder &decoder, bool realTime,
                           const HealthRequest &health)
    : m_session(session), m_decoder(decoder), m_realTime(realTime), m_health(health)
{
}

PaceDelivery::~PaceDelivery()
{
    m_decoder.setObserver(nullptr);
}

I2CDecoderConfig PaceDelivery::withHealth(I2CDecoderConfig config, const HealthRequest &health)
{
    config.glitchSamples =
        health.callback
            ? HealthChecker::glitchSamples(health.options.glitchFilterNs, config.sampleRate)
            : 0;
    return config;
}

void PaceDelivery::deliver(bool atEnd)
{
    if (!m_checker) {
        if (!m_events.empty())
            m_session.deliver(m_events.data(), m_events.size());
        return;
    }
    m_held.insert(m_held.end(), m_events.begin(), m_events.end());
    m_findings.clear();
    m_checker->take(m_findings);
    if (!m_findings.empty())
        m_session.deliverFindings(m_findings.data(), m_findings.size());
    m_session.publishMode(m_checker->mode());
    const uint64_t total = m_decoder.eventCount();
    const uint64_t first = total - m_held.size();
    const uint64_t open = atEnd ? total : std::min(total, m_checker->openEvent());
    if (open <= first)
        return;
    const size_t n = static_cast<size_t>(open - first);
    m_session.deliver(m_held.data(), n);
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(n));
}

void PaceDelivery::finish()
{
    m_events.clear();
    m_decoder.flush(m_events);
    if (m_checker)
        m_checker->finish(m_decoder.samplesSeen(), m_decoder.eventCount());
    deliver(true);
}

bool PaceDelivery::feed(const uint8_t *data, size_t bytes)
{
    const I2CDecoderConfig &config = m_decoder.config();
    const uint64_t sliceSamples = std::max<uint64_t>(1, config.sampleRate / kSlicesPerSecond);
    const size_t sliceBytes = static_cast<size_t>(sliceSamples) * config.unitSize;
    if (!m_checker && m_health.callback && m_session.healthOn()) {
        HealthConfig health;
        health.sampleRate = config.sampleRate;
        health.mode = m_health.options.mode;
        for (size_t a = 0; a < health.pec.size(); ++a)
            health.pec[a] = m_health.options.pecAddress[a] != 0;
        health.glitchSamples = config.glitchSamples;
        m_checker = std::make_unique<HealthChecker>(health);
        m_decoder.setObserver(m_checker.get());
    }
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
        if (m_checker)
            m_checker->advance(m_decoder.samplesSeen(), m_decoder.eventCount());
        deliver(false);
    }
    return !m_session.stopRequested();
}

} // namespace korvex
