#include "savedcapturewriter.h"

#include "bytesprinter.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string row(SavedFormat format, const std::string &stored)
{
    std::string out;
    SavedCaptureWriter::appendRow(out, format, stored.data(), qsizetype(stored.size()));
    return out;
}

// Saves `store` (stored lines) and returns the file's bytes.
QByteArray saveAll(QByteArray store, SavedFormat format, const TransferProgress &progress = {},
                   TransferResult *result = nullptr)
{
    QBuffer in(&store);
    in.open(QIODevice::ReadOnly);
    QByteArray saved;
    QBuffer out(&saved);
    out.open(QIODevice::WriteOnly);
    const TransferResult r = SavedCaptureWriter::save(in, out, format, "t", progress);
    if (result)
        *result = r;
    return saved;
}

const std::string kExample = "5,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n";
const QByteArray kCsvHeader = "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n";

} // namespace

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

TEST(SavedCaptureWriter, RowsOfEachFormat)
{
    EXPECT_EQ(row(SavedFormat::Text, kExample),
              "5        | 00.00.01.234.567.890 | DATA  |   50    | WRITE |  ACK  |12 34\r\n");
    // Over-long fields are cut to their widths, data never; short data is
    // padded to 2 and nothing is prefixed.
    EXPECT_EQ(row(SavedFormat::Text,
                  "12345678901,TYPELONG,ADDRESS7,DIRECTION,A,RESPONSE,123456789012345678901234\n"),
              "123456789| 123456789012345678901| TYPELO|   ADDRES| DIRECT|  RESPO|A \r\n");

    EXPECT_EQ(row(SavedFormat::Csv, kExample),
              "5,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n");
    // Empty data parts keep their "0x"; an address row prefixes the address
    // only; the type must match exactly; fields beyond the seventh are dropped.
    EXPECT_EQ(row(SavedFormat::Csv, "3,DATA,50,WRITE,A5  [N],ACK,t"),
              "3,t,DATA,0x50,WRITE,ACK,0xA5 0x 0x[N] \r\n");
    EXPECT_EQ(row(SavedFormat::Csv, "1,ADDR,50,READ,--,ACK,t\n"), "1,t,ADDR,0x50,READ,ACK,--\r\n");
    EXPECT_EQ(row(SavedFormat::Csv, "4,data,50,WRITE,12,ACK,t,x\n"),
              "4,t,data,50,WRITE,ACK,12\r\n");

    EXPECT_EQ(row(SavedFormat::Html, "3,DATA,50,WRITE,A5 [<b>&\"x\"],ACK,t\n"),
              "<tr>\r\n<td>3</td>\r\n<td>t</td>\r\n<td>DATA</td>\r\n<td>0x50</td>\r\n"
              "<td>WRITE</td>\r\n<td>ACK</td>\r\n"
              "<td>0xA5 0x[&lt;b&gt;&amp;&quot;x&quot;] </td>\r\n</tr>\r\n");
    EXPECT_EQ(SavedCaptureWriter::header(SavedFormat::Html, "a&b <c>"),
              "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\"/>\r\n"
              "<title>a&amp;b &lt;c&gt;</title>\r\n</head>\r\n<body>\r\n<table border=\"1\">\r\n"
              "<tr>\r\n<th>Count</th>\r\n<th>Time(h.m.s.ms.us.ns)</th>\r\n<th>Type</th>\r\n"
              "<th>Addr(Hex)</th>\r\n<th>R/W</th>\r\n<th>Respond</th>\r\n<th>Data(Hex)</th>\r\n"
              "</tr>\r\n");

    // Too few fields: nothing at all.
    EXPECT_EQ(row(SavedFormat::Csv, "1,DATA,50,WRITE,12,ACK\n"), "");
}

TEST(SavedCaptureWriter, WholeFilesSkipBrokenLinesAndCancelKeepsTheEnd)
{
    EXPECT_EQ(saveAll("", SavedFormat::Csv), kCsvHeader);
    EXPECT_EQ(saveAll("", SavedFormat::Text),
              "  Count  | Time(h.m.s.ms.us.ns) | Type  |Addr(Hex)|  R/W  |Respond|Data(Hex)\r\n");
    EXPECT_EQ(saveAll("", SavedFormat::Html), SavedCaptureWriter::header(SavedFormat::Html, "t") +
                                                  "</table>\r\n</body>\r\n</html>");
    EXPECT_EQ(saveAll("0,START,--,--,--,--,a\n", SavedFormat::None), "");

    const QByteArray store = "0,START,--,--,--,--,a\n"
                             "broken line\n"
                             "2,STOP,--,--,--,--,c"; // last line without "\n"
    TransferResult r;
    EXPECT_EQ(saveAll(store, SavedFormat::Csv, {}, &r),
              kCsvHeader + "0,a,START,--,--,--,--\r\n2,c,STOP,--,--,--,--\r\n");
    EXPECT_EQ(r.linesRead, 3);
    EXPECT_EQ(r.rowsWritten, 2);
    EXPECT_EQ(r.linesSkipped, 1);
    EXPECT_EQ(r.bytesRead, store.size());

    // Enough rows to pass the flush threshold more than once.
    QByteArray big;
    for (int i = 0; i < 10000; ++i)
        big += QByteArray::number(i) + ",DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n";
    const qint64 fiveThousandLines = big.indexOf("\n5000,") + 1;
    for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv, SavedFormat::Html}) {
        // Cancel once the 5000th line has been read: it is not written.
        qint64 calls = 0;
        qint64 lastBytes = 0;
        const auto cancelAt = [&](qint64 bytes) {
            lastBytes = bytes;
            return ++calls < 5000;
        };
        const QByteArray saved = saveAll(big, f, cancelAt, &r);
        EXPECT_TRUE(r.cancelled);
        EXPECT_EQ(r.rowsWritten, 4999);
        EXPECT_EQ(r.bytesRead, fiveThousandLines);
        EXPECT_EQ(lastBytes, fiveThousandLines);
        const bool html = f == SavedFormat::Html;
        EXPECT_TRUE(saved.endsWith(html ? "</tr>\r\n</table>\r\n</body>\r\n</html>" : "\r\n"));
        EXPECT_EQ(saved.count(html ? "<tr>" : "\r\n"), 5000); // header + 4999
        EXPECT_TRUE(saved.contains(html ? "<td>4998</td>" : "\r\n4998"));
        EXPECT_FALSE(saved.contains("4999"));
    }
}
