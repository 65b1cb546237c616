#include "capture/capturefilelock.h"

CaptureFileLock::CaptureFileLock(const QString &captureFile)
    : m_lock(captureFile + QStringLiteral(".lock"))
{
    // Only a dead holder makes a lock stale, however long a capture lasts.
    m_lock.setStaleLockTime(0);
}

CaptureFileLock::~CaptureFileLock() = default;

bool CaptureFileLock::tryLock()
{
    m_holderPid = 0;
    if (m_lock.tryLock(0))
        return true;
    if (m_lock.error() != QLockFile::LockFailedError)
        return true;
    QString host, application;
    m_lock.getLockInfo(&m_holderPid, &host, &application);
    return false;
}
