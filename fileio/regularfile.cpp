#include "fileio/regularfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::Status RegularFile::open(QFile &file, const QString &path, QIODevice::OpenMode mode,
                                      QString *errorString)
{
    const auto failed = [errorString](int error) {
        if (errorString)
            *errorString = QString::fromLocal8Bit(std::strerror(error));
        return Status::Failed;
    };
    const bool write = mode.testFlag(QIODevice::WriteOnly);
    const int flags = O_CLOEXEC | O_NONBLOCK | (write ? O_RDWR | O_CREAT : O_RDONLY);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
    if (fd < 0)
        return failed(errno);
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return failed(error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (errorString)
            *errorString = QStringLiteral("不是普通文件");
        return Status::NotRegular;
    }
    // A regular file: plain blocking reads and writes from here on.
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0 ||
        (mode.testFlag(QIODevice::Truncate) && ::ftruncate(fd, 0) != 0)) {
        const int error = errno;
        ::close(fd);
        return failed(error);
    }
    if (!file.open(fd, mode & ~QIODevice::Truncate, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (errorString)
            *errorString = file.errorString();
        return Status::Failed;
    }
    return Status::Opened;
}
