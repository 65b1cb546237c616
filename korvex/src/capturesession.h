// What a capture thread sees of its capture: the stop request, a wait that a
// stop cuts short, and the delivery of event batches to the callback.
#pragma once

#include <korvex/korvex.h>
#include <korvex/korvexhealth.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

namespace korvex {

class CaptureSession
{
public:
    using Clock = std::chrono::steady_clock;

    CaptureSession(int32_t index, I2CCaptureCallback callback)
        : m_index(index), m_callback(callback)
    {
    }

    // Capture thread: tells the starting thread that the capture runs (the
    // callback may be called from now on). A thread that returns without
    // calling it has failed to start.
    void started();

    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

    // Sleeps until `due`; false (at once) when a stop is requested.
    bool waitUntil(Clock::time_point due);

    // Capture thread: the source has nothing more to deliver (a replay at its
    // end, a device that stopped); `failed` when an error ended it. The first
    // call counts.
    void ended(const std::string &why, bool failed);

    // Any thread: whether ended() was called, with its reason.
    enum class End { None, Finished, Failed };
    End end(std::string *why);

    // Calls the callback with the events (in several calls beyond INT32_MAX).
    void deliver(const I2CEvent *events, size_t count);

    // Bus health, set before the capture thread starts: the findings callback
    // (null: health is off) and where the mode judged by is published.
    void setHealth(KorvexFindingCallback callback, void *userData, std::atomic<int32_t> *mode)
    {
        m_findingCallback = callback;
        m_findingData = userData;
        m_modeSink = mode;
    }
    bool healthOn() const { return m_findingCallback != nullptr; }
    // Capture thread: calls the findings callback, serialised with deliver().
    void deliverFindings(const KorvexFinding *findings, size_t count);
    void publishMode(int32_t mode)
    {
        if (m_modeSink)
            m_modeSink->store(mode);
    }

    // Starting thread.
    enum class State { Starting, Running, Failed };
    State waitForStart();
    void requestStop();
    void finished();

private:
    const int32_t m_index;
    const I2CCaptureCallback m_callback;
    int32_t m_sequence = 0; // capture thread only
    KorvexFindingCallback m_findingCallback = nullptr;
    void *m_findingData = nullptr;
    std::atomic<int32_t> *m_modeSink = nullptr; // the adapter's, which outlives the session

    // Read by the capture thread's loops without the lock; the lock and the
    // condition only wake a thread that sleeps in waitUntil().
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    State m_state = State::Starting; // guarded by m_mutex
    End m_end = End::None;           // guarded by m_mutex
    std::string m_endReason;         // guarded by m_mutex
};

} // namespace korvex
