#include "capturefile.h"

#include "archivecheck.h"

#include "i2cdecoder.h"
#include "sigrokcontext.h"
#include "threadmaincontext.h"

#include <libsigrok/libsigrok.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace korvex {

namespace {

bool sameName(const std::string &a, const char *b)
{
    const size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Beyond these, libsigrok's loader takes quadratic time over the channel list,
// and no sample of the decoder's could hold the channels anyway.
constexpr long kMaxChannels = long(I2CDecoder::kMaxUnitSize) * 8;
constexpr size_t kMaxMetadataBytes = 1 << 20;
// Far beyond any analyzer, and well inside 64 bits.
constexpr double kMaxSampleRate = 1e12;

std::string trimmed(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A whole decimal number in 0..max, else -1.
long boundedCount(const std::string &text, long max)
{
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const long value = std::stol(text);
    return value <= max ? value : -1;
}

// "16 MHz", "4m", "200000": positive and below kMaxSampleRate, else 0.
double parsedRate(const std::string &text)
{
    const char *begin = text.c_str();
    char *end = nullptr;
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return 0;
    double value = std::strtod(begin, &end);
    std::string unit = trimmed(end);
    const char prefix = unit.empty() ? '\0' : static_cast<char>(std::tolower(unit[0]));
    if (prefix == 'k' || prefix == 'm' || prefix == 'g') {
        value *= prefix == 'k' ? 1e3 : prefix == 'm' ? 1e6 : 1e9;
        unit.erase(0, 1);
    }
    if (!unit.empty() && !sameName(unit, "hz"))
        return 0;
    return value > 0 && value < kMaxSampleRate ? value : 0;
}

// Refuses what libsigrok would load too slowly or read wrongly: channel
// counts beyond any sample, unit sizes that do not fit its 16-bit field, and
// sample rates that are zero, negative or overflow.
// Also collects the names of the devices' sample members (capturefile=...).
bool checkMetadata(const std::string &metadata, std::string *why,
                   std::vector<std::string> &captureFiles)
{
    size_t at = 0;
    while (at < metadata.size()) {
        size_t end = metadata.find('\n', at);
        if (end == std::string::npos)
            end = metadata.size();
        const std::string line = metadata.substr(at, end - at);
        at = end + 1;
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = trimmed(line.substr(0, equals));
        const std::string value = trimmed(line.substr(equals + 1));
        if ((key == "total probes" || key == "total analog") &&
            boundedCount(value, kMaxChannels) < 0) {
            *why =
                "bad channel count '" + value + "' (at most " + std::to_string(kMaxChannels) + ")";
            return false;
        }
        if (key == "unitsize" && boundedCount(value, I2CDecoder::kMaxUnitSize) < 1) {
            *why = "corrupt capture data (bad unit size " + value + ")";
            return false;
        }
        if (key == "capturefile" && !value.empty())
            captureFiles.push_back(value);
        if (key == "samplerate" && parsedRate(value) <= 0) {
            *why = "bad sample rate '" + value + "'";
            return false;
        }
    }
    return true;
}

} // namespace

CaptureFile::CaptureFile() = default;

CaptureFile::~CaptureFile()
{
    close();
}

void CaptureFile::destroySession(sr_session *session)
{
    // Loading opened the file's virtual devices; closing frees their state.
    GSList *devices = nullptr;
    if (sr_session_dev_list(session, &devices) == SR_OK) {
        for (GSList *l = devices; l; l = l->next)
            sr_dev_close(static_cast<sr_dev_inst *>(l->data));
    }
    g_slist_free(devices);
    sr_session_destroy(session);
}

void CaptureFile::close()
{
    if (m_session) {
        std::lock_guard<std::mutex> lock(m_sigrok->mutex());
        destroySession(m_session);
        m_session = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_unreadMembers.clear();
    m_channels.clear();
    m_sampleRate = 0;
    m_unitSize = 0;
    m_used = false;
}

bool CaptureFile::open(const std::string &path, std::string *error)
{
    close();
    m_path = path;
    auto fail = [&](const std::string &why) {
        if (error)
            *error = path + ": " + why;
        close();
        return false;
    };
    // Opened once and checked on the descriptor: a FIFO does not block, and
    // the file checked is the file loaded.
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info;
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0)
        return fail(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return fail("not a regular file");
    if (info.st_size == 0)
        return fail("empty file");
    {
        // The description is checked before libsigrok loads it.
        ArchiveCheck archive;
        std::string metadata, why;
        std::vector<std::string> captureFiles;
        if (archive.open(path, nullptr) &&
            !archive.readMember("metadata", kMaxMetadataBytes, &metadata, &why) && !why.empty()) {
            if (error)
                *error = why;
            close();
            return false;
        }
        if (!checkMetadata(metadata, &why, captureFiles))
            return fail(why);
        m_unreadMembers = archive.membersAfterGap(captureFiles);
    }
    if (!m_sigrok)
        m_sigrok = SigrokContext::acquire();
    if (!m_sigrok)
        return fail("libsigrok is not available");

    std::unique_lock<std::mutex> lock(m_sigrok->mutex());
    // close() takes the lock itself.
    auto failLocked = [&](const std::string &why) {
        lock.unlock();
        return fail(why);
    };
    SigrokContext::takeThreadErrors();
    m_session = nullptr;
    // libsigrok keeps the name as UTF-8 text and refuses any other; the
    // descriptor's name in /proc is plain ASCII and reaches the same file.
    const std::string loadName =
        g_utf8_validate(path.c_str(), -1, nullptr) ? path : "/proc/self/fd/" + std::to_string(m_fd);
    const int rc = sr_session_load(m_sigrok->context(), loadName.c_str(), &m_session);
    if (rc != SR_OK) {
        // A load that fails after it made its session (a malformed device
        // section) leaves the session to the caller.
        if (m_session)
            destroySession(m_session);
        m_session = nullptr;
        const std::string details = SigrokContext::takeThreadErrors();
        return failLocked(std::string("not a readable sigrok session file (") + sr_strerror(rc) +
                          (details.empty() ? "" : ": " + details) + ")");
    }
    GSList *devices = nullptr;
    if (sr_session_dev_list(m_session, &devices) != SR_OK || !devices) {
        g_slist_free(devices);
        return failLocked("the session holds no device");
    }
    auto *device = static_cast<sr_dev_inst *>(devices->data);
    g_slist_free(devices);

    int highest = -1;
    for (GSList *l = sr_dev_inst_channels_get(device); l; l = l->next) {
        const auto *channel = static_cast<const sr_channel *>(l->data);
        if (channel->type != SR_CHANNEL_LOGIC)
            continue;
        m_channels.push_back({channel->index, channel->name ? channel->name : ""});
        highest = std::max(highest, channel->index);
    }
    m_unitSize = highest < 0 ? 0 : static_cast<unsigned>(highest / 8 + 1);

    GVariant *value = nullptr;
    if (sr_config_get(sr_dev_inst_driver_get(device), device, nullptr, SR_CONF_SAMPLERATE,
                      &value) == SR_OK &&
        value) {
        m_sampleRate = g_variant_get_uint64(value);
        g_variant_unref(value);
    }
    return true;
}

bool CaptureFile::verify(std::string *error) const
{
    ArchiveCheck check;
    return check.open(m_path, error) && check.checkMembers(error);
}

int CaptureFile::channelIndex(const std::string &name) const
{
    for (const CaptureChannel &c : m_channels) {
        if (sameName(c.name, name.c_str()))
            return c.index;
    }
    return -1;
}

bool CaptureFile::read(const Sink &sink, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = m_path + ": " + why;
        return false;
    };
    if (!m_session)
        return fail("not open");
    if (m_used)
        return fail("already read");
    m_used = true;
    m_sink = &sink;
    m_dataUnitSize = 0;
    m_readError.clear();
    m_sinkStopped = false;

    // The session runs here, in a main context of this thread's own.
    ThreadMainContext mainContext;
    SigrokContext::takeThreadErrors();
    int rc = sr_session_datafeed_callback_add(m_session, &CaptureFile::onPacket, this);
    if (rc == SR_OK)
        rc = sr_session_start(m_session);
    if (rc == SR_OK)
        rc = sr_session_run(m_session);
    m_sink = nullptr;
    const std::string logged = SigrokContext::takeThreadErrors();
    if (m_sinkException)
        std::rethrow_exception(std::exchange(m_sinkException, nullptr));
    if (!m_readError.empty())
        return fail(m_readError);
    if (rc != SR_OK)
        return fail(std::string("cannot read the samples (") + sr_strerror(rc) + ")");
    if (!logged.empty() && !m_sinkStopped)
        return fail("corrupt capture data (" + logged + ")");
    return true;
}

void CaptureFile::onPacket(const sr_dev_inst *, const sr_datafeed_packet *packet, void *self)
{
    auto *file = static_cast<CaptureFile *>(self);
    if (!file->m_sink || file->m_sinkStopped || !file->m_readError.empty())
        return;
    auto stop = [file] { sr_session_stop(file->m_session); };
    switch (packet->type) {
    case SR_DF_META: {
        const auto *meta = static_cast<const sr_datafeed_meta *>(packet->payload);
        for (GSList *l = meta ? meta->config : nullptr; l; l = l->next) {
            const auto *config = static_cast<const sr_config *>(l->data);
            if (config->key == SR_CONF_SAMPLERATE && config->data)
                file->m_sampleRate = g_variant_get_uint64(config->data);
        }
        break;
    }
    case SR_DF_LOGIC: {
        const auto *logic = static_cast<const sr_datafeed_logic *>(packet->payload);
        if (!logic || logic->length == 0)
            break;
        if (!logic->data || logic->unitsize == 0 || logic->unitsize > I2CDecoder::kMaxUnitSize ||
            (file->m_dataUnitSize != 0 && logic->unitsize != file->m_dataUnitSize)) {
            file->m_readError =
                "corrupt capture data (bad unit size " + std::to_string(logic->unitsize) + ")";
            stop();
            break;
        }
        file->m_dataUnitSize = logic->unitsize;
        bool more = false;
        try {
            more = (*file->m_sink)(static_cast<const uint8_t *>(logic->data),
                                   static_cast<size_t>(logic->length), logic->unitsize);
        } catch (...) {
            // No exception may unwind through libsigrok's C frames.
            file->m_sinkException = std::current_exception();
        }
        if (!more) {
            file->m_sinkStopped = true;
            stop();
        }
        break;
    }
    default:
        break;
    }
}

} // namespace korvex
