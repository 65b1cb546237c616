// A GLib main context of the calling thread's own, for the span of one
// libsigrok session: libsigrok runs a session in the thread-default main
// context, which must never be the GUI toolkit's global one.
#pragma once

#include <glib.h>

namespace korvex {

class ThreadMainContext
{
public:
    ThreadMainContext() : m_context(g_main_context_new())
    {
        g_main_context_push_thread_default(m_context);
    }
    ~ThreadMainContext()
    {
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }
    GMainContext *get() const { return m_context; }

    ThreadMainContext(const ThreadMainContext &) = delete;
    ThreadMainContext &operator=(const ThreadMainContext &) = delete;

private:
    GMainContext *m_context;
};

} // namespace korvex
