#include "progresspump.h"

#include <QCoreApplication>

#include <climits>

ProgressPump::ProgressPump(QProgressDialog &dialog, qint64 totalBytes, int intervalMs)
    : dialog(dialog), intervalMs(intervalMs)
{
    totalBytes = qMax<qint64>(totalBytes, 0);
    while ((totalBytes >> shift) > INT_MAX)
        ++shift;
    dialog.setRange(0, int(totalBytes >> shift));
}

int ProgressPump::scaled(qint64 bytes) const
{
    return int(qBound<qint64>(0, bytes >> shift, dialog.maximum()));
}

bool ProgressPump::operator()(qint64 bytesDone)
{
    if (bytesDone < nextCheck)
        return true;
    nextCheck = bytesDone + checkStep;
    if (pumped && clock.elapsed() < intervalMs)
        return true;
    pumped = true;
    clock.start();
    dialog.setValue(scaled(bytesDone));
    // Until the dialog shows, it does not block the main window, so user input
    // waits; timers and painting (the dialog's own delayed show) still run.
    QCoreApplication::processEvents(dialog.isVisible() ? QEventLoop::AllEvents
                                                       : QEventLoop::ExcludeUserInputEvents);
    return !dialog.wasCanceled();
}
