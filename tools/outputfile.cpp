#include "tools/outputfile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

namespace {

bool fail(std::string *error, const std::string &why, int code)
{
    if (error)
        *error = why + ": " + std::strerror(code);
    return false;
}

std::string directoryOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t newFileMode()
{
    // umask can only be read by setting it; nothing else runs yet.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The temporary file being written, for removeTemporaryBeforeExit(). The tool
// writes one output at a time; atomic, as a fatal error may come from the
// archive check's thread.
std::atomic<const char *> pendingTemporary{nullptr};

} // namespace

void OutputFile::removeTemporaryBeforeExit()
{
    if (const char *name = pendingTemporary.exchange(nullptr))
        ::unlink(name);
}

OutputFile::~OutputFile()
{
    discard();
}

void OutputFile::discard()
{
    if (m_ownFd && m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_ownFd = false;
    if (!m_temporary.empty()) {
        const char *mine = m_temporary.c_str();
        pendingTemporary.compare_exchange_strong(mine, nullptr);
        ::unlink(m_temporary.c_str());
    }
    m_temporary.clear();
}

void OutputFile::useDescriptor(int fd)
{
    discard();
    m_fd = fd;
    m_path.clear();
}

bool OutputFile::open(const std::string &path, std::string *error)
{
    discard();
    m_path = path;
    m_errno = 0;
    const std::string cannot = "cannot write " + path;
    // A link stays a link: the file it names is the one replaced.
    m_target = path;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char *real = ::realpath(path.c_str(), nullptr)) {
            m_target = real;
            std::free(real);
        }
    }
    if (::stat(m_target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(error, cannot, EISDIR);
        if (!S_ISREG(st.st_mode)) {
            // Devices and pipes cannot be replaced; they take the bytes as they come.
            m_fd = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC);
            if (m_fd < 0)
                return fail(error, cannot, errno);
            m_ownFd = true;
            return true;
        }
        m_mode = st.st_mode & 0777; // no set-id bits on a file this process wrote
    } else if (errno == ENOENT) {
        m_mode = newFileMode();
    } else {
        return fail(error, cannot, errno);
    }
    // Beside the target, so that the rename stays on its file system.
    const size_t slash = m_target.rfind('/');
    const std::string base = m_target.substr(slash == std::string::npos ? 0 : slash + 1);
    // Named before it exists, so that the destructor can always remove it.
    m_temporary = directoryOf(m_target) + "/." + base.substr(0, 200) + ".XXXXXX";
    m_fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);
    if (m_fd < 0) {
        const int code = errno;
        m_temporary.clear();
        return fail(error, cannot, code);
    }
    m_ownFd = true;
    pendingTemporary = m_temporary.c_str();
    if (::fchmod(m_fd, m_mode) != 0) {
        const int code = errno;
        discard();
        return fail(error, cannot, code);
    }
    return true;
}

bool OutputFile::write(const char *data, size_t size)
{
    while (size > 0 && m_errno == 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_errno = n < 0 ? errno : EIO;
            break;
        }
        data += n;
        size -= size_t(n);
    }
    return m_errno == 0;
}

std::string OutputFile::errorString() const
{
    return "writing " + name() + " failed: " + std::strerror(m_errno ? m_errno : EIO);
}

bool OutputFile::commit(std::string *error)
{
    if (m_fd < 0 && m_errno == 0)
        m_errno = EBADF;
    // Only a complete file on the disk may take the target's place.
    if (m_errno == 0 && !m_temporary.empty() && ::fsync(m_fd) != 0)
        m_errno = errno;
    if (m_ownFd) {
        if (::close(m_fd) != 0 && m_errno == 0)
            m_errno = errno;
        m_fd = -1;
        m_ownFd = false;
    }
    const bool replacing = !m_temporary.empty();
    if (m_errno == 0 && replacing) {
        const char *mine = m_temporary.c_str();
        pendingTemporary.compare_exchange_strong(mine, nullptr);
        if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
            m_errno = errno;
        else
            m_temporary.clear();
    }
    if (m_errno != 0) {
        if (error)
            *error = errorString();
        discard();
        return false;
    }
    // The rename itself reaches the disk with its directory.
    const int dir =
        replacing ? ::open(directoryOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool sameExistingFile(const std::string &a, const std::string &b)
{
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace korvex
