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
    static constexpr qint64 checkStep = 64 * 1024;

    QProgressDialog &dialog;
    int shift = 0;
    int intervalMs;
    qint64 nextCheck = 0;
    bool pumped = false;
    QElapsedTimer clock;
};
