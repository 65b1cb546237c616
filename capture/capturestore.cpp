#include "capturestore.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(sizeof(off_t) == 8, "the capture file needs 64-bit offsets");

namespace {
// Above this the batch buffer is given back after the batch, so one huge
// backlog does not keep memory for the rest of the capture.
constexpr size_t KeptBatchCapacity = 4 << 20;

void appendNumber(std::string &out, int n)
{
    char buf[12];
    char *p = buf + sizeof buf;
    unsigned u = n < 0 ? 0u - unsigned(n) : unsigned(n);
    do {
        *--p = char('0' + u % 10);
        u /= 10;
    } while (u);
    if (n < 0)
        *--p = '-';
    out.append(p, size_t(buf + sizeof buf - p));
}

// "," response "," timestamp "\n": the part of a line after its data.
void appendSuffix(std::string &out, const CaptureRow &row)
{
    out += ',';
    out += row.responseText();
    out += ',';
    CaptureRow::appendTimestampText(out, row.timeNs);
    out += '\n';
}

qint64 suffixLength(const CaptureRow &row)
{
    qint64 ts = 20; // "HH.MM.SS.mmm.uuu.nnn" for every time that is not negative
    if (row.timeNs < 0) {
        std::string s;
        CaptureRow::appendTimestampText(s, row.timeNs);
        ts = qint64(s.size());
    }
    return 3 + qint64(row.responseText().size()) + ts;
}
} // namespace

CaptureStore::~CaptureStore()
{
    close();
}

void CaptureStore::openState()
{
    index_.reset();
    nextRowNumber_ = 0;
    previousRow_ = CaptureRow();
    fileEnd_ = 0;
    batch_.clear();
    failed_.store(false, std::memory_order_release);
    publish();
}

