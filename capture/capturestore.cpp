#include "capture/capturestore.h"

#include "capture/storedline.h"
#include "fileio/regularfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

static_assert(sizeof(off_t) == 8, "the capture file needs 64-bit offsets");

namespace {
// Above this the batch buffer is given back after the batch, so one huge
// backlog does not keep memory for the rest of the capture.
constexpr size_t kKeptBatchCapacity = 4 << 20;

// The capture file sits in a folder others may write: a link, FIFO or device
// put there in its place, or someone else's file, is refused before anything
// is cut.
int openOwnFile(const QString &path, QString *why)
{
    RegularFile::Status status;
    return RegularFile::openDescriptor(path, QIODevice::ReadWrite | QIODevice::Truncate, &status,
                                       why, RegularFile::Trust::OwnFileOnly);
}

} // namespace

CaptureStore::~CaptureStore()
{
    close();
}

void CaptureStore::startEmpty()
{
    m_index.reset();
    m_nextRowNumber = 0;
    m_previousRow = CaptureRow();
    m_fileEnd = 0;
    m_batch.clear();
    m_failed.store(false, std::memory_order_release);
    m_unsavedRows.store(0, std::memory_order_release);
    publish();
    for (StoreObserver *o : m_observers)
        o->storeReset();
}

void CaptureStore::addObserver(StoreObserver *observer)
{
    m_observers.push_back(observer);
}

void CaptureStore::removeObserver(StoreObserver *observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer),
                      m_observers.end());
}

bool CaptureStore::open(const QString &path)
{
    close();
    QString why;
    const int fd = openOwnFile(path, &why);
    m_path = path;
    if (fd < 0) {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        m_errorString = path + QStringLiteral(": ") + why;
        return false;
    }
    m_fd = fd;
    m_sink = false;
    startEmpty();
    return true;
}

bool CaptureStore::openSink(int fd)
{
    close();
    if (fd < 0)
        return false;
    m_fd = fd;
    m_sink = true;
    m_path.clear();
    startEmpty();
    return true;
}

void CaptureStore::close()
{
    if (m_fd >= 0 && !m_sink)
        ::close(m_fd);
    m_fd = -1;
    m_sink = false;
}

bool CaptureStore::closeAndRemove()
{
    const bool hadFile = m_fd >= 0 && !m_sink;
    close();
    if (!hadFile || m_path.isEmpty())
        return false;
    return ::unlink(QFile::encodeName(m_path).constData()) == 0 || errno == ENOENT;
}

void CaptureStore::publish()
{
    // What is published is in the file: the index need keep no more than its
    // marks of it.
    m_index.settle();
    m_publishedBytes.store(m_index.back(), std::memory_order_release);
    m_publishedLines.store(int(m_index.lineCount()), std::memory_order_release);
}

QString CaptureStore::errorString() const
{
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_errorString;
}

void CaptureStore::fail(const QString &what, int error)
{
    {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        m_errorString = (m_path.isEmpty() ? QStringLiteral("capture output") : m_path) +
                        QStringLiteral(": ") + what;
        if (error)
            m_errorString += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    }
    // The last stored line may not be the row last handled any more.
    m_previousRow = CaptureRow();
    m_failed.store(true, std::memory_order_release);
    m_failureCount.fetch_add(1, std::memory_order_acq_rel);
}

void CaptureStore::appendNewLine(const CaptureRow &row)
{
    StoredLine::append(m_batch, m_nextRowNumber++, row);
    m_index.push_back(m_writeFrom + qint64(m_batch.size()));
    for (StoreObserver *o : m_observers)
        o->lineAdded(m_index.lineCount() - 1, row);
}

