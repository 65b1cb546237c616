#include "tools/storedlineformats.h"

#include "addressmap/addressstats.h"
#include "capture/capturestore.h"
#include "capture/eventconverter.h"
#include "capture/storedline.h"
#include "export/savedcapturewriter.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

namespace {

// The capture callback's batch. The rows do not depend on it (the converter
// carries its state across batches); it only bounds the rows in memory.
constexpr size_t kBatchEvents = 1000;

bool fail(std::string *error, const std::string &why)
{
    if (error)
        *error = why;
    return false;
}

std::string outputName(const FormatOutput &output)
{
    return output.path.empty() ? std::string("standard output") : output.path;
}

// Hands the rows of `capture` to `take` one batch at a time, in order, until
// it returns false.
template <typename Take> void forEachRowBatch(const DecodedCapture &capture, Take take)
{
    EventConverter converter;
    std::vector<CaptureRow> rows;
    for (size_t at = 0; at < capture.events.size(); at += kBatchEvents) {
        const size_t n = std::min(kBatchEvents, capture.events.size() - at);
        rows.clear();
        converter.convertEvents(capture.events.data() + at, int(n), rows);
        if (!rows.empty() && !take(rows))
            return;
    }
}

// A device, pipe or socket cannot be the store's own file (the store reads
// back its size and writes at offsets), so it takes the lines in order.
bool takesLinesInOrder(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 &&
           (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

// A descriptor this code opened, closed when it goes.
struct OwnedFd
{
    int fd = -1;
    ~OwnedFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

bool writeStoreLines(const DecodedCapture &capture, const FormatOutput &output, std::string *error)
{
    OwnedFd device; // outlives the store, which does not close a sink
    CaptureStore store;
    const std::string name = outputName(output);
    if (output.path.empty()) {
        if (output.fd < 0)
            return fail(error, "no standard output to write to");
        if (output.stream)
            output.stream->flush();
        store.openSink(output.fd);
    } else if (takesLinesInOrder(output.path)) {
        device.fd = ::open(output.path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (device.fd < 0)
            return fail(error, "cannot write " + name + ": " + std::strerror(errno));
        store.openSink(device.fd);
    } else if (!store.open(QFile::decodeName(output.path.c_str()))) {
        return fail(error, "cannot write " + store.errorString().toStdString());
    }

    // Merge and decode off: every row is a line of its own, unlabelled.
    const std::atomic<bool> off{false};
    forEachRowBatch(capture, [&store, &off](std::vector<CaptureRow> &rows) {
        store.appendRows(rows, off, off, nullptr);
        return !store.failed();
    });
    if (store.failed()) {
        // A sink's reason names no file; say which output it was.
        QString why = store.errorString();
        const QString unnamed = QStringLiteral("capture output: ");
        if (why.startsWith(unnamed))
            why = QString::fromStdString(name) + QStringLiteral(": ") + why.mid(unnamed.size());
        return fail(error, why.toStdString());
    }
    return true;
}

bool writeSavedCapture(const DecodedCapture &capture, SavedFormat format,
                       const FormatOutput &output, std::string *error)
{
    if (format == SavedFormat::None)
        return fail(error, "no saved format");
    const std::string name = outputName(output);
    QFile file;
    if (output.path.empty()) {
        if (output.fd < 0)
            return fail(error, "no standard output to write to");
        if (output.stream)
            output.stream->flush();
        if (!file.open(output.fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            return fail(error, "cannot write " + name + ": " + file.errorString().toStdString());
    } else {
        file.setFileName(QFile::decodeName(output.path.c_str()));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(error, "cannot write " + name + ": " + file.errorString().toStdString());
    }

    // As Save: header, one row per stored line in order, the HTML end.
    SavedCaptureWriter writer(file, format);
    writer.writeHeader(output.path.empty() ? QStringLiteral("-") : file.fileName());
    std::string line;
    int number = 0;
    forEachRowBatch(capture, [&](const std::vector<CaptureRow> &rows) {
        for (const CaptureRow &row : rows) {
            line.clear();
            StoredLine::append(line, number++, row);
            writer.writeStoredLine(line.data(), qsizetype(line.size()));
        }
        return !writer.failed();
    });
    if (format == SavedFormat::Html)
        writer.writeFooter();
    bool written = writer.flush();
    QString why = writer.errorString();
    file.close();
    if (written && file.error() != QFileDevice::NoError) {
        written = false;
        why = file.errorString();
    }
    if (!written)
        return fail(error, "writing " + name + " failed: " + why.toStdString());
    return true;
}

bool writeAddressSummary(const DecodedCapture &capture, const FormatOutput &output,
                         std::string *error)
{
    // Rows go straight to the counts, as the store hands them on with Merge
    // and Decode off; no file is written.
    AddressStats stats;
    forEachRowBatch(capture, [&stats](const std::vector<CaptureRow> &rows) {
        for (const CaptureRow &row : rows)
            stats.addRow(row);
        return true;
    });
    const std::string text = stats.summaryText();
    const std::string name = outputName(output);
    std::ofstream file;
    std::ostream *out = output.stream;
    if (!output.path.empty()) {
        file.open(output.path, std::ios::binary | std::ios::trunc);
        if (!file)
            return fail(error, "cannot write " + name + ": " + std::strerror(errno));
        out = &file;
    } else if (!out) {
        return fail(error, "no standard output to write to");
    }
    out->write(text.data(), std::streamsize(text.size()));
    out->flush();
    if (!output.path.empty())
        file.close();
    if (!*out)
        return fail(error, "writing " + name + " failed");
    return true;
}

} // namespace korvex
