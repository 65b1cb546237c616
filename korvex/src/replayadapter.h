// An adapter that plays a recorded capture file through the decoder, at the
// pace it was recorded (KORVEX_REPLAY_SPEED=max: flat out). Channels named SDA
// and SCL in the file are used, otherwise the chosen channel pair. When the
// file ends the capture stays quiet until it is stopped.
#pragma once

#include "busadapter.h"
#include "capturefile.h"

#include <memory>

namespace korvex {

class ReplayAdapter final : public BusAdapter
{
public:
    explicit ReplayAdapter(std::string path) : m_path(std::move(path)) {}
    ~ReplayAdapter() override { stopForDestruction(); }

    // The file's path and what it holds (cached on first use).
    std::string description() override;
    std::string key() const override { return "replay:" + m_path; }

protected:
    bool doOpen() override;
    bool prepare(const CaptureRequest &request) override;
    void run(CaptureSession &session, const CaptureRequest &request) override;

private:
    const std::string m_path;
    std::string m_description; // cached on first use

    // Set up by prepare() on the caller's thread, then used by run() alone.
    std::unique_ptr<CaptureFile> m_file;
    unsigned m_sda = 0, m_scl = 1;
    bool m_realTime = true;
};

} // namespace korvex