bool CaptureStore::mergeIntoLastLine(const CaptureRow &row)
{
    // The merged line differs from the last one only from the end of its data
    // on: the number and the compared fields are the same. So only that tail
    // is rewritten, which keeps a long run of merged bytes linear.
    const qint64 dataEnd = m_index.back() - qint64(StoredLine::tailLength(m_previousRow));
    if (dataEnd < m_writeFrom) {
        // The tail is in the file already (the last line came with an earlier
        // batch): the buffer is still empty and the write starts there.
        if (m_sink || !m_batch.empty())
            return false;
        m_writeFrom = dataEnd;
    } else {
        m_batch.resize(size_t(dataEnd - m_writeFrom));
    }
    m_batch += ' ';
    m_batch += row.data;
    StoredLine::appendTail(m_batch, row);
    m_index.setBack(m_writeFrom + qint64(m_batch.size()));

    m_previousRow.data += ' ';
    m_previousRow.data += row.data;
    m_previousRow.timeNs = row.timeNs;
    for (StoreObserver *o : m_observers)
        o->lineMerged(m_index.lineCount() - 1, row);
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
    m_unsavedRows.fetch_add(qint64(rows.size()), std::memory_order_acq_rel);

    const qint64 indexSizeBefore = m_index.size();
    const qint64 backBefore = m_index.back();
    m_writeFrom = m_fileEnd;
    m_batch.clear();
    m_batch.reserve(rows.size() * 48);

    for (CaptureRow &row : rows) {
        // Relaxed: each flag is independent and only decides this row's path.
        const bool merge = mergeEnabled.load(std::memory_order_relaxed);
        const bool decode = decodeEnabled.load(std::memory_order_relaxed);
        Path path;
        if (m_index.size() <= 2)
            path = decode && !merge ? Path::Label : Path::Plain;
        else
            path = merge ? Path::Merge : decode ? Path::Label : Path::Plain;

        // An empty previousRow (start-up, after Open or a failure) has no
        // fields and so never matches.
        if (path == Path::Merge && row.sameMergeKey(m_previousRow) && mergeIntoLastLine(row))
            continue;
        if (path == Path::Label && labeler)
            labeler->applySymbols(row);
        appendNewLine(row);
        m_previousRow = row;
    }
    writeBatch(indexSizeBefore, backBefore);
}

qint64 CaptureStore::writeAll(const char *data, qint64 size, qint64 offset, int *error)
{
    qint64 done = 0;
    *error = 0;
    while (done < size) {
        const ssize_t w = m_sink ? ::write(m_fd, data + done, size_t(size - done))
                                 : ::pwrite(m_fd, data + done, size_t(size - done), offset + done);
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
    const qint64 size = qint64(m_batch.size());
    int error = 0;
    const qint64 written = size ? writeAll(m_batch.data(), size, m_writeFrom, &error) : 0;
    if (written == size) {
        const qint64 end = m_writeFrom + size;
        // A rewritten tail may be shorter than the old one.
        if (!m_sink && end < m_fileEnd && ::ftruncate(m_fd, end) != 0) {
            m_fileEnd = end;
            fail(QStringLiteral("cannot truncate"), errno);
        }
        m_fileEnd = end;
    } else if (written == 0) {
        // Nothing reached the file, so it still holds exactly the old lines.
        m_index.truncate(indexSizeBefore, backBefore);
        m_nextRowNumber = int(m_index.lineCount());
        for (StoreObserver *o : m_observers)
            o->linesKept(m_index.lineCount());
        fail(QStringLiteral("write failed"), error);
    } else {
        keepLinesUpTo(m_writeFrom + written);
        fail(QStringLiteral("write failed"), error);
    }
    if (m_batch.capacity() > kKeptBatchCapacity)
        std::string().swap(m_batch);
    else
        m_batch.clear();
    for (StoreObserver *o : m_observers)
        o->batchEnded();
    publish();
}

void CaptureStore::keepLinesUpTo(qint64 validBytes)
{
    // Keep the lines that lie wholly in the valid bytes: those up to the last
    // kept entry below them, and the ones whose "\n" follows in the file.
    validBytes = std::min(validBytes, m_index.back());
    qint64 entry = m_index.lastKeptAtOrBelow(validBytes);
    qint64 end = m_index.keptOffset(entry);
    char buffer[4096];
    for (qint64 at = end;;) {
        const qint64 got = readAt(at, buffer, std::min<qint64>(sizeof buffer, validBytes - at));
        if (got <= 0)
            break; // all read, or unreadable: keep only the lines known to be whole
        for (const char *p = buffer;
             (p = static_cast<const char *>(std::memchr(p, '\n', size_t(buffer + got - p))));) {
            ++p;
            ++entry;
            end = at + (p - buffer);
        }
        at += got;
    }
    m_index.truncate(entry + 1, end);
    m_nextRowNumber = int(m_index.lineCount());
    for (StoreObserver *o : m_observers)
        o->linesKept(m_index.lineCount());
    m_fileEnd = m_index.back();
    if (!m_sink && ::ftruncate(m_fd, m_fileEnd) != 0) {
        // Bytes beyond the index stay in the file but are never read through it.
    }
}

bool CaptureStore::checkFile()
{
    if (m_sink)
        return true;
    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        fail(QStringLiteral("cannot check the file"), errno);
        return false;
    }
    if (st.st_nlink == 0) {
        fail(QStringLiteral("the file was removed"), 0);
        return false;
    }
    if (st.st_size < m_fileEnd) {
        keepLinesUpTo(st.st_size);
        publish();
        fail(QStringLiteral("the file was truncated"), 0);
        return false;
    }
    return true;
}

