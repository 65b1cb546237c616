// Whole saved files byte for byte, Save then Open, Cancel, the file name rule
// and the line reader under them; the shape of single lines is left to the
// oracle test.
#include "linereader.h"
#include "savedcapturereader.h"
#include "savedcapturewriter.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <vector>

// GoogleTest prints byte arrays as text rather than byte by byte.
inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}

namespace {

QByteArray saveAll(QByteArray store, SavedFormat format, TransferResult &r,
                   const TransferProgress &progress = {})
{
    QBuffer in(&store);
    in.open(QIODevice::ReadOnly);
    QByteArray saved;
    QBuffer out(&saved);
    out.open(QIODevice::WriteOnly);
    r = SavedCaptureWriter::save(in, out, format, "a&b", progress);
    return saved;
}

std::vector<QByteArray> openAll(QByteArray file, SavedFormat format, TransferResult &r)
{
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    std::vector<QByteArray> lines;
    r = SavedCaptureReader::open(in, format, [&](const QByteArray &l) { lines.push_back(l); });
    return lines;
}

} // namespace

TEST(SavedCapture, EachFormatByteForByteThenOpenedBack)
{
    const QByteArray store = "0,START,--,--,--,--,00.00.01.234.567.890\n"
                             "broken line\n"
                             "2,DATA,50,WRITE,01 02 03,ACK,00.00.01.234.700.000\n"
                             "3,DATA,50,READ,A5 [<T>],NACK,00.00.01.234.800.000\n"
                             "4,STOP,--,--,--,--,00.00.01.234.900.000";
    const QByteArray text =
        "  Count  | Time(h.m.s.ms.us.ns) | Type  |Addr(Hex)|  R/W  |Respond|Data(Hex)\r\n"
        "0        | 00.00.01.234.567.890 | START |   --    | --    |  --   |--\r\n"
        "2        | 00.00.01.234.700.000 | DATA  |   50    | WRITE |  ACK  |01 02 03\r\n"
        "3        | 00.00.01.234.800.000 | DATA  |   50    | READ  |  NACK |A5 [<T>]\r\n"
        "4        | 00.00.01.234.900.000 | STOP  |   --    | --    |  --   |--\r\n";
    const QByteArray csv = "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n"
                           "0,00.00.01.234.567.890,START,--,--,--,--\r\n"
                           "2,00.00.01.234.700.000,DATA,0x50,WRITE,ACK,0x01 0x02 0x03 \r\n"
                           "3,00.00.01.234.800.000,DATA,0x50,READ,NACK,0xA5 0x[<T>] \r\n"
                           "4,00.00.01.234.900.000,STOP,--,--,--,--\r\n";
    const QByteArray html =
        "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\"/>\r\n"
        "<title>a&amp;b</title>\r\n</head>\r\n<body>\r\n<table border=\"1\">\r\n<tr>\r\n"
        "<th>Count</th>\r\n<th>Time(h.m.s.ms.us.ns)</th>\r\n<th>Type</th>\r\n"
        "<th>Addr(Hex)</th>\r\n<th>R/W</th>\r\n<th>Respond</th>\r\n<th>Data(Hex)</th>\r\n</tr>\r\n"
        "<tr>\r\n<td>0</td>\r\n<td>00.00.01.234.567.890</td>\r\n<td>START</td>\r\n<td>--</td>\r\n"
        "<td>--</td>\r\n<td>--</td>\r\n<td>--</td>\r\n</tr>\r\n"
        "<tr>\r\n<td>2</td>\r\n<td>00.00.01.234.700.000</td>\r\n<td>DATA</td>\r\n<td>0x50</td>\r\n"
        "<td>WRITE</td>\r\n<td>ACK</td>\r\n<td>0x01 0x02 0x03 </td>\r\n</tr>\r\n"
        "<tr>\r\n<td>3</td>\r\n<td>00.00.01.234.800.000</td>\r\n<td>DATA</td>\r\n<td>0x50</td>\r\n"
        "<td>READ</td>\r\n<td>NACK</td>\r\n<td>0xA5 0x[&lt;T&gt;] </td>\r\n</tr>\r\n"
        "<tr>\r\n<td>4</td>\r\n<td>00.00.01.234.900.000</td>\r\n<td>STOP</td>\r\n<td>--</td>\r\n"
        "<td>--</td>\r\n<td>--</td>\r\n<td>--</td>\r\n</tr>\r\n</table>\r\n</body>\r\n</html>";
    std::vector<QByteArray> lines;
    for (const QByteArray &l : store.split('\n'))
        if (l.contains(','))
            lines.push_back(l + '\n');

    TransferResult r;
    for (auto [format, file] :
         {std::pair(SavedFormat::Text, text), {SavedFormat::Csv, csv}, {SavedFormat::Html, html}}) {
        EXPECT_EQ(saveAll(store, format, r), file);
        EXPECT_EQ(r.linesRead, 5);
        EXPECT_EQ(r.rowsWritten, 4);
        EXPECT_EQ(r.linesSkipped, 1);
        EXPECT_EQ(r.bytesRead, store.size());
        if (format != SavedFormat::Html) {
            EXPECT_EQ(openAll(file, format, r), lines);
            EXPECT_EQ(r.rowsWritten, 4);
            EXPECT_EQ(r.bytesRead, file.size());
        }
    }
    EXPECT_EQ(saveAll(store, SavedFormat::None, r), "");
    EXPECT_EQ(r.linesRead, 0);

    // Cancel seen at the third line: it is not written, the HTML end is.
    int calls = 0;
    EXPECT_EQ(saveAll(store, SavedFormat::Html, r, [&](qint64) { return ++calls < 3; }),
              html.left(html.indexOf("<tr>\r\n<td>2<")) + "</table>\r\n</body>\r\n</html>");
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.rowsWritten, 1);
    EXPECT_EQ(r.bytesRead, store.indexOf("3,D"));

    // Open skips the first line whatever it holds, and counts a blank one.
    EXPECT_EQ(openAll("0,t,STOP,--,--,--,--\r\n\r\n1,t,STOP,--,--,--,--", SavedFormat::Csv, r),
              std::vector<QByteArray>{"1,STOP,--,--,--,--,t\n"});
    EXPECT_EQ(r.linesRead, 2);
    EXPECT_EQ(r.linesSkipped, 1);
}

TEST(SavedFormat, ExtensionRule)
{
    EXPECT_EQ(savedFormatForSave("/tmp/a.txt.csv"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForSave("/tmp/dir.TXT/a.html"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForSave("/tmp/a.csv.html"), SavedFormat::Csv);
    EXPECT_EQ(savedFormatForSave("/tmp/a.Html"), SavedFormat::Html);
    EXPECT_EQ(savedFormatForSave("/tmp/a.htm"), SavedFormat::None);
    EXPECT_EQ(savedFormatForOpen("/tmp/a.TXT"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForOpen("/tmp/a.html"), SavedFormat::Csv);
}

TEST(LineReader, LinesAcrossBlocksAndLongerThanABlock)
{
    const QList<QByteArray> expected = {"a\n", "\n", "bc\r\n", QByteArray(1000, 'x') + '\n',
                                        "tail"};
    for (qsizetype block : {16, 17, 64, 4096}) {
        QByteArray data = expected.join();
        QBuffer in(&data);
        in.open(QIODevice::ReadOnly);
        LineReader reader(in, block);
        QList<QByteArray> lines;
        const char *p;
        qsizetype n;
        while (reader.next(p, n))
            lines << QByteArray(p, int(n));
        EXPECT_EQ(lines, expected) << block;
        EXPECT_EQ(reader.bytesConsumed(), data.size());
    }
}
