// Feeds arbitrary bytes to the saved-capture reader (as a text or CSV file)
// and to the writer (as a store), checking what every stored or saved line
// must satisfy and that each line converts as the QString oracle of the
// tests does.
// Input: one byte choosing the format (bit 0: text), then the file.
#include "capture/capturestore.h"
#include "export/captureloader.h"
#include "export/savedcapturereader.h"
#include "export/savedcapturewriter.h"
#include "fuzzrequire.h"
#include "savedformatoracle.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Stops the run at the broken property, naming its line.
bool plainAscii(const QByteArray &b)
{
    for (char c : b)
        if (static_cast<unsigned char>(c) >= 0x80 || c == 0)
            return false;
    return true;
}

std::vector<QByteArray> openAll(const QByteArray &file, SavedFormat format)
{
    QByteArray bytes = file;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    std::vector<QByteArray> lines;
    const TransferResult r = SavedCaptureReader::open(in, format, [&](const QByteArray &l) {
        // One line, "\n"-ended, never broken by a NUL or an inner line end.
        require(!l.isEmpty() && l.endsWith('\n') && l.count('\n') == 1 && !l.contains('\0'));
        require(l.count(',') >= 6);
        lines.push_back(l);
    });
    require(r.ok() && !r.cancelled);
    require(r.bytesRead == bytes.size());
    require(r.rowsWritten == qint64(lines.size()));
    require(r.rowsWritten + r.linesSkipped + r.blankLines == r.linesRead);
    require((r.linesSkipped > 0) == (r.firstSkippedLine >= 2));
    for (const QByteArray &l : lines)
        require(SavedCaptureReader::isRow(l));
    return lines;
}

QByteArray saveAll(const QByteArray &store, SavedFormat format, TransferResult &r)
{
    QByteArray bytes = store;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    QByteArray saved;
    QBuffer out(&saved);
    out.open(QIODevice::WriteOnly);
    r = SavedCaptureWriter::save(in, out, format, "fuzz & <title>");
    require(r.ok() && !r.cancelled && r.bytesRead == bytes.size());
    require(r.rowsWritten + r.linesSkipped == r.linesRead);
    return saved;
}

void checkAgainstOracle(const QByteArray &line)
{
    for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv}) {
        QByteArray got;
        QByteArray want;
        const bool ok = SavedCaptureReader::convertLine(got, f, line.constData(), line.size());
        require(ok == oracle::storedLine(want, f, line));
        require(got == want);
    }
    for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv, SavedFormat::Html}) {
        std::string got;
        std::string want;
        const bool ok = SavedCaptureWriter::appendRow(got, f, line.constData(), line.size());
        require(ok == oracle::savedRow(want, f, line));
        require(got == want);
    }
}

// Open into a store that holds a capture, in small batches: the store is
// replaced only by what gives a row among its first lines, or is the saved
// header with nothing but blank lines after it, and then holds exactly the
// lines opened; otherwise it is left as it was.
void checkLoad(const QByteArray &file, SavedFormat format, const std::vector<QByteArray> &lines)
{
    static CaptureStore store;
    static const bool opened = store.open(QDir::temp().filePath(
        QStringLiteral("fuzz_saved_capture-%1.dat").arg(QCoreApplication::applicationPid())));
    require(opened);
    static const int removed = std::atexit([] { store.closeAndRemove(); });
    (void)removed;
    const QByteArray old = "0,STOP,--,--,--,--,t\n";
    store.resetStore();
    require(store.appendStoredLine(old));
    QByteArray bytes = file;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    const CaptureLoader::Outcome o = CaptureLoader::load(in, format, store, {}, 64);
    const QByteArray head = file.left(256); // as far as the loader looks for the header
    const int firstEnd = head.indexOf('\n');
    const bool header = SavedCaptureReader::isHeader(format, head.constData(),
                                                     firstEnd < 0 ? head.size() : firstEnd);
    QByteArray again = file;
    QBuffer probe(&again);
    probe.open(QIODevice::ReadOnly);
    const TransferResult first = SavedCaptureReader::open(
        probe, format, [](const QByteArray &) {}, {}, CaptureLoader::kProbeLines);
    // The probe gives up only while no row has been read; once one is, every
    // later line is read, and skipped ones counted, however many.
    require(first.rowsWritten > 0 || first.linesSkipped <= CaptureLoader::kProbeLines);
    require(o.transfer.ok() &&
            o.replaced == (first.rowsWritten > 0 || (header && first.linesSkipped == 0)));
    QByteArray joined;
    for (const QByteArray &l : lines)
        joined += l;
    require(store.readLines(0, store.lineCount()) == (o.replaced ? joined : old));
    require(o.replaced || o.refusal != CaptureLoader::Refusal::None);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const SavedFormat format = (data[0] & 1) ? SavedFormat::Text : SavedFormat::Csv;
    const QByteArray file(reinterpret_cast<const char *>(data + 1), int(size - 1));

    // Each line as the oracle converts it.
    for (int from = 0; from < file.size();) {
        int to = file.indexOf('\n', from);
        to = to < 0 ? file.size() : to + 1;
        checkAgainstOracle(file.mid(from, to - from));
        from = to;
    }

    // Open, then save what was opened and open that again: in plain ASCII,
    // without "0x" (which CSV drops, and a text file may hold) and with seven
    // fields a line (a text field may hold ","), the second open gives back
    // the same stored lines.
    const std::vector<QByteArray> lines = openAll(file, format);
    checkLoad(file, format, lines);
    QByteArray store;
    bool sevenFields = true;
    for (const QByteArray &l : lines) {
        store += l;
        sevenFields = sevenFields && l.count(',') == 6;
    }
    TransferResult r;
    const QByteArray csv = saveAll(store, SavedFormat::Csv, r);
    require(r.rowsWritten == qint64(lines.size()));
    if (sevenFields && plainAscii(store) && !store.contains("0x"))
        require(openAll(csv, SavedFormat::Csv) == lines);

    // The raw bytes as a store: one "\n" per saved row plus the header's, and
    // an HTML file always ends with its closing tags.
    for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv, SavedFormat::Html}) {
        const QByteArray saved = saveAll(file, f, r);
        if (f == SavedFormat::Html)
            require(saved.endsWith("</table>\r\n</body>\r\n</html>") &&
                    saved.count("\n<tr>") == r.rowsWritten + 1);
        else
            require(saved.count('\n') == r.rowsWritten + 1 && saved.endsWith("\r\n"));
    }
    return 0;
}
