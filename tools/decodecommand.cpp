#include "tools/decodecommand.h"

#include "capturedecoding.h"

namespace korvex {

namespace {

// A channel given as a number is that channel; anything else is a name.
bool resolveChannel(const CaptureFile &file, const std::string &given, unsigned &channel,
                    std::string *error)
{
    const bool number = given.find_first_not_of("0123456789") == std::string::npos;
    if (number && given.size() <= 4) {
        channel = static_cast<unsigned>(std::stoul(given));
        if (hasLogicChannel(file, channel))
            return true;
        if (error)
            *error = file.path() + ": has no logic channel " + given;
        return false;
    }
    const int index = file.channelIndex(given);
    if (index < 0) {
        if (error)
            *error = file.path() + ": has no channel named '" + given + "'";
        return false;
    }
    channel = static_cast<unsigned>(index);
    return true;
}

} // namespace

bool decodeForOptions(const DecodeOptions &options, DecodedCapture &capture, std::string *error)
{
    CaptureFile file;
    if (!file.open(options.capture, error))
        return false;
    if (file.sampleRate() == 0 && options.format != "events") {
        // Every timestamp would be zero (events print sample numbers, so they
        // still make sense); the replay adapter refuses such a file too.
        if (error)
            *error = options.capture + ": the capture has no sample rate";
        return false;
    }
    I2CDecoderConfig config;
    config.assumeIdle = options.assumeIdle;
    if (!options.sda.empty()) {
        if (!resolveChannel(file, options.sda, config.sdaChannel, error) ||
            !resolveChannel(file, options.scl, config.sclChannel, error))
            return false;
        if (config.sdaChannel == config.sclChannel) {
            if (error)
                *error = "SDA and SCL are the same channel";
            return false;
        }
    } else if (options.pair >= 0) {
        // An explicit pair wins over channel names.
        config.sdaChannel = static_cast<unsigned>(2 * options.pair);
        config.sclChannel = config.sdaChannel + 1;
        if (!hasLogicChannel(file, config.sdaChannel) ||
            !hasLogicChannel(file, config.sclChannel)) {
            if (error)
                *error = options.capture + ": has no channels D" +
                         std::to_string(config.sdaChannel) + "/D" +
                         std::to_string(config.sclChannel) +
                         " for --pair=" + std::to_string(options.pair);
            return false;
        }
    } else if (!chooseI2CChannels(file, 0, config.sdaChannel, config.sclChannel, error)) {
        return false;
    }
    capture.path = options.capture;
    capture.sampleRate = file.sampleRate();
    return decodeCapture(file, config, capture.events, &capture.samples, &capture.sampleCount,
                         error);
}

int runDecodeCommand(int argc, const char *const *argv, std::ostream &out, int outFd,
                     std::ostream &err)
{
    DecodeOptions options;
    std::string error;
    if (!parseDecodeOptions(argc, argv, options, &error)) {
        err << "korvex-decode: " << error << "\n" << decodeUsage();
        return 2;
    }
    if (options.help) {
        out << decodeUsage();
        return 0;
    }
    DecodedCapture capture;
    if (!decodeForOptions(options, capture, &error)) {
        err << "korvex-decode: " << error << "\n";
        return 1;
    }
    FormatOutput output;
    output.path = options.output;
    output.stream = &out;
    output.fd = outFd;
    if (!writeEventFormat(options.format, capture, output, &error)) {
        err << "korvex-decode: " << error << "\n";
        return 1;
    }
    return 0;
}

} // namespace korvex
