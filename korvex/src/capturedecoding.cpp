#include "capturedecoding.h"

#include "archivecheck.h"

#include <algorithm>
#include <atomic>
#include <future>

namespace korvex {

bool hasLogicChannel(const CaptureFile &file, unsigned index)
{
    for (const CaptureChannel &c : file.logicChannels()) {
        if (c.index >= 0 && static_cast<unsigned>(c.index) == index)
            return true;
    }
    return false;
}

bool chooseI2CChannels(const CaptureFile &file, int pair, unsigned &sda, unsigned &scl,
                       std::string *error)
{
    const int namedSda = file.channelIndex("SDA");
    const int namedScl = file.channelIndex("SCL");
    if (namedSda >= 0 && namedScl >= 0) {
        sda = static_cast<unsigned>(namedSda);
        scl = static_cast<unsigned>(namedScl);
        return true;
    }
    if (pair < 0 || pair > 3) {
        if (error)
            *error = "channel pair " + std::to_string(pair) + " is not 0..3";
        return false;
    }
    sda = static_cast<unsigned>(2 * pair);
    scl = sda + 1;
    if (!hasLogicChannel(file, sda) || !hasLogicChannel(file, scl)) {
        if (error)
            *error = file.path() + ": has no channels D" + std::to_string(sda) + "/D" +
                     std::to_string(scl) + " for channel pair " + std::to_string(pair);
        return false;
    }
    return true;
}

bool readConfigured(CaptureFile &file, I2CDecoder &decoder, I2CDecoderConfig config,
                    const std::function<bool(const uint8_t *, size_t)> &deliver,
                    std::string *configError, std::string *readError)
{
    bool configured = false;
    return file.read(
        [&](const uint8_t *data, size_t bytes, unsigned unitSize) {
            if (!configured) {
                config.unitSize = unitSize;
                if (!decoder.configure(config, configError))
                    return false;
                configured = true;
            }
            return deliver(data, bytes);
        },
        readError);
}

namespace {

// Events decoded but held back until no finding can name them any more.
class HeldEvents
{
public:
    void add(const std::vector<I2CEvent> &events, const std::vector<uint64_t> &samples)
    {
        m_events.insert(m_events.end(), events.begin(), events.end());
        m_samples.insert(m_samples.end(), samples.begin(), samples.end());
    }
    // Hands on the events below index `open` (of `total` decoded so far).
    bool release(uint64_t open, uint64_t total, const EventBatchSink &take)
    {
        const uint64_t first = total - m_events.size();
        const size_t n = open <= first ? 0 : static_cast<size_t>(std::min(open, total) - first);
        if (n == 0)
            return true;
        const bool more = take(m_events.data(), m_samples.data(), n);
        m_events.erase(m_events.begin(), m_events.begin() + static_cast<std::ptrdiff_t>(n));
        m_samples.erase(m_samples.begin(), m_samples.begin() + static_cast<std::ptrdiff_t>(n));
        return more;
    }

private:
    std::vector<I2CEvent> m_events;
    std::vector<uint64_t> m_samples;
};

// Decodes the file, handing each slice's events to `slice`; `end` runs once
// the samples are all read. The archive check runs beside it.
bool decodeSlices(
    CaptureFile &file, I2CDecoder &decoder, I2CDecoderConfig config,
    const std::function<bool(std::vector<I2CEvent> &, std::vector<uint64_t> &)> &slice,
    const std::function<bool(std::vector<I2CEvent> &, std::vector<uint64_t> &)> &end,
    uint64_t *sampleCount, std::string *error)
{
    // The archive check reads the file through a handle of its own, so its
    // reading runs beside the decoding instead of before it.
    ArchiveCheck check;
    if (!check.open(file.path(), error))
        return false;
    std::atomic<bool> stopCheck{false};
    std::string damage;
    auto verified = std::async(std::launch::async, [&check, &damage, &stopCheck] {
        return check.checkMembers(&damage, &stopCheck);
    });
    config.sampleRate = file.sampleRate();
    std::vector<I2CEvent> events;
    std::vector<uint64_t> samples;
    std::string why;
    bool taking = true;
    bool read = false;
    try {
        read = readConfigured(
            file, decoder, config,
            [&](const uint8_t *data, size_t bytes) {
                // libsigrok hands over megabytes at once; a slice's events are few.
                for (size_t at = 0; at < bytes && taking; at += kDecodeSliceBytes) {
                    events.clear();
                    samples.clear();
                    decoder.feed(data + at, std::min(kDecodeSliceBytes, bytes - at), events,
                                 &samples);
                    taking = slice(events, samples);
                }
                return taking;
            },
            &why, error);
        if (read && taking && why.empty()) {
            events.clear();
            samples.clear();
            decoder.flush(events, &samples);
            taking = end(events, samples);
        }
    } catch (...) {
        stopCheck = true;
        verified.wait();
        throw;
    }
    // Output that stopped needs no verdict on the rest of the file.
    if (!taking)
        stopCheck = true;
    const bool intact = verified.get();
    if (!taking)
        return read;
    if (!intact) {
        if (error)
            *error = damage;
        return false;
    }
    if (!why.empty()) {
        if (error)
            *error = file.path() + ": " + why;
        return false;
    }
    if (sampleCount)
        *sampleCount = decoder.samplesSeen();
    return read;
}

} // namespace

bool decodeCaptureStream(CaptureFile &file, I2CDecoderConfig config, const EventBatchSink &take,
                         uint64_t *sampleCount, std::string *error)
{
    I2CDecoder decoder;
    auto hand = [&take](std::vector<I2CEvent> &events, std::vector<uint64_t> &samples) {
        return events.empty() || take(events.data(), samples.data(), events.size());
    };
    return decodeSlices(file, decoder, config, hand, hand, sampleCount, error);
}

bool decodeCaptureHealth(CaptureFile &file, I2CDecoderConfig config, HealthConfig health,
                         const EventBatchSink &take, const FindingBatchSink &findings,
                         int32_t *mode, std::string *error)
{
    health.sampleRate = file.sampleRate();
    HealthChecker checker(health);
    I2CDecoder decoder;
    decoder.setObserver(&checker);
    HeldEvents held;
    std::vector<KorvexFinding> found;
    auto pass = [&](bool atEnd) {
        found.clear();
        checker.take(found);
        if (!found.empty() && !findings(found.data(), found.size()))
            return false;
        const uint64_t total = decoder.eventCount();
        return held.release(atEnd ? total : checker.openEvent(), total, take);
    };
    const bool decoded = decodeSlices(
        file, decoder, config,
        [&](std::vector<I2CEvent> &events, std::vector<uint64_t> &samples) {
            held.add(events, samples);
            checker.advance(decoder.samplesSeen(), decoder.eventCount());
            return pass(false);
        },
        [&](std::vector<I2CEvent> &events, std::vector<uint64_t> &samples) {
            held.add(events, samples);
            checker.finish(decoder.samplesSeen(), decoder.eventCount());
            return pass(true);
        },
        nullptr, error);
    if (mode)
        *mode = checker.mode();
    return decoded;
}

bool decodeCapture(CaptureFile &file, I2CDecoderConfig config, std::vector<I2CEvent> &events,
                   std::vector<uint64_t> *samples, uint64_t *sampleCount, std::string *error)
{
    return decodeCaptureStream(
        file, config,
        [&events, samples](const I2CEvent *batch, const uint64_t *positions, size_t count) {
            events.insert(events.end(), batch, batch + count);
            if (samples)
                samples->insert(samples->end(), positions, positions + count);
            return true;
        },
        sampleCount, error);
}

} // namespace korvex
