// Drives a QProgressDialog from a byte count without letting it dominate the
// work: the value is shown and events are processed only every few tens of
// milliseconds, which is also how quickly Cancel is honoured.
#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>

class ProgressPump
{
public:
    // Sets the dialog's range to `totalBytes`, scaled down to fit an int.
    ProgressPump(QProgressDialog &dialog, qint64 totalBytes, int intervalMs = 30);

    // A TransferProgress: false once the user has pressed Cancel.
    bool operator()(qint64 bytesDone);

    // The dialog value that stands for `bytes`.
    int scaled(qint64 bytes) const;

private:
    // The clock is read at most once per this many bytes.
    static constexpr qint64 kCheckStep = 64 * 1024;

    QProgressDialog &m_dialog;
    int m_shift = 0;
    int m_intervalMs;
    qint64 m_nextCheck = 0;
    bool m_pumped = false;
    QElapsedTimer m_clock;
};
