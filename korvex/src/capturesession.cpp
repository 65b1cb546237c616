#include "capturesession.h"

#include <algorithm>
#include <climits>

namespace korvex {

void CaptureSession::started()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state == State::Starting)
        m_state = State::Running;
    m_wake.notify_all();
}

void CaptureSession::finished()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state == State::Starting)
        m_state = State::Failed;
    m_wake.notify_all();
}

void CaptureSession::ended(const std::string &why, bool failed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_end != End::None)
        return;
    m_end = failed ? End::Failed : End::Finished;
    m_endReason = why;
}

CaptureSession::End CaptureSession::end(std::string *why)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (why)
        *why = m_endReason;
    return m_end;
}

CaptureSession::State CaptureSession::waitForStart()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait(lock, [this] { return m_state != State::Starting; });
    return m_state;
}

void CaptureSession::requestStop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop.store(true);
    m_wake.notify_all();
}

bool CaptureSession::waitUntil(Clock::time_point due)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_wake.wait_until(lock, due, [this] { return m_stop.load(); });
}

void CaptureSession::deliver(const I2CEvent *events, size_t count)
{
    while (count > 0) {
        const size_t n = std::min<size_t>(count, INT32_MAX);
        m_callback(m_index, m_sequence, events, static_cast<int32_t>(n));
        // The sequence number wraps, as the interface says.
        m_sequence = static_cast<int32_t>(static_cast<uint32_t>(m_sequence) + 1u);
        events += n;
        count -= n;
    }
}

void CaptureSession::deliverFindings(const KorvexFinding *findings, size_t count)
{
    while (m_findingCallback && count > 0) {
        const size_t n = std::min<size_t>(count, INT32_MAX);
        m_findingCallback(m_index, findings, static_cast<int32_t>(n), m_findingData);
        findings += n;
        count -= n;
    }
}

} // namespace korvex
