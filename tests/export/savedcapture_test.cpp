// Whole saved files byte for byte, Save then Open, the file name rule and the
// line reader under them; the shape of single lines is the oracle test's.
#include "capture/capturestore.h"
#include "export/captureloader.h"
#include "export/linereader.h"
#include "export/savedcapturereader.h"
#include "export/savedcapturewriter.h"

#include <QBuffer>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 kProbe = CaptureLoader::kProbeLines;

// A device that reads `bytes`.
struct Reading : QBuffer
{
    explicit Reading(const QByteArray &bytes) { setData(bytes), open(QIODevice::ReadOnly); }
};

std::string saveAll(QByteArray store, SavedFormat format, TransferResult &r)
{
    Reading in(store);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    r = SavedCaptureWriter::save(in, out, format, "a&b");
    return out.data().toStdString();
}

// The stored lines, one after the other.
std::string openAll(const std::string &file, SavedFormat format, TransferResult &r)
{
    Reading in(QByteArray::fromStdString(file));
    std::string lines;
    r = SavedCaptureReader::open(in, format,
                                 [&](const QByteArray &l) { lines += l.toStdString(); });
    return lines;
}

} // namespace

TEST(SavedCapture, EachFormatByteForByteThenOpenedBack)
{
    const QByteArray store = "2,DATA,50,WRITE,01 02 03,ACK,00.00.01.234.700.000\n"
                             "broken line\n"
                             "3,DATA,50,READ,A5 [<T>],NACK,00.00.01.234.800.000\n"
                             "4,STOP,--,--,--,--,00.00.01.234.900.000";
    const std::string text =
        "  Count  | Time(h.m.s.ms.us.ns) | Type  |Addr(Hex)|  R/W  |Respond|Data(Hex)\r\n"
        "2        | 00.00.01.234.700.000 | DATA  |   50    | WRITE |  ACK  |01 02 03\r\n"
        "3        | 00.00.01.234.800.000 | DATA  |   50    | READ  |  NACK |A5 [<T>]\r\n"
        "4        | 00.00.01.234.900.000 | STOP  |   --    | --    |  --   |--\r\n";
    const std::string csv = "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n"
                            "2,00.00.01.234.700.000,DATA,0x50,WRITE,ACK,0x01 0x02 0x03 \r\n"
                            "3,00.00.01.234.800.000,DATA,0x50,READ,NACK,0xA5 0x[<T>] \r\n"
                            "4,00.00.01.234.900.000,STOP,--,--,--,--\r\n";
    const std::string html =
        "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\"/>\r\n"
        "<title>a&amp;b</title>\r\n</head>\r\n<body>\r\n<table border=\"1\">\r\n<tr>\r\n"
        "<th>Count</th>\r\n<th>Time(h.m.s.ms.us.ns)</th>\r\n<th>Type</th>\r\n"
        "<th>Addr(Hex)</th>\r\n<th>R/W</th>\r\n<th>Respond</th>\r\n<th>Data(Hex)</th>\r\n</tr>\r\n"
        "<tr>\r\n<td>2</td>\r\n<td>00.00.01.234.700.000</td>\r\n<td>DATA</td>\r\n<td>0x50</td>\r\n"
        "<td>WRITE</td>\r\n<td>ACK</td>\r\n<td>0x01 0x02 0x03 </td>\r\n</tr>\r\n"
        "<tr>\r\n<td>3</td>\r\n<td>00.00.01.234.800.000</td>\r\n<td>DATA</td>\r\n<td>0x50</td>\r\n"
        "<td>READ</td>\r\n<td>NACK</td>\r\n<td>0xA5 0x[&lt;T&gt;] </td>\r\n</tr>\r\n"
        "<tr>\r\n<td>4</td>\r\n<td>00.00.01.234.900.000</td>\r\n<td>STOP</td>\r\n<td>--</td>\r\n"
        "<td>--</td>\r\n<td>--</td>\r\n<td>--</td>\r\n</tr>\r\n</table>\r\n</body>\r\n</html>";
    TransferResult r;
    for (auto [format, file] :
         {std::pair(SavedFormat::Text, text), {SavedFormat::Csv, csv}, {SavedFormat::Html, html}}) {
        EXPECT_EQ(saveAll(store, format, r), file);
        EXPECT_EQ(std::vector<qint64>({r.linesRead, r.rowsWritten, r.linesSkipped, r.bytesRead}),
                  std::vector<qint64>({4, 3, 1, store.size()}));
        if (format != SavedFormat::Html) {
            // Open skips the header, and a blank line.
            EXPECT_EQ(openAll(file + "\r\n", format, r),
                      QByteArray(store).replace("broken line\n", "").toStdString() + '\n');
            EXPECT_TRUE(r.rowsWritten == 3 && r.linesSkipped == 0 && r.blankLines == 1);
        }
    }
}

