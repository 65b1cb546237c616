#include "tools/decodecommand.h"

#include "device/profileassignment.h"
#include "korvex/src/capturedecoding.h"
#include "tools/eventformats.h"
#include "tools/outputfile.h"
#include "tools/storedlineformats.h"

#include <glib.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <memory>
#include <new>

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

bool openForOptions(const DecodeOptions &options, CaptureFile &file, I2CDecoderConfig &config,
                    std::string *error)
{
    if (!file.open(options.capture, error))
        return false;
    if (file.sampleRate() == 0 && options.format != "events" && options.format != "health") {
        // Every timestamp would be zero (events print sample numbers, so they
        // still make sense); the replay adapter refuses such a file too.
        if (error)
            *error = options.capture + ": the capture has no sample rate";
        return false;
    }
    if (!file.unreadMembers().empty()) {
        if (error)
            *error = options.capture + ": " + file.unreadMembers();
        return false;
    }
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
    return true;
}

namespace {

int decodeCommand(int argc, const char *const *argv, std::ostream &out, int outFd,
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
    auto failed = [&err, &error] {
        err << "korvex-decode: " << error << "\n";
        return 1;
    };
    // The device profiles: the shipped ones, then --profiles folders. A file
    // that fails to load is told and left out; a --device naming no profile
    // there is an error. The transactions format's last column, decoded,
    // decodes with these choices.
    ProfileLibrary profiles;
    ProfileAssignment assignment(&profiles);
    const bool transactions = options.format == "transactions";
    if (transactions || !options.devices.empty() || !options.profileDirs.empty()) {
        profiles.addDirectory(ProfileLibrary::shippedDirectory());
        for (const std::string &dir : options.profileDirs)
            profiles.addDirectory(QString::fromStdString(dir));
        for (const ProfileLibrary::Failure &f : profiles.failures())
            err << "korvex-decode: " << f.file.toStdString() << ": " << f.reason.toStdString()
                << "\n";
        for (const auto &[address, id] : options.devices) {
            if (!id.empty() && !profiles.find(id)) {
                error = "no device profile '" + id + "'";
                return failed();
            }
            assignment.choose(address, id);
        }
    }
    CaptureFile file;
    I2CDecoderConfig config;
    if (!openForOptions(options, file, config, &error))
        return failed();
    OutputFile output;
    if (options.output.empty()) {
        out.flush();
        output.useDescriptor(outFd);
    } else if (sameExistingFile(options.output, options.capture)) {
        // It would be read while it is replaced (or replaced once read).
        error = "--output=" + options.output + " is the capture itself; nothing was written";
        return failed();
    } else if (!output.open(options.output, &error)) {
        return failed();
    }
    const std::unique_ptr<FormatWriter> writer = transactions
                                                     ? makeTransactionWriter(output, &assignment)
                                                     : makeFormatWriter(options.format, output);
    bool written = true;
    auto takeEvents = [&writer, &written](const I2CEvent *events, const uint64_t *samples,
                                          size_t count) {
        return written = writer->write(events, samples, count);
    };
    bool decoded = false;
    if (options.format == "health") {
        HealthConfig health;
        health.mode = options.mode;
        health.pec = options.pec;
        decoded = decodeCaptureHealth(
            file, config, health, takeEvents,
            [&writer, &written](const KorvexFinding *findings, size_t count) {
                return written = writer->writeFindings(findings, count);
            },
            nullptr, &error);
    } else {
        decoded = decodeCaptureStream(file, config, takeEvents, nullptr, &error);
    }
    // A capture found damaged leaves the earlier output file as it was.
    if (!decoded)
        return failed();
    if (!written || !writer->finish()) {
        error = writer->errorString();
        return failed();
    }
    if (!output.commit(&error))
        return failed();
    return 0;
}

void writeAll(int fd, const char *text)
{
    for (size_t left = std::strlen(text); left > 0;) {
        const ssize_t n = ::write(fd, text, left);
        if (n <= 0)
            return;
        text += n;
        left -= size_t(n);
    }
}

// GLib ends the process on an allocation that fails (libsigrok's sample
// buffers) or another fatal error: the tool says so like every other failure,
// with a message and exit status 1, and leaves no temporary file behind.
void endOnGlibError(const gchar *domain, GLogLevelFlags, const gchar *message, gpointer)
{
    OutputFile::removeTemporaryBeforeExit();
    for (const char *part : {"korvex-decode: ", domain ? domain : "GLib", ": ",
                             message ? message : "fatal error", "\n"})
        writeAll(STDERR_FILENO, part);
    ::_exit(1);
}

} // namespace

int runDecodeCommand(int argc, const char *const *argv, std::ostream &out, int outFd,
                     std::ostream &err)
{
    [[maybe_unused]] static const guint kGlibHandler = g_log_set_handler(
        "GLib", GLogLevelFlags(G_LOG_LEVEL_ERROR | G_LOG_FLAG_FATAL), endOnGlibError, nullptr);
    try {
        return decodeCommand(argc, argv, out, outFd, err);
    } catch (const std::bad_alloc &) {
        err << "korvex-decode: out of memory\n";
    } catch (const std::exception &e) {
        err << "korvex-decode: " << e.what() << "\n";
    }
    return 1;
}

} // namespace korvex
