// One adapter of the library: something that can be opened and that captures
// an I2C bus on a thread of its own, delivering events to a callback.
#pragma once

#include "capturesession.h"

#include <korvex/korvex.h>
#include <korvex/korvexhealth.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace korvex {

// Bus health as enableBusHealth set it: off while the callback is null.
struct HealthRequest
{
    KorvexHealthOptions options{};
    KorvexFindingCallback callback = nullptr;
    void *userData = nullptr;
};

struct CaptureRequest
{
    int32_t index = 0;       // the adapter's index, passed to the callback
    int32_t channelPair = 0; // 0..3
    int32_t sampleRate = 0;  // Hz, > 0
    HealthRequest health;    // copied at start
};

class BusAdapter
{
public:
    virtual ~BusAdapter();
    BusAdapter(const BusAdapter &) = delete;
    BusAdapter &operator=(const BusAdapter &) = delete;

    // Identifies the adapter across scans (the same key is the same adapter).
    virtual std::string key() const = 0;
    // One line for people.
    virtual std::string description() = 0;

    // Opens the adapter; true when it can capture. Opening twice is fine.
    bool open();
    bool isOpen() const { return m_open.load(); }

    // What start() returns, and startI2CCapture passes on to its caller.
    enum StartResult : int32_t {
        Started = 0,          // the callback runs from now until stop()
        NoSuchAdapter = 1,    // the index is out of range (only the registry knows)
        AlreadyCapturing = 2, // a capture runs, or start() was called from its callback
        NotOpen = 3,          // open() has not succeeded
        NoCallback = 4,       // the callback is null
        BadChannelPair = 5,   // the channel pair is not 0..3
        BadSampleRate = 6,    // the sample rate is not positive
        Refused = 7,          // prepare() refused the request (rate, file, channels, device)
        NoThread = 8,         // the capture thread could not be created
        FailedToStart = 9,    // run() returned before the capture began
    };

    // Starts a capture. Failures are logged.
    StartResult start(const CaptureRequest &request, I2CCaptureCallback callback);

    // Stops the capture and joins its thread: no callback runs after it
    // returns. Harmless when idle. Called from inside the callback it only
    // asks for the stop, since a thread cannot join itself.
    void stop();

    // Bus health for the captures started from now on. Refused (false, after
    // logging why) while a capture runs or from inside its callback.
    bool setHealth(const HealthRequest &health);

    // The mode the current or last capture judges timing by (KORVEX_HEALTH_MODE_*).
    int32_t healthMode() const { return m_healthMode.load(); }

    // From a successful start until stop.
    bool capturing() const { return m_capturing.load(); }

    // How the capture stands, as captureState() of the C interface reports it.
    enum class CaptureState : int32_t { Idle = 0, Running = 1, Finished = 2, Failed = 3 };
    // A running capture whose source ended by itself is Finished (or Failed,
    // when an error ended it), with the reason in *why.
    CaptureState captureState(std::string *why);

protected:
    BusAdapter() = default;

    // Caller's thread, under the adapter's lock.
    virtual bool doOpen() = 0;
    // Caller's thread, before the capture thread exists: checks the request
    // and gets ready. False (after logging why) refuses the start.
    virtual bool prepare(const CaptureRequest &request) = 0;
    // Capture thread: calls session.started() once capturing, then delivers
    // until session.stopRequested(). Returning before started() is a failed start.
    virtual void run(CaptureSession &session, const CaptureRequest &request) = 0;
    // Stopping thread, before the join: wakes a run() that waits elsewhere
    // than in session.waitUntil().
    virtual void interrupt() {}

    // Final classes call this first in their destructors, so that run() never
    // outlives the members it uses.
    void stopForDestruction() { stop(); }

private:
    void joinThread();

    std::mutex m_control; // serialises open/start/stop
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_capturing{false};
    // Set by the capture thread as it begins and cleared after the join;
    // start()/stop() compare it to recognise a call from inside the callback.
    std::atomic<std::thread::id> m_threadId{};
    HealthRequest m_health; // guarded by m_control
    // Written by the capture thread (through its session), read by any: a lone
    // int needs no lock.
    std::atomic<int32_t> m_healthMode{KORVEX_HEALTH_MODE_AUTO};
    std::unique_ptr<CaptureSession> m_session;
    std::thread m_thread;
};

} // namespace korvex
