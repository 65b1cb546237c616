#include "capturedecoding.h"

#include "archivecheck.h"

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

bool decodeCapture(CaptureFile &file, I2CDecoderConfig config, std::vector<I2CEvent> &events,
                   std::vector<uint64_t> *samples, uint64_t *sampleCount, std::string *error)
{
    // The archive check reads the file through a handle of its own, so its
    // reading runs beside the decoding instead of before it.
    ArchiveCheck check;
    if (!check.open(file.path(), error))
        return false;
    std::string damage;
    auto verified =
        std::async(std::launch::async, [&check, &damage] { return check.checkMembers(&damage); });
    config.sampleRate = file.sampleRate();
    I2CDecoder decoder;
    std::string why;
    const bool read = readConfigured(
        file, decoder, config,
        [&](const uint8_t *data, size_t bytes) {
            decoder.feed(data, bytes, events, samples);
            return true;
        },
        &why, error);
    const bool intact = verified.get();
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

} // namespace korvex
