#include "sigrokcontext.h"

#include "korvexlog.h"

#include <libsigrok/libsigrok.h>

#include <cstdarg>
#include <cstdio>

namespace korvex {

namespace {

thread_local std::string t_errors;

// The context being shared; guarded because capture threads and the caller's
// thread may acquire at the same time. At namespace scope, so that both
// outlive the adapter registry.
std::mutex sharedMutex;
std::weak_ptr<SigrokContext> shared;

int routeLog(void *, int level, const char *format, va_list args)
{
    if (level > SR_LOG_WARN)
        return SR_OK;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    try {
        if (level <= SR_LOG_ERR) {
            if (!t_errors.empty())
                t_errors += "; ";
            t_errors += text;
        }
        logf("libsigrok: %s", text);
    } catch (...) {
        // Out of memory: the message is lost; no exception crosses libsigrok.
    }
    return SR_OK;
}

} // namespace

std::string SigrokContext::takeThreadErrors()
{
    std::string errors;
    errors.swap(t_errors);
    return errors;
}

std::shared_ptr<SigrokContext> SigrokContext::acquire()
{
    std::lock_guard<std::mutex> lock(sharedMutex);
    if (auto existing = shared.lock())
        return existing;
    sr_log_callback_set(routeLog, nullptr);
    sr_log_loglevel_set(SR_LOG_WARN);
    sr_context *context = nullptr;
    const int rc = sr_init(&context);
    if (rc != SR_OK) {
        logf("cannot initialise libsigrok: %s", sr_strerror(rc));
        return nullptr;
    }
    // The context is ended however the allocations below fail.
    std::unique_ptr<SigrokContext> owner;
    try {
        owner.reset(new SigrokContext(context));
    } catch (...) {
        sr_exit(context);
        throw;
    }
    std::shared_ptr<SigrokContext> created(std::move(owner));
    shared = created;
    return created;
}

SigrokContext::~SigrokContext()
{
    sr_exit(m_context);
}

} // namespace korvex
