#include "regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
bool fail(QString *errorString, const QString &why)
{
    if (errorString)
        *errorString = why;
    return false;
}

#ifdef Q_OS_UNIX
// Opens without blocking (a FIFO would wait for its other end), checks what
// the descriptor really is, so a path swapped after a check cannot slip
// through, and hands a regular file to QFile, which then owns it.
bool openChecked(QFile &file, const QString &path, int flags, QIODevice::OpenMode mode,
                 QString *errorString)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        // A FIFO opened for writing without a reader fails with ENXIO.
        if (error == ENXIO)
            return fail(errorString, RegularFile::notRegularText());
        return fail(errorString, qt_error_string(error));
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(errorString, RegularFile::notRegularText());
    }
    if ((flags & O_ACCMODE) != O_RDONLY && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(errorString, qt_error_string(error));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(errorString, file.errorString());
    }
    return true;
}
#endif
} // namespace

QString RegularFile::notRegularText()
{
    return QObject::tr("不是普通文件");
}

bool RegularFile::openForReading(QFile &file, const QString &path, QString *errorString)
{
    const QIODevice::OpenMode mode = QIODevice::ReadOnly | QIODevice::Text;
#ifdef Q_OS_UNIX
    return openChecked(file, path, O_RDONLY, mode, errorString);
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(errorString, notRegularText());
    file.setFileName(path);
    return file.open(mode) || fail(errorString, file.errorString());
#endif
}

bool RegularFile::openForWriting(QFile &file, const QString &path, QString *errorString)
{
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Text;
#ifdef Q_OS_UNIX
    return openChecked(file, path, O_WRONLY | O_CREAT, mode, errorString);
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(errorString, notRegularText());
    file.setFileName(path);
    return file.open(mode | QIODevice::Truncate) || fail(errorString, file.errorString());
#endif
}