bool CaptureStore::open(const QString &path)
{
    close();
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    path_ = path;
    if (fd < 0) {
        std::lock_guard<std::mutex> lock(errorMutex_);
        errorString_ = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    fd_ = fd;
    sink_ = false;
    openState();
    return true;
}

bool CaptureStore::openSink(int fd)
{
    close();
    if (fd < 0)
        return false;
    fd_ = fd;
    sink_ = true;
    path_.clear();
    openState();
    return true;
}

void CaptureStore::close()
{
    if (fd_ >= 0 && !sink_)
        ::close(fd_);
    fd_ = -1;
    sink_ = false;
}

bool CaptureStore::closeAndRemove()
{
    const bool hadFile = fd_ >= 0 && !sink_;
    close();
    if (!hadFile || path_.isEmpty())
        return false;
    return ::unlink(QFile::encodeName(path_).constData()) == 0 || errno == ENOENT;
}

void CaptureStore::publish()
{
    publishedLines_.store(int(index_.lineCount()), std::memory_order_release);
}

QString CaptureStore::errorString() const
{
    std::lock_guard<std::mutex> lock(errorMutex_);
    return errorString_;
}

void CaptureStore::fail(const QString &what, int error)
{
    {
        std::lock_guard<std::mutex> lock(errorMutex_);
        errorString_ = (path_.isEmpty() ? QStringLiteral("capture output") : path_) +
                       QStringLiteral(": ") + what;
        if (error)
            errorString_ += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    }
    // The last stored line may not be the row last handled any more.
    previousRow_ = CaptureRow();
    failed_.store(true, std::memory_order_release);
    failureCount_.fetch_add(1, std::memory_order_acq_rel);
}

void CaptureStore::appendLine(std::string &out, int number, const CaptureRow &row)
{
    char addr[2];
    appendNumber(out, number);
    out += ',';
    out += row.typeText();
    out += ',';
    out += row.addressText(addr);
    out += ',';
    out += row.directionText();
    out += ',';
    out += row.data;
    appendSuffix(out, row);
}

QByteArray CaptureStore::formatLines(const std::vector<CaptureRow> &rows, int firstNumber)
{
    std::string s;
    s.reserve(rows.size() * 48);
    for (const CaptureRow &row : rows)
        appendLine(s, firstNumber++, row);
    return QByteArray(s.data(), int(s.size()));
}

void CaptureStore::appendNewLine(const CaptureRow &row)
{
    appendLine(batch_, nextRowNumber_++, row);
    index_.push_back(writeFrom_ + qint64(batch_.size()));
}

bool CaptureStore::mergeIntoLastLine(const CaptureRow &row)
{
    // The merged line differs from the last one only from the end of its data
    // on: the number and the compared fields are the same. So only that tail
    // is rewritten, which keeps a long run of merged bytes linear.
    const qint64 dataEnd = index_.back() - suffixLength(previousRow_);
    if (dataEnd < writeFrom_) {
        // The tail is in the file already (the last line came with an earlier
        // batch): the buffer is still empty and the write starts there.
        if (sink_ || !batch_.empty())
            return false;
        writeFrom_ = dataEnd;
    } else {
        batch_.resize(size_t(dataEnd - writeFrom_));
    }
    batch_ += ' ';
    batch_ += row.data;
    appendSuffix(batch_, row);
    index_.setBack(writeFrom_ + qint64(batch_.size()));

    previousRow_.data += ' ';
    previousRow_.data += row.data;
    previousRow_.timeNs = row.timeNs;
    return true;
}

void CaptureStore::appendRows(std::vector<CaptureRow> &rows, const std::atomic<bool> &mergeEnabled,
                              const std::atomic<bool> &decodeEnabled, RowLabeler *labeler)
{
    if (rows.empty() || failed())
        return;
    if (!isOpen()) {
        fail(QStringLiteral("not open"), 0);
        return;
    }
    if (!checkFile())
        return;

    const qint64 indexSizeBefore = index_.size();
    const qint64 backBefore = index_.back();
    writeFrom_ = fileEnd_;
    batch_.clear();
    batch_.reserve(rows.size() * 48);

    for (CaptureRow &row : rows) {
        // Relaxed: each flag is independent and only decides this row's path.
        const bool merge = mergeEnabled.load(std::memory_order_relaxed);
        const bool decode = decodeEnabled.load(std::memory_order_relaxed);
        Path path;
        if (index_.size() <= 2)
            path = decode && !merge ? Path::Label : Path::Plain;
        else
            path = merge ? Path::Merge : decode ? Path::Label : Path::Plain;

        // An empty previousRow (start-up, after Open or a failure) has no
        // fields and so never matches.
        if (path == Path::Merge && row.sameMergeKey(previousRow_) && mergeIntoLastLine(row))
            continue;
        if (path == Path::Label && labeler)
            labeler->applySymbols(row);
        appendNewLine(row);
        previousRow_ = row;
    }
    writeBatch(indexSizeBefore, backBefore);
}

qint64 CaptureStore::writeAll(const char *data, qint64 size, qint64 offset, int *error)
{
    qint64 done = 0;
    *error = 0;
    while (done < size) {
        const ssize_t w = sink_ ? ::write(fd_, data + done, size_t(size - done))
                                : ::pwrite(fd_, data + done, size_t(size - done), offset + done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            break;
        }
        if (w == 0) {
            *error = ENOSPC;
            break;
        }
        done += w;
    }
    return done;
}

void CaptureStore::writeBatch(qint64 indexSizeBefore, qint64 backBefore)
{
    const qint64 size = qint64(batch_.size());
    int error = 0;
    const qint64 written = size ? writeAll(batch_.data(), size, writeFrom_, &error) : 0;
    if (written == size) {
        const qint64 end = writeFrom_ + size;
        // A rewritten tail may be shorter than the old one.
        if (!sink_ && end < fileEnd_ && ::ftruncate(fd_, end) != 0) {
            fileEnd_ = end;
            fail(QStringLiteral("cannot truncate"), errno);
        }
        fileEnd_ = end;
    } else if (written == 0) {
        // Nothing reached the file, so it still holds exactly the old lines.
        index_.truncate(indexSizeBefore);
        index_.setBack(backBefore);
        nextRowNumber_ = int(index_.lineCount());
        fail(QStringLiteral("write failed"), error);
    } else {
        keepLinesUpTo(writeFrom_ + written);
        fail(QStringLiteral("write failed"), error);
    }
    if (batch_.capacity() > KeptBatchCapacity)
        std::string().swap(batch_);
    else
        batch_.clear();
    publish();
}

void CaptureStore::keepLinesUpTo(qint64 validBytes)
{
    // Keep the lines that lie wholly in the valid bytes; cut off the rest.
    qint64 lo = 0, hi = index_.size() - 1;
    while (lo < hi) {
        const qint64 mid = (lo + hi + 1) / 2;
        if (index_[mid] <= validBytes)
            lo = mid;
        else
            hi = mid - 1;
    }
    index_.truncate(lo + 1);
    nextRowNumber_ = int(index_.lineCount());
    fileEnd_ = index_.back();
    if (!sink_ && ::ftruncate(fd_, fileEnd_) != 0) {
        // Bytes beyond the index stay in the file but are never read through it.
    }
}

bool CaptureStore::checkFile()
{
    if (sink_)
        return true;
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        fail(QStringLiteral("cannot check the file"), errno);
        return false;
    }
    if (st.st_nlink == 0) {
        fail(QStringLiteral("the file was removed"), 0);
        return false;
    }
    if (st.st_size < fileEnd_) {
        keepLinesUpTo(st.st_size);
        publish();
        fail(QStringLiteral("the file was truncated"), 0);
        return false;
    }
    return true;
}

