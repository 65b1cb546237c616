// Save and Open of whole files and the exact bytes of each format; every
// other line shape is left to the oracle test.
#include "savedcapturereader.h"
#include "savedcapturewriter.h"

#include "bytesprinter.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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

std::vector<QByteArray> openAll(QByteArray file, SavedFormat format,
                                const TransferProgress &progress = {},
                                TransferResult *result = nullptr)
{
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    std::vector<QByteArray> lines;
    const TransferResult r = SavedCaptureReader::open(
        in, format, [&lines](const QByteArray &line) { lines.push_back(line); }, progress);
    if (result)
        *result = r;
    return lines;
}

std::string row(SavedFormat format, const std::string &stored)
{
    std::string out;
    SavedCaptureWriter::appendRow(out, format, stored.data(), qsizetype(stored.size()));
    return out;
}

const char kTextHeader[] =
    "  Count  | Time(h.m.s.ms.us.ns) | Type  |Addr(Hex)|  R/W  |Respond|Data(Hex)\r\n";
const char kCsvHeader[] = "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n";

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
    const std::string stored = "5,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n";
    EXPECT_EQ(row(SavedFormat::Text, stored),
              "5        | 00.00.01.234.567.890 | DATA  |   50    | WRITE |  ACK  |12 34\r\n");
    // Fields are cut to their widths, data never; short data is padded to 2.
    EXPECT_EQ(row(SavedFormat::Text, "12345678901,TYPELONG,ADDRESS7,DIRECTION,A,RESPONSE,"
                                     "123456789012345678901234\n"),
              "123456789| 123456789012345678901| TYPELO|   ADDRES| DIRECT|  RESPO|A \r\n");
    EXPECT_EQ(row(SavedFormat::Csv, stored),
              "5,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n");
    EXPECT_EQ(row(SavedFormat::Csv, "1,ADDR,50,READ,--,ACK,t\n"), "1,t,ADDR,0x50,READ,ACK,--\r\n");
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
}

TEST(SavedCaptureWriter, WholeFilesSkipBrokenLinesAndCancelKeepsTheEnd)
{
    EXPECT_EQ(saveAll("", SavedFormat::Text), kTextHeader);
    EXPECT_EQ(saveAll("", SavedFormat::Html), SavedCaptureWriter::header(SavedFormat::Html, "t") +
                                                  "</table>\r\n</body>\r\n</html>");
    EXPECT_EQ(saveAll("0,START,--,--,--,--,a\n", SavedFormat::None), "");
    const QByteArray store = "0,START,--,--,--,--,a\nbroken line\n2,STOP,--,--,--,--,c";
    TransferResult r;
    EXPECT_EQ(saveAll(store, SavedFormat::Csv, {}, &r),
              kCsvHeader + QByteArray("0,a,START,--,--,--,--\r\n2,c,STOP,--,--,--,--\r\n"));
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

TEST(SavedCaptureReader, FirstLineSkippedAndCancelKeepsTheLastLine)
{
    TransferResult r;
    EXPECT_EQ(openAll("100,t,DATA,0x50,W,ACK,0x01 \r\n"
                      "101,t,DATA,0x50,W,ACK,0x00xx02 \r\n"
                      "\r\n"
                      "5        | 00.00.01.234.567.890 | DATA  |   50    | WRITE |  ACK  |12 34",
                      SavedFormat::Csv, {}, &r),
              std::vector<QByteArray>{"101,DATA,50,W,0x02,ACK,t\n"});
    EXPECT_EQ(r.linesRead, 3);
    EXPECT_EQ(r.rowsWritten, 1);
    EXPECT_EQ(r.linesSkipped, 2);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(openAll(QByteArray(kTextHeader) + "5        | 00.00.01.234.567.890 | DATA  |   50    "
                                                "| WRITE |  ACK  |12 34\r\n",
                      SavedFormat::Text),
              std::vector<QByteArray>{"5,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n"});

    QByteArray file = "header\n";
    for (int i = 0; i < 1000; ++i)
        file += QByteArray::number(i) + ",t,DATA,0x50,W,ACK,0x01 \r\n";
    int calls = 0;
    const auto lines = openAll(
        file, SavedFormat::Csv, [&calls](qint64) { return ++calls < 10; }, &r);
    EXPECT_TRUE(r.cancelled);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines.back(), "9,DATA,50,W,01,ACK,t\n");
}

TEST(SavedCaptureReader, SaveThenOpenRoundTrips)
{
    const QByteArray store = "0,START,--,--,--,--,00.00.01.234.567.890\n"
                             "1,ADDR,50,WRITE,--,ACK,00.00.01.234.600.000\n"
                             "2,DATA,50,WRITE,01 02 03,ACK,00.00.01.234.700.000\n"
                             "3,DATA,50,WRITE,A5 [Temp] [Mode],NACK,00.00.01.234.800.000\n"
                             "4,DATA,--,READ,,ACK,23.59.59.999.999.999\n";
    std::vector<QByteArray> expected;
    for (const QByteArray &l : store.split('\n'))
        if (!l.isEmpty())
            expected.push_back(l + '\n');
    for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv}) {
        const QByteArray saved = saveAll(store, f);
        TransferResult r;
        EXPECT_EQ(openAll(saved, f, {}, &r), expected) << int(f);
        EXPECT_EQ(r.bytesRead, saved.size());
    }
    // What the formats cannot carry: text cuts to its widths and keeps only
    // ASCII, CSV keeps Latin-1 and drops "0x" inside labels.
    const QByteArray lossy = "123456789012,DATA,50,WRITE,12 [caf\xC3\xA9] [0xA] [温],ACK,t\n";
    EXPECT_EQ(openAll(saveAll(lossy, SavedFormat::Text), SavedFormat::Text),
              std::vector<QByteArray>{"123456789,DATA,50,WRITE,12 [caf?] [0xA] [?],ACK,t\n"});
    EXPECT_EQ(openAll(saveAll(lossy, SavedFormat::Csv), SavedFormat::Csv),
              std::vector<QByteArray>{"123456789012,DATA,50,WRITE,12 [caf\xE9] [A] [?],ACK,t\n"});
}
