#include "fileio/regularfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString RegularFile::notRegularText(unsigned mode)
{
    const char *what = "特殊文件";
    if (S_ISLNK(mode))
        what = "符号链接";
    else if (S_ISDIR(mode))
        what = "目录";
    else if (S_ISFIFO(mode))
        what = "命名管道";
    else if (S_ISCHR(mode) || S_ISBLK(mode))
        what = "设备";
    else if (S_ISSOCK(mode))
        what = "套接字";
    return QStringLiteral("不是普通文件，而是") + QString::fromUtf8(what);
}

int RegularFile::openDescriptor(const QString &path, QIODevice::OpenMode mode, Status *status,
                                QString *errorString, Trust trust)
{
    const auto refuse = [status, errorString](Status why, const QString &text) {
        *status = why;
        if (errorString)
            *errorString = text;
        return -1;
    };
    const auto failed = [&refuse](int error) {
        return refuse(Status::Failed, QString::fromLocal8Bit(std::strerror(error)));
    };
    const bool own = trust == Trust::OwnFileOnly;
    const bool write = mode.testFlag(QIODevice::WriteOnly);
    const int flags =
        O_CLOEXEC | O_NONBLOCK | (own ? O_NOFOLLOW : 0) | (write ? O_RDWR | O_CREAT : O_RDONLY);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
    if (fd < 0) {
        // O_NOFOLLOW met a link in the last place of the path.
        if (own && errno == ELOOP)
            return refuse(Status::NotRegular, notRegularText(S_IFLNK));
        if (errno == EISDIR) // for writing, the check on the descriptor comes too late
            return refuse(Status::NotRegular, notRegularText(S_IFDIR));
        return failed(errno);
    }
    const auto closeAnd = [fd](int result) {
        ::close(fd);
        return result;
    };
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        return closeAnd(failed(errno));
    if (!S_ISREG(st.st_mode))
        return closeAnd(refuse(Status::NotRegular, notRegularText(st.st_mode)));
    // Reading another user's file harms nobody; cutting it, or a file linked
    // in from elsewhere, would.
    if (own && write && st.st_uid != ::geteuid())
        return closeAnd(refuse(Status::NotOurs, QStringLiteral("属于其他用户")));
    if (own && write && st.st_nlink > 1)
        return closeAnd(refuse(Status::NotOurs, QStringLiteral("还有其他硬链接")));
    // A regular file: plain blocking reads and writes from here on.
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0 ||
        (write && mode.testFlag(QIODevice::Truncate) && ::ftruncate(fd, 0) != 0))
        return closeAnd(failed(errno));
    *status = Status::Opened;
    return fd;
}

RegularFile::Status RegularFile::open(QFile &file, const QString &path, QIODevice::OpenMode mode,
                                      QString *errorString, Trust trust)
{
    Status status = Status::Failed;
    const int fd = openDescriptor(path, mode, &status, errorString, trust);
    if (fd < 0)
        return status;
    if (!file.open(fd, mode & ~QIODevice::Truncate, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (errorString)
            *errorString = file.errorString();
        return Status::Failed;
    }
    return Status::Opened;
}

RegularFile::Status RegularFile::openForReplace(QSaveFile &file, QIODevice::OpenMode mode,
                                                QString *errorString)
{
    const auto refuse = [errorString](Status why, const QString &text) {
        if (errorString)
            *errorString = text;
        return why;
    };
    struct stat st
    {
    };
    // A FIFO or device would be replaced by a file, not written into.
    if (::stat(QFile::encodeName(file.fileName()).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return refuse(Status::NotRegular, notRegularText(st.st_mode));
    if (!file.open(QIODevice::WriteOnly | mode))
        return refuse(Status::Failed, file.errorString());
    return Status::Opened;
}