void CaptureStore::resetStore()
{
    if (isOpen() && !sink_) {
        struct stat st;
        if (::fstat(fd_, &st) == 0 && st.st_nlink == 0 && !path_.isEmpty()) {
            // Removed behind our back: start a new file under the same name.
            const int fd = ::open(QFile::encodeName(path_).constData(),
                                  O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd >= 0) {
                ::close(fd_);
                fd_ = fd;
            }
        }
    }
    const CaptureRow kept = previousRow_;
    openState();
    previousRow_ = kept;
    if (!isOpen())
        return;
    if (!sink_ && ::ftruncate(fd_, 0) != 0)
        fail(QStringLiteral("cannot truncate"), errno);
}

bool CaptureStore::appendStoredLine(const QByteArray &line)
{
    if (!isOpen() || failed())
        return false;
    previousRow_ = CaptureRow();
    QByteArray bytes = line;
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    int error = 0;
    const qint64 written = writeAll(bytes.constData(), bytes.size(), fileEnd_, &error);
    if (written != bytes.size()) {
        if (written > 0)
            keepLinesUpTo(fileEnd_);
        fail(QStringLiteral("write failed"), error);
        return false;
    }
    fileEnd_ += written;
    index_.push_back(fileEnd_);
    ++nextRowNumber_;
    publish();
    return true;
}

qint64 CaptureStore::readAt(qint64 offset, char *data, qint64 maxSize) const
{
    if (!isOpen() || sink_ || offset < 0)
        return -1;
    qint64 done = 0;
    while (done < maxSize) {
        const ssize_t r = ::pread(fd_, data + done, size_t(maxSize - done), offset + done);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return done ? done : -1;
        }
        if (r == 0)
            break;
        done += r;
    }
    return done;
}

QByteArray CaptureStore::readLines(int first, int count) const
{
    const qint64 lines = index_.lineCount();
    if (first < 0 || first >= lines || count <= 0)
        return QByteArray();
    const qint64 last = std::min<qint64>(lines, qint64(first) + count);
    const qint64 from = index_[first];
    QByteArray out(int(index_[last] - from), Qt::Uninitialized);
    const qint64 r = readAt(from, out.data(), out.size());
    out.resize(int(std::max<qint64>(r, 0)));
    return out;
}
