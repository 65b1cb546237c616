// The capture kept outside memory: one text line per row in a temporary file
// and the byte offsets of every few dozen lines in LineIndex, so the view can
// read any page with one positioned read however long the capture grows.
//
// Each line is a StoredLine: "number,type,address,direction,data,response,
// timestamp\n".
//
// Threads: appendRows runs on the adapter library's thread, everything else on
// the GUI thread; the caller serialises them (see CapturePipeline). Only
// lineCount(), storedBytes(), failed(), failureCount() and errorString() may
// be called while another thread works on the store.
#pragma once

#include "capture/capturerow.h"
#include "capture/lineindex.h"
#include "capture/rowlabeler.h"
#include "capture/storeobserver.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CaptureStore
{
public:
    CaptureStore() = default;
    ~CaptureStore();
    Q_DISABLE_COPY(CaptureStore)

    // Creates (or empties) the file at path for reading and writing and
    // empties the store. False, with errorString(), when it cannot be opened
    // or is not our own plain file (a link, FIFO, device, another user's
    // file): that is refused before anything is cut.
    bool open(const QString &path);
    // Writes the lines to fd (for instance standard output) one batch after
    // the other, for tools that print stored lines. fd stays the caller's.
    // Nothing can be read back, and a merge with a line of an earlier batch
    // cannot rewrite it, so such a row is written as a line of its own.
    bool openSink(int fd);
    bool isOpen() const { return m_fd >= 0; }
    void close();
    // Closes and deletes the file; true when it is gone.
    bool closeAndRemove();

    // Stores rows in order (the caller holds the store). The flags are read
    // afresh for every row; labeler may be null. Rows may be changed (labels).
    // After a write failure nothing more is stored until resetStore().
    void appendRows(std::vector<CaptureRow> &rows, const std::atomic<bool> &mergeEnabled,
                    const std::atomic<bool> &decodeEnabled, RowLabeler *labeler);

    // Empties the store (Clear); previousRow() is kept. Clears a failure.
    void resetStore();

    // Appends one line already in the stored format (Open). A missing final
    // "\n" is added. previousRow() becomes empty: the last line is no longer
    // a captured row, so the next captured row is never merged into it.
    bool appendStoredLine(const QByteArray &line);
    // Appends whole lines already in the stored format, each ended by "\n",
    // with one write (Open's batches); bytes after the last "\n" are not
    // stored. Observers hear of each line in order. On a failed write the
    // index keeps the lines written whole and storing stops, as appendRows.
    bool appendStoredLines(const char *data, qint64 size);

    // Rows handed to appendRows since the store was last emptied or
    // markSaved(): captured rows that no saved file holds yet. Safe from any
    // thread.
    qint64 unsavedRowCount() const { return m_unsavedRows.load(std::memory_order_acquire); }
    // The stored lines are all in a saved file now (a completed Save).
    void markSaved() { m_unsavedRows.store(0, std::memory_order_release); }

    // Stored lines. Safe from any thread; it moves once per stored batch.
    int lineCount() const { return m_publishedLines.load(std::memory_order_acquire); }
    // Bytes of the stored lines, published with lineCount(): any thread.
    qint64 storedBytes() const { return m_publishedBytes.load(std::memory_order_acquire); }
    int nextRowNumber() const { return m_nextRowNumber; }
    // Offsets of some lines (see LineIndex): read from a kept one forward.
    const LineIndex &lineIndex() const { return m_index; }
    const CaptureRow &previousRow() const { return m_previousRow; }
    QString fileName() const { return m_path; }
    // Bytes of stored lines (the file may briefly hold more after a failure).
    qint64 dataSize() const { return m_index.back(); }

    // Reads up to maxSize bytes at offset; the number read, 0 at the end, -1
    // on error or when nothing can be read (closed, sink).
    qint64 readAt(qint64 offset, char *data, qint64 maxSize) const;
    // The bytes of lines first .. first+count-1 (clamped to the stored lines),
    // read with one positioned read.
    QByteArray readLines(int first, int count) const;
    // Calls visit(line, text) for each stored line from `first` on, text
    // without its "\n", reading a few thousand lines at a time; visit returns
    // false to stop there. Returns the line it stopped at, else lineCount().
    // For whole-store walks (Go to a time, a recount) that cannot use the
    // index alone.
    template <typename Visit> qint64 scanLines(qint64 first, Visit &&visit) const;

    // A write, truncate or file check failed; storing has stopped.
    bool failed() const { return m_failed.load(std::memory_order_acquire); }
    // Counts the failures since construction, for a once-only notice.
    int failureCount() const { return m_failureCount.load(std::memory_order_acquire); }
    QString errorString() const;

    // Observers are told of every line stored from now on, in the order they
    // were added; they must outlive the store or be removed first. Only while
    // no other thread uses the store (start-up, no capture running).
    void addObserver(StoreObserver *observer);
    void removeObserver(StoreObserver *observer);

private:
    enum class Path { Plain, Label, Merge };

    void appendNewLine(const CaptureRow &row);
    bool mergeIntoLastLine(const CaptureRow &row);
    void writeBatch(qint64 indexSizeBefore, qint64 backBefore);
    // Writes all of data at offset (sequentially for a sink); bytes written.
    qint64 writeAll(const char *data, qint64 size, qint64 offset, int *error);
    bool checkFile();
    void keepLinesUpTo(qint64 validBytes);
    void fail(const QString &what, int error);
    void publish();
    // Empties index, numbering and file bookkeeping, and clears a failure.
    void startEmpty();

    int m_fd = -1;
    bool m_sink = false;
    QString m_path;
    LineIndex m_index;
    int m_nextRowNumber = 0;
    CaptureRow m_previousRow;
    // Bytes the file holds that belong to the store.
    qint64 m_fileEnd = 0;
    // The batch being built: its bytes go to the file at m_writeFrom.
    std::string m_batch;
    qint64 m_writeFrom = 0;

    // What the other threads may know of the store, set by publish() on the
    // storing thread; two atomics, so a reader may see one batch apart.
    std::atomic<int> m_publishedLines{0};
    std::atomic<qint64> m_publishedBytes{0};
    // Written by the storing thread and by Save on the GUI thread, which runs
    // only while no capture does; an atomic, so any thread may read it.
    std::atomic<qint64> m_unsavedRows{0};
    std::atomic<bool> m_failed{false};
    std::atomic<int> m_failureCount{0};
    mutable std::mutex m_errorMutex; // m_errorString is read by the GUI while the writer fails
    QString m_errorString;
    std::vector<StoreObserver *> m_observers;
};

template <typename Visit> qint64 CaptureStore::scanLines(qint64 first, Visit &&visit) const
{
    constexpr int kChunkLines = 4096;
    const qint64 lines = m_index.lineCount();
    for (qint64 from = std::max<qint64>(first, 0); from < lines; from += kChunkLines) {
        const QByteArray chunk = readLines(int(from), kChunkLines);
        std::string_view rest(chunk.constData(), size_t(chunk.size()));
        for (qint64 line = from; !rest.empty(); ++line) {
            const size_t end = rest.find('\n');
            if (!visit(line, rest.substr(0, end)))
                return line;
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
    }
    return lines;
}
