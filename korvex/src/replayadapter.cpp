#include "replayadapter.h"

#include "capturedecoding.h"
#include "korvexenv.h"
#include "korvexlog.h"
#include "pacedelivery.h"

#include <cstdio>

namespace korvex {

namespace {

std::string rateText(uint64_t rate)
{
    char text[32];
    if (rate >= 1000000)
        std::snprintf(text, sizeof text, "%g MHz", rate / 1e6);
    else if (rate >= 1000)
        std::snprintf(text, sizeof text, "%g kHz", rate / 1e3);
    else
        std::snprintf(text, sizeof text, "%llu Hz", static_cast<unsigned long long>(rate));
    return text;
}

} // namespace

std::string ReplayAdapter::description()
{
    if (!m_description.empty())
        return m_description;
    CaptureFile file;
    std::string error;
    if (!file.open(m_path, &error))
        return "Replay: " + m_path + " (unreadable)";
    const std::string rate = file.sampleRate() ? rateText(file.sampleRate()) : "no sample rate";
    m_description = "Replay: " + m_path + " (" + rate + ", " +
                    std::to_string(file.logicChannels().size()) + " channels)";
    return m_description;
}

bool ReplayAdapter::doOpen()
{
    CaptureFile file;
    std::string error;
    if (!file.open(m_path, &error)) {
        logf("cannot replay %s", error.c_str());
        return false;
    }
    if (file.sampleRate() == 0) {
        logf("cannot replay %s: the capture has no sample rate", m_path.c_str());
        return false;
    }
    if (file.logicChannels().size() < 2) {
        logf("cannot replay %s: the capture has fewer than two logic channels", m_path.c_str());
        return false;
    }
    // Corrupt data is refused here rather than found mid-capture.
    if (!file.verify(&error)) {
        logf("cannot replay %s", error.c_str());
        return false;
    }
    return true;
}

bool ReplayAdapter::prepare(const CaptureRequest &request)
{
    auto file = std::make_unique<CaptureFile>();
    std::string error;
    if (!file->open(m_path, &error)) {
        logf("adapter %d: cannot replay %s", request.index, error.c_str());
        return false;
    }
    if (file->sampleRate() == 0) {
        logf("adapter %d: cannot replay %s: the capture has no sample rate", request.index,
             m_path.c_str());
        return false;
    }
    if (!chooseI2CChannels(*file, request.channelPair, m_sda, m_scl, &error)) {
        logf("adapter %d: cannot replay %s", request.index, error.c_str());
        return false;
    }
    if (file->sampleRate() != static_cast<uint64_t>(request.sampleRate))
        logf("adapter %d: %s plays at its recorded sample rate %s, not %d Hz", request.index,
             m_path.c_str(), rateText(file->sampleRate()).c_str(), request.sampleRate);
    if (!file->unreadMembers().empty())
        logf("adapter %d: warning: %s: %s", request.index, m_path.c_str(),
             file->unreadMembers().c_str());
    m_realTime = replayRealTime();
    m_file = std::move(file);
    return true;
}

void ReplayAdapter::run(CaptureSession &session, const CaptureRequest &request)
{
    std::unique_ptr<CaptureFile> file = std::move(m_file);
    I2CDecoder decoder;
    I2CDecoderConfig config;
    config.sdaChannel = m_sda;
    config.sclChannel = m_scl;
    config.sampleRate = file->sampleRate();
    config = PaceDelivery::withHealth(config, request.health);
    std::string error;
    PaceDelivery pace(session, decoder, m_realTime, request.health);
    session.started();

    const bool read = readConfigured(
        *file, decoder, config,
        [&pace](const uint8_t *data, size_t bytes) { return pace.feed(data, bytes); }, &error,
        &error);
    pace.finish();
    if (session.stopRequested())
        return;
    // The samples after a missing member are lost: the replay says so as it ends.
    if (read && error.empty() && !file->unreadMembers().empty())
        error = file->unreadMembers();
    const bool failed = !read || !error.empty();
    if (failed)
        logf("adapter %d: replay of %s failed: %s", request.index, m_path.c_str(), error.c_str());
    else
        logf("adapter %d: replay of %s finished", request.index, m_path.c_str());
    session.ended(lastThreadLogLine(), failed);
    // The capture lasts until stop, even with nothing more to deliver.
    while (session.waitUntil(CaptureSession::Clock::now() + std::chrono::hours(1))) {
    }
}

} // namespace korvex
