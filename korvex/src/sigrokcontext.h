// The process's libsigrok context, shared by capture files and live
// analyzers and released (sr_exit) when the last user lets go.
#pragma once

#include <memory>
#include <mutex>
#include <string>

struct sr_context;

namespace korvex {

class SigrokContext
{
public:
    // The shared context, created on first use; null (logged) when libsigrok
    // cannot be initialised.
    static std::shared_ptr<SigrokContext> acquire();

    ~SigrokContext();
    SigrokContext(const SigrokContext &) = delete;
    SigrokContext &operator=(const SigrokContext &) = delete;

    sr_context *context() const { return m_context; }

    // libsigrok keeps driver and device lists without locks of its own:
    // scanning, opening and configuring devices happen under this mutex.
    std::mutex &mutex() { return m_mutex; }

    // The error lines libsigrok logged on the calling thread since the last
    // call (a session runs on one thread, so its errors land there).
    static std::string takeThreadErrors();

private:
    explicit SigrokContext(sr_context *context) : m_context(context) {}

    sr_context *m_context;
    std::mutex m_mutex;
};

} // namespace korvex
