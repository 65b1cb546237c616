// A recorded logic capture (sigrok session file), read through libsigrok:
// its sample rate, its logic channels and a stream of its samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sr_session;
struct sr_dev_inst;
struct sr_datafeed_packet;

namespace korvex {

class SigrokContext;

struct CaptureChannel
{
    int index = 0; // bit of the sample
    std::string name;
};

class CaptureFile
{
public:
    // Receives samples: `bytes` bytes of `unitSize`-byte samples. Returning
    // false stops reading.
    using Sink = std::function<bool(const uint8_t *data, size_t bytes, unsigned unitSize)>;

    CaptureFile();
    ~CaptureFile();
    CaptureFile(const CaptureFile &) = delete;
    CaptureFile &operator=(const CaptureFile &) = delete;

    // Loads the file's description. False, with the reason in *error, for a
    // missing, empty, truncated or otherwise unreadable file.
    bool open(const std::string &path, std::string *error);

    const std::string &path() const { return m_path; }
    // Hz; 0 when the file records none.
    uint64_t sampleRate() const { return m_sampleRate; }
    const std::vector<CaptureChannel> &logicChannels() const { return m_channels; }
    // Bytes per sample as far as the channels tell (the data may say more).
    unsigned unitSize() const { return m_unitSize; }

    // Sample members that the file holds but libsigrok would not read,
    // because a member before them is missing; "" when there are none.
    const std::string &unreadMembers() const { return m_unreadMembers; }

    // The index of the logic channel called `name` (case-insensitive), or -1.
    int channelIndex(const std::string &name) const;

    // Reads the whole archive once and checks every member against its
    // checksum: libsigrok ends a damaged member early without saying so.
    // False, with the reason in *error, for corrupt data.
    bool verify(std::string *error) const;

    // Streams every logic sample to `sink`, in order. Works once per open().
    // False, with the reason in *error, when the data is corrupt; a sink that
    // stops early is not an error. An exception the sink throws stops the
    // reading and is rethrown here, never through libsigrok.
    bool read(const Sink &sink, std::string *error);

private:
    static void onPacket(const sr_dev_inst *device, const sr_datafeed_packet *packet, void *self);
    void close();
    // Closes the session's devices and destroys it; libsigrok's lock held.
    static void destroySession(sr_session *session);

    std::shared_ptr<SigrokContext> m_sigrok;
    sr_session *m_session = nullptr;
    std::string m_path;
    int m_fd = -1; // the opened file, which libsigrok reads by its /proc name
    std::string m_unreadMembers;
    uint64_t m_sampleRate = 0;
    unsigned m_unitSize = 0;
    std::vector<CaptureChannel> m_channels;
    bool m_used = false;

    // State of one read().
    const Sink *m_sink = nullptr;
    unsigned m_dataUnitSize = 0;
    std::string m_readError;
    bool m_sinkStopped = false;
    std::exception_ptr m_sinkException;
};

} // namespace korvex
