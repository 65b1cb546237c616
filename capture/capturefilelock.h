// Keeps one process at a time to a working directory's capture file: a lock
// file beside it ("<capture file>.lock") naming the holder's process, held
// while the process owns the capture file.
//
// The holder keeps an flock() on the lock file, which the system drops when
// the process ends however it ends, so "held" means exactly "some running
// process holds it": a lock that no running process holds (left by a crash,
// empty, garbage) is taken over, whatever it says. The lock file appears
// complete under its name or not at all (written beside it, then renamed), and
// a link, FIFO, device or directory in its place is refused, never followed.
#pragma once

#include <QString>
#include <QtGlobal>

class CaptureFileLock
{
public:
    enum class Status {
        Unlocked,    // tryLock not called yet, or unlock()
        Held,        // by this object
        HeldByOther, // a running process holds it (holderPid(), 0 when its file does not say)
        CannotWrite, // the lock could not be written (errorString(): full disk, read-only folder)
        BadLockFile, // something that is no lock file is in its place (errorString() says what)
    };

    explicit CaptureFileLock(const QString &captureFile);
    ~CaptureFileLock(); // unlocks
    CaptureFileLock(const CaptureFileLock &) = delete;
    CaptureFileLock &operator=(const CaptureFileLock &) = delete;

    // True when the lock is held by this object afterwards (status() Held).
    bool tryLock();
    void unlock();

    Status status() const { return m_status; }
    qint64 holderPid() const { return m_holderPid; }
    QString errorString() const { return m_error; }
    // After taking over a lock no running process held: what was wrong with it.
    QString takenOver() const { return m_takenOver; }
    QString fileName() const { return m_path; }
    // Why the capture file cannot be used, for the user; empty while Held.
    QString message() const;

private:
    Status fail(Status status, const QString &why);
    // Looks at the lock file in place; Held when it was replaced by ours.
    Status takeOverIfStale(const QByteArray &ours, bool *retry);

    QString m_captureFile;
    QString m_path;
    int m_fd = -1; // our lock file, flock()ed while held
    Status m_status = Status::Unlocked;
    qint64 m_holderPid = 0;
    QString m_error;
    QString m_takenOver;
};