TEST(SavedFormat, ExtensionRule)
{
    EXPECT_EQ(savedFormatForSave("/tmp/a.txt.csv"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForSave("/tmp/dir.TXT/a.html"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForSave("/tmp/a.csv.html"), SavedFormat::Csv);
    EXPECT_EQ(savedFormatForSave("/tmp/a.htm"), SavedFormat::None);
    EXPECT_EQ(savedFormatForOpen("/tmp/a.TXT"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForOpen("/tmp/a.html"), SavedFormat::Csv);
    // Save adds the chosen filter's extension to a name that selects nothing.
    EXPECT_EQ(savedFileName("/tmp/a", "Hyper Text Markup Language (*.html)"), "/tmp/a.html");
    EXPECT_EQ(savedFileName("/tmp/a.dat", ""), "/tmp/a.dat.txt");
    EXPECT_EQ(savedFileName("/tmp/a.CSV", "Text (*.txt)"), "/tmp/a.CSV");
}

TEST(LineReader, LinesAcrossBlocksAndLongerThanABlock)
{
    const std::string longLine = std::string(1000, 'x') + '\n';
    for (qsizetype block : {16, 17, 64, 4096}) {
        Reading in(QByteArray::fromStdString("a\n\nbc\r\n" + longLine + "tail"));
        LineReader reader(in, block);
        std::string lines;
        const char *p;
        qsizetype n;
        while (reader.next(p, n))
            lines.append(p, size_t(n)) += '|';
        EXPECT_EQ(lines, "a\n|\n|bc\r\n|" + longLine + "|tail|") << block;
        EXPECT_EQ(reader.bytesConsumed(), in.size());
    }
    // A line up to the limit passes, with or without its "\n"; longer stops.
    for (const char *text : {"abc\n", "abc"}) {
        for (qsizetype max : {3, 2}) {
            Reading in(text);
            LineReader reader(in, 16, max);
            const char *p;
            qsizetype n;
            EXPECT_TRUE(reader.next(p, n) == (max == 3) && reader.lineTooLong() == (max == 2));
        }
    }
}

// Open into a store that holds a capture: only a saved capture replaces it.
TEST(CaptureLoader, ReplacesTheStoreOnlyWithASavedCapture)
{
    QTemporaryDir dir;
    const std::string header =
        "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n";
    const std::string row = "7,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n";
    const std::string stored = "7,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n";
    const std::string old = "0,STOP,--,--,--,--,t\n";
    const std::string huge = header + row + "1,2,3,4,5,6," + std::string(65 << 20, 'A');
    using R = CaptureLoader::Refusal;
    const qsizetype one = 1, big = CaptureLoader::kBatchBytes;
    // The file, its format, the batch size, the store afterwards (old: not replaced), the
    // refusal and the line too long to read.
    const std::tuple<std::string, SavedFormat, qsizetype, std::string, R, qint64> cases[] = {
        {header + row + row, SavedFormat::Csv, one, stored + stored, R::None, 0},
        {header + " \r\n", SavedFormat::Csv, big, "", R::None, 0},           // an empty capture
        {header + "a,b\r\n", SavedFormat::Csv, big, old, R::NotACapture, 0}, // no row
        {"junk\r\n" + row, SavedFormat::Csv, big, stored, R::None, 0},       // a row is enough
        {header + row, SavedFormat::Text, big, old, R::NotACapture, 0},
        {"<!DOCTYPE html>\r\n<html>\r\n", SavedFormat::Csv, big, old, R::Html, 0},
        {std::string("C\0o\0u\0,\0", 8), SavedFormat::Csv, big, old, R::Utf16, 0},
        // Too long: refused while its row waits in the batch, kept once written.
        {huge, SavedFormat::Csv, big, old, R::Unreadable, 3},
        {huge, SavedFormat::Csv, one, stored, R::None, 3},
        {header + std::string(64 << 20, 'A') + "\r\n", SavedFormat::Csv, big, old, R::NotACapture,
         0},
    };
    for (const auto &[file, format, batch, storedAfter, refusal, failedLine] : cases) {
        CaptureStore store;
        ASSERT_TRUE(store.open(dir.filePath("I2CDataTemp.dat")));
        ASSERT_TRUE(store.appendStoredLine(QByteArray::fromStdString(old)));
        Reading device(QByteArray::fromStdString(file));
        const CaptureLoader::Outcome o = CaptureLoader::load(device, format, store, {}, batch);
        EXPECT_EQ(o.replaced, storedAfter != old) << file.substr(0, 40);
        EXPECT_EQ(store.readLines(0, store.lineCount()).toStdString(), storedAfter);
        EXPECT_EQ(o.refusal, refusal);
        EXPECT_EQ(o.failedLine, failedLine);
        EXPECT_EQ(o.transfer.lineTooLong, failedLine != 0);
        EXPECT_EQ(o.linesStored, o.replaced ? store.lineCount() : 0);
    }
    CaptureStore full; // the first write fails: the reading stops with the store's reason
    const int devFull = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_TRUE(full.openSink(devFull));
    const auto closeFull = qScopeGuard([devFull] { ::close(devFull); });
    Reading device(QByteArray::fromStdString(header + row + row));
    const TransferResult t = CaptureLoader::load(device, SavedFormat::Csv, full, {}, 1).transfer;
    EXPECT_TRUE(!t.ok() && !t.cancelled && t.rowsWritten == 1) << t.error.toStdString();
}

// Seven separators make no row: what is no row is skipped and counted, and a file whose
// first lines hold no row is refused.
TEST(CaptureLoader, LinesThatAreNoRowsAreToldAndAFileWithoutRowsRefused)
{
    const std::string header = "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\n";
    const std::string row = "7,t,DATA,0x50,W,A,0x12 \r\n", stop = "8,t,STOP,--,--,--,--\r\n";
    std::string junk;
    for (int i = 0; i < kProbe - 1; ++i)
        junk += "1,t,JUNK,50,W,A,1\r\n";
    const SavedFormat csv = SavedFormat::Csv, text = SavedFormat::Text;
    // Rows afterwards (-1: refused), lines skipped, the first of them, blank lines.
    const std::tuple<std::string, SavedFormat, qint64, qint64, qint64, qint64> cases[] = {
        {header + "1,t,DATA,5G,W,A,1\r\n" + row + "\t\r\na,b\r\n" + stop, csv, 2, 2, 2, 1},
        {header + "1,t,DATA,7,W,A,1\r\n1,t,data,50,W,A,1\r\n" + row, csv, 1, 2, 2, 0},
        {header + junk + row, csv, 1, kProbe - 1, 2, 0},
        {header + junk + "x\r\n" + row, csv, -1, kProbe, 2, 0},
        {"no header\r\n" + stop + junk, csv, 1, kProbe - 1, 3, 0},
        {"h\r\n0|t|ADDR|  51 |W|A|--\r\n", text, 1, 0, 0, 0},
        {"h\r\n0|t|ADDR|  0x51 |W|A|--\r\n", text, -1, 1, 2, 0},
    };
    QTemporaryDir dir;
    CaptureStore store;
    ASSERT_TRUE(store.open(dir.filePath("I2CDataTemp.dat")));
    for (const auto &[file, format, rows, skipped, first, blank] : cases) {
        Reading device(QByteArray::fromStdString(file));
        const CaptureLoader::Outcome o = CaptureLoader::load(device, format, store);
        const TransferResult &t = o.transfer;
        EXPECT_EQ(o.replaced ? store.lineCount() : -1, rows) << file.substr(0, 60);
        EXPECT_EQ(o.refusal,
                  rows < 0 ? CaptureLoader::Refusal::NotACapture : CaptureLoader::Refusal::None);
        EXPECT_EQ(
            std::vector<qint64>({t.rowsWritten, t.linesSkipped, t.firstSkippedLine, t.blankLines}),
            std::vector<qint64>({std::max<qint64>(rows, 0), skipped, first, blank}));
        // A refused file is read no further than its first lines.
        EXPECT_EQ(t.bytesRead < device.size(), rows < 0 && skipped == kProbe);
    }
}
