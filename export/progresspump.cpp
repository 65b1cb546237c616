#include "export/progresspump.h"

#include <QCoreApplication>

#include <climits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Some of the toolkit's drawing code leaves the upper halves of the AVX
// registers dirty; until they are cleared every SSE instruction of the work
// that follows pays a transition cost on many x86 cores (Open ran at half
// speed behind its progress dialog).
#if defined(__x86_64__)
__attribute__((target("avx"))) void clearUpperVectorState()
{
    _mm256_zeroupper();
}
const bool kHasAvx = __builtin_cpu_supports("avx");
#endif

} // namespace

ProgressPump::ProgressPump(QProgressDialog &dialog, qint64 totalBytes, int intervalMs)
    : m_dialog(dialog), m_intervalMs(intervalMs)
{
    totalBytes = qMax<qint64>(totalBytes, 0);
    while ((totalBytes >> m_shift) > INT_MAX)
        ++m_shift;
    m_dialog.setRange(0, int(totalBytes >> m_shift));
}

int ProgressPump::scaled(qint64 bytes) const
{
    return int(qBound<qint64>(0, bytes >> m_shift, m_dialog.maximum()));
}

bool ProgressPump::operator()(qint64 bytesDone)
{
    if (bytesDone < m_nextCheck)
        return true;
    m_nextCheck = bytesDone + kCheckStep;
    if (m_pumped && m_clock.elapsed() < m_intervalMs)
        return true;
    m_pumped = true;
    m_clock.start();
    m_dialog.setValue(scaled(bytesDone));
    // Until the dialog shows, it does not block the main window, so user input
    // waits; timers and painting (the dialog's own delayed show) still run.
    QCoreApplication::processEvents(m_dialog.isVisible() ? QEventLoop::AllEvents
                                                         : QEventLoop::ExcludeUserInputEvents);
#if defined(__x86_64__)
    if (kHasAvx)
        clearUpperVectorState();
#endif
    return !m_dialog.wasCanceled();
}
