#include "busadapter.h"

#include "korvexlog.h"

#include <exception>

namespace korvex {

BusAdapter::~BusAdapter()
{
    // Derived classes have stopped already; this only catches a forgotten one.
    stop();
}

bool BusAdapter::open()
{
    std::lock_guard<std::mutex> lock(m_control);
    if (m_open.load())
        return true;
    if (!doOpen())
        return false;
    m_open.store(true);
    return true;
}

bool BusAdapter::setHealth(const HealthRequest &health)
{
    if (std::this_thread::get_id() == m_threadId.load()) {
        logf("enableBusHealth: called from the capture's own callback; stop the capture first");
        return false;
    }
    std::lock_guard<std::mutex> lock(m_control);
    if (m_capturing.load()) {
        logf("enableBusHealth: the adapter is capturing; stop it first");
        return false;
    }
    m_health = health;
    return true;
}

BusAdapter::StartResult BusAdapter::start(const CaptureRequest &asked, I2CCaptureCallback callback)
{
    CaptureRequest request = asked;
    if (std::this_thread::get_id() == m_threadId.load()) {
        logf("adapter %d: start called from its own callback: already capturing", request.index);
        return AlreadyCapturing;
    }
    std::lock_guard<std::mutex> lock(m_control);
    if (m_capturing.load()) {
        logf("adapter %d is already capturing; stop it first", request.index);
        return AlreadyCapturing;
    }
    if (!m_open.load()) {
        logf("adapter %d is not open; call openAdapter first", request.index);
        return NotOpen;
    }
    if (!callback) {
        logf("adapter %d: no callback given", request.index);
        return NoCallback;
    }
    if (request.channelPair < 0 || request.channelPair > 3) {
        logf("adapter %d: channel pair %d is not 0..3", request.index, request.channelPair);
        return BadChannelPair;
    }
    if (request.sampleRate <= 0) {
        logf("adapter %d: sample rate %d Hz is not positive", request.index, request.sampleRate);
        return BadSampleRate;
    }
    joinThread(); // a capture stopped from inside its callback leaves its thread to join
    if (!prepare(request))
        return Refused;
    request.health = m_health;
    m_healthMode.store(request.health.callback ? request.health.options.mode
                                               : KORVEX_HEALTH_MODE_AUTO);

    m_session = std::make_unique<CaptureSession>(request.index, callback);
    m_session->setHealth(request.health.callback, request.health.userData, &m_healthMode);
    CaptureSession *session = m_session.get();
    try {
        m_thread = std::thread([this, session, request] {
            // Set before any callback can run, so a stop() from inside the
            // callback is recognised.
            m_threadId.store(std::this_thread::get_id());
            try {
                run(*session, request);
            } catch (const std::exception &e) {
                logf("adapter %d: capture ended by an error: %s", request.index, e.what());
            } catch (...) {
                logf("adapter %d: capture ended by an unknown error", request.index);
            }
            // A run() that returns unasked has failed, before or after it began:
            // its last log line says why, for the caller.
            if (!session->stopRequested())
                session->ended(lastThreadLogLine(), true);
            session->finished();
        });
    } catch (const std::exception &e) {
        logf("adapter %d: cannot start the capture thread: %s", request.index, e.what());
        m_session.reset();
        return NoThread;
    }
    if (session->waitForStart() != CaptureSession::State::Running) {
        std::string why;
        session->end(&why);
        joinThread();
        // Logged again on this thread, where the caller asks for the reason.
        logf("adapter %d: the capture did not start: %s", request.index,
             why.empty() ? "no reason given" : why.c_str());
        return FailedToStart;
    }
    m_capturing.store(true);
    return Started;
}

void BusAdapter::stop()
{
    if (std::this_thread::get_id() == m_threadId.load()) {
        // From inside the callback: the thread ends after the call returns,
        // and the next start() or stop() joins it.
        if (m_session)
            m_session->requestStop();
        m_capturing.store(false);
        return;
    }
    std::lock_guard<std::mutex> lock(m_control);
    joinThread();
    m_capturing.store(false);
}

BusAdapter::CaptureState BusAdapter::captureState(std::string *why)
{
    std::lock_guard<std::mutex> lock(m_control);
    if (!m_capturing.load() || !m_session)
        return CaptureState::Idle;
    switch (m_session->end(why)) {
    case CaptureSession::End::Finished:
        return CaptureState::Finished;
    case CaptureSession::End::Failed:
        return CaptureState::Failed;
    case CaptureSession::End::None:
        break;
    }
    return CaptureState::Running;
}

void BusAdapter::joinThread()
{
    if (!m_thread.joinable())
        return;
    m_session->requestStop();
    interrupt();
    m_thread.join();
    m_threadId.store(std::thread::id());
    m_session.reset();
}

} // namespace korvex
