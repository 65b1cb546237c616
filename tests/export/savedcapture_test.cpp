// Whole saved files byte for byte, Save then Open, the file name rule and the
// line reader under them; the shape of single lines is the oracle test's.
#include "linereader.h"
#include "savedcapturereader.h"
#include "savedcapturewriter.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string saveAll(QByteArray store, SavedFormat format, TransferResult &r)
{
    QByteArray saved;
    QBuffer in(&store), out(&saved);
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    r = SavedCaptureWriter::save(in, out, format, "a&b");
    return saved.toStdString();
}

// The stored lines, one after the other.
std::string openAll(const std::string &file, SavedFormat format, TransferResult &r)
{
    QByteArray bytes = QByteArray::fromStdString(file);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
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
        EXPECT_EQ(r.linesRead, 4);
        EXPECT_EQ(r.rowsWritten, 3);
        EXPECT_EQ(r.linesSkipped, 1);
        EXPECT_EQ(r.bytesRead, store.size());
        if (format != SavedFormat::Html) {
            // Open skips the header, and a blank line as too short.
            EXPECT_EQ(openAll(file + "\r\n", format, r),
                      QByteArray(store).replace("broken line\n", "").toStdString() + '\n');
            EXPECT_EQ(r.rowsWritten, 3);
            EXPECT_EQ(r.linesSkipped, 1);
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
}

TEST(LineReader, LinesAcrossBlocksAndLongerThanABlock)
{
    const std::string longLine = std::string(1000, 'x') + '\n';
    for (qsizetype block : {16, 17, 64, 4096}) {
        QBuffer in;
        in.setData(QByteArray::fromStdString("a\n\nbc\r\n" + longLine + "tail"));
        in.open(QIODevice::ReadOnly);
        LineReader reader(in, block);
        std::string lines;
        const char *p;
        qsizetype n;
        while (reader.next(p, n))
            lines.append(p, size_t(n)) += '|';
        EXPECT_EQ(lines, "a\n|\n|bc\r\n|" + longLine + "|tail|") << block;
        EXPECT_EQ(reader.bytesConsumed(), in.size());
    }
}
