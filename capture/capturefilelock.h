// Keeps one process at a time to a working directory's capture file: a lock
// file beside it ("<capture file>.lock"), held while the process owns the
// capture file. A lock left by a process that no longer runs is taken over.
#pragma once

#include <QLockFile>
#include <QString>

class CaptureFileLock
{
public:
    explicit CaptureFileLock(const QString &captureFile);
    ~CaptureFileLock();
    CaptureFileLock(const CaptureFileLock &) = delete;
    CaptureFileLock &operator=(const CaptureFileLock &) = delete;

    // False only when another running process holds the lock; a lock that
    // cannot be written at all (a read-only directory) does not refuse, as the
    // capture file cannot be created there either and says so itself.
    bool tryLock();

    // After a refused tryLock: the process id of the holder, 0 when unknown.
    qint64 holderPid() const { return m_holderPid; }

private:
    QLockFile m_lock;
    qint64 m_holderPid = 0;
};