void CaptureStore::resetStore()
{
    if (isOpen() && !m_sink) {
        struct stat st;
        if (::fstat(m_fd, &st) == 0 && st.st_nlink == 0 && !m_path.isEmpty()) {
            // Removed behind our back: start a new file under the same name.
            const int fd = openOwnFile(m_path, nullptr);
            if (fd >= 0) {
                ::close(m_fd);
                m_fd = fd;
            }
        }
    }
    const CaptureRow kept = m_previousRow;
    startEmpty();
    m_previousRow = kept;
    if (!isOpen())
        return;
    if (!m_sink && ::ftruncate(m_fd, 0) != 0)
        fail(QStringLiteral("cannot truncate"), errno);
}

bool CaptureStore::appendStoredLine(const QByteArray &line)
{
    if (line.endsWith('\n'))
        return appendStoredLines(line.constData(), line.size());
    const QByteArray ended = line + '\n';
    return appendStoredLines(ended.constData(), ended.size());
}

bool CaptureStore::appendStoredLines(const char *data, qint64 size)
{
    if (!isOpen() || failed())
        return false;
    m_previousRow = CaptureRow();
    while (size > 0 && data[size - 1] != '\n')
        --size;
    if (size == 0)
        return true;
    const qint64 start = m_fileEnd;
    int error = 0;
    const qint64 written = writeAll(data, size, start, &error);
    // Index the lines that reached the file whole, telling observers of each.
    const char *line = data;
    const char *const end = data + written;
    while (const void *nl = std::memchr(line, '\n', size_t(end - line))) {
        const char *next = static_cast<const char *>(nl) + 1;
        m_index.push_back(start + (next - data));
        ++m_nextRowNumber;
        if (!m_observers.empty()) {
            CaptureRow row;
            StoredLine stored;
            if (stored.parse(std::string_view(line, size_t(next - line))))
                stored.toRow(&row);
            for (StoreObserver *o : m_observers)
                o->lineAdded(m_index.lineCount() - 1, row);
        }
        line = next;
    }
    if (written != size) {
        // Cuts off the part of a line that was written.
        keepLinesUpTo(start + written);
        publish();
        fail(QStringLiteral("write failed"), error);
        return false;
    }
    m_fileEnd = start + written;
    publish();
    return true;
}

qint64 CaptureStore::readAt(qint64 offset, char *data, qint64 maxSize) const
{
    if (!isOpen() || m_sink || offset < 0)
        return -1;
    qint64 done = 0;
    while (done < maxSize) {
        const ssize_t r = ::pread(m_fd, data + done, size_t(maxSize - done), offset + done);
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
    const qint64 lines = m_index.lineCount();
    if (first < 0 || first >= lines || count <= 0)
        return QByteArray();
    const qint64 last = std::min<qint64>(lines, qint64(first) + count);
    // From the kept offsets around the lines, then cut to them by their "\n".
    const qint64 from = m_index.keptAtOrBefore(first), to = m_index.keptAtOrAfter(last);
    const qint64 begin = m_index.keptOffset(from);
    QByteArray out(int(m_index.keptOffset(to) - begin), Qt::Uninitialized);
    const qint64 r = readAt(begin, out.data(), out.size());
    const std::string_view bytes(out.constData(), size_t(std::max<qint64>(r, 0)));
    const size_t head = LineIndex::skipLines(bytes, first - from);
    // The end is found from the kept offset nearest to it, so a long read
    // counts at most a stride of lines twice rather than every line.
    const qint64 tail = std::max<qint64>(m_index.keptAtOrBefore(last), first);
    const size_t tailAt =
        tail == first ? head : std::min(bytes.size(), size_t(m_index.keptOffset(tail) - begin));
    const size_t size = tailAt + LineIndex::skipLines(bytes.substr(tailAt), last - tail) - head;
    if (head > 0)
        std::memmove(out.data(), out.constData() + head, size);
    out.resize(int(size));
    return out;
}
