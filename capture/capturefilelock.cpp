#include "capture/capturefilelock.h"

#include "fileio/regularfile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QSysInfo>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Another starter may be taking over the same stale lock; a few rounds settle it.
constexpr int kAttempts = 5;

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const QByteArray &data)
{
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t w = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = ENOSPC;
            return false;
        }
        done += w;
    }
    return true;
}

// Gives `from` the name `to` unless `to` exists, in one step.
bool placeNew(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // Without an exclusive rename (NFS) a second name is made exclusively.
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

// Whether fd is still the file under path (nobody replaced it meanwhile).
bool stillNamed(int fd, const QByteArray &path)
{
    struct stat open
    {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(path.constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// The process a lock file names on its first line; 0 when it names none.
qint64 pidIn(const QByteArray &content)
{
    const int end = content.indexOf('\n');
    bool ok = false;
    const qint64 pid = content.left(end < 0 ? content.size() : end).toLongLong(&ok, 10);
    return ok && pid > 0 && pid <= INT_MAX ? pid : 0;
}

bool running(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

} // namespace

CaptureFileLock::CaptureFileLock(const QString &captureFile)
    : m_captureFile(captureFile), m_path(captureFile + QStringLiteral(".lock"))
{
}

CaptureFileLock::~CaptureFileLock()
{
    unlock();
}

void CaptureFileLock::unlock()
{
    if (m_fd >= 0) {
        // Only our own file: one that took its name meanwhile is not ours to remove.
        if (stillNamed(m_fd, QFile::encodeName(m_path)))
            ::unlink(QFile::encodeName(m_path).constData());
        ::close(m_fd);
        m_fd = -1;
    }
    m_status = Status::Unlocked;
}

CaptureFileLock::Status CaptureFileLock::fail(Status status, const QString &why)
{
    m_status = status;
    m_error = why;
    return status;
}

bool CaptureFileLock::tryLock()
{
    if (m_status == Status::Held)
        return true;
    m_holderPid = 0;
    m_error.clear();
    m_takenOver.clear();
    // Our lock file is written and locked under a name of its own first, so
    // nobody ever sees it under the lock's name empty or half written.
    QByteArray temp = QFile::encodeName(m_path) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        fail(Status::CannotWrite, reason(errno));
        return false;
    }
    const QByteArray content = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                               QCoreApplication::applicationName().toUtf8() + '\n' +
                               QSysInfo::machineHostName().toUtf8() + '\n';
    Status status = Status::CannotWrite;
    if (!writeAll(fd, content) || ::fchmod(fd, 0644) != 0) {
        m_error = reason(errno);
    } else {
        // Where flock() is not supported the holder's process id decides.
        ::flock(fd, LOCK_EX | LOCK_NB);
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            if (placeNew(temp, QFile::encodeName(m_path))) {
                status = Status::Held;
                break;
            }
            if (errno != EEXIST) {
                status = fail(Status::CannotWrite, reason(errno));
                break;
            }
            bool retry = false;
            status = takeOverIfStale(temp, &retry);
            if (!retry)
                break;
            ::usleep(20000);
        }
    }
    if (status != Status::Held) {
        ::unlink(temp.constData());
        ::close(fd);
        m_status = status;
        return false;
    }
    m_fd = fd;
    m_status = Status::Held;
    if (!m_takenOver.isEmpty())
        qDebug().noquote() << "took over" << m_path << m_takenOver;
    return true;
}

CaptureFileLock::Status CaptureFileLock::takeOverIfStale(const QByteArray &ours, bool *retry)
{
    const QByteArray path = QFile::encodeName(m_path);
    RegularFile::Status opened;
    QString why;
    const int fd = RegularFile::openDescriptor(m_path, QIODevice::ReadOnly, &opened, &why,
                                               RegularFile::Trust::OwnFileOnly);
    if (fd < 0) {
        struct stat st
        {
        };
        *retry = ::lstat(path.constData(), &st) != 0 && errno == ENOENT; // gone meanwhile
        return fail(Status::BadLockFile, why);
    }
    char bytes[256];
    const ssize_t n = ::pread(fd, bytes, sizeof bytes, 0);
    const QByteArray content(bytes, int(n > 0 ? n : 0));
    m_holderPid = pidIn(content);
    // A lock no running process holds can be taken; while we hold it too,
    // nobody else takes it over under our hands.
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool held = !free && (errno == EWOULDBLOCK || running(m_holderPid));
    Status status = Status::Held;
    if (!stillNamed(fd, path)) {
        *retry = true; // replaced meanwhile: look at the new one
        status = Status::HeldByOther;
    } else if (held) {
        // A holder whose process has ended is another starter taking it over.
        *retry = !running(m_holderPid);
        status = fail(Status::HeldByOther, QString());
    } else {
        // A running process it names is one that got the number again.
        m_takenOver = content.trimmed().isEmpty() ? QStringLiteral("锁文件是空的")
                      : m_holderPid == 0 ? QStringLiteral("锁文件的内容不是进程号")
                      : running(m_holderPid)
                          ? QStringLiteral("进程 %1 没有持有它").arg(m_holderPid)
                          : QStringLiteral("进程 %1 已不在运行").arg(m_holderPid);
        if (::rename(ours.constData(), path.constData()) != 0)
            status = fail(Status::CannotWrite, reason(errno));
    }
    ::close(fd);
    return status;
}

QString CaptureFileLock::message() const
{
    switch (m_status) {
    case Status::HeldByOther: {
        const QString who =
            m_holderPid > 0 ? QStringLiteral("（进程 %1）").arg(m_holderPid) : QStringLiteral(" ");
        QString text = QStringLiteral("另一个 KORVEX I2C Sniffer%1正在使用本目录的临时文件 %2。")
                           .arg(who, m_captureFile);
        if (m_holderPid == 0)
            text += QStringLiteral("锁文件 %1 中没有进程号。").arg(m_path);
        return text + QStringLiteral("\n同一目录只能运行一个实例。");
    }
    case Status::CannotWrite:
        return QStringLiteral("无法写入锁文件 %1：%2\n无法保证只有本窗口使用临时文件 %3，"
                              "因此不会捕获数据。")
            .arg(m_path, m_error, m_captureFile);
    case Status::BadLockFile:
        return QStringLiteral("锁文件 %1 无法使用：%2\n请删除或移走它后再启动。")
            .arg(m_path, m_error);
    case Status::Unlocked:
    case Status::Held:
        break;
    }
    return QString();
}
