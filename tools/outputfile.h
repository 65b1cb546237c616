// Where korvex-decode writes: standard output, a device or pipe named with
// --output, or a regular file that is replaced only once it is complete.
// Names are bytes, passed to the system as given (any encoding).
#pragma once

#include <sys/types.h>

#include <string>

namespace korvex {

class OutputFile
{
public:
    OutputFile() = default;
    // A file not committed is removed: the earlier file stays as it was.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Writes to `fd` (standard output), which stays the caller's.
    void useDescriptor(int fd);
    // Opens --output=path. A character device, FIFO or socket is written in
    // place; anything else goes to a new file beside the target (beside the
    // file a symbolic link names), which commit() renames over it. False,
    // with the reason in *error.
    bool open(const std::string &path, std::string *error);

    // The path as given; "" for standard output.
    const std::string &path() const { return m_path; }
    // The path, or "standard output".
    std::string name() const { return m_path.empty() ? "standard output" : m_path; }

    // Writes all of data. False once a write failed; nothing is written after.
    bool write(const char *data, size_t size);
    bool failed() const { return m_errno != 0; }
    // "writing NAME failed: reason".
    std::string errorString() const;

    // Flushes everything to the disk and puts the file in place of the
    // target. False, with the reason in *error, and the target untouched.
    bool commit(std::string *error);

    // Removes the temporary file of the output being written, if any, without
    // allocating: for a process about to end on a fatal error.
    static void removeTemporaryBeforeExit();

private:
    void discard();

    int m_fd = -1;
    bool m_ownFd = false; // a device or the temporary file, closed here
    std::string m_path;
    std::string m_target;    // the file the temporary file replaces
    std::string m_temporary; // "" when writing in place
    mode_t m_mode = 0;       // the target's permissions to be
    int m_errno = 0;
};

// True when `a` and `b` name one existing file (same device and inode),
// whatever links lead there.
bool sameExistingFile(const std::string &a, const std::string &b);

} // namespace korvex
