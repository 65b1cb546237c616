#include "savedcapturereader.h"
#include "savedcapturewriter.h"

#include "bytesprinter.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Opened
{
    std::vector<QByteArray> lines;
    TransferResult result;
};

Opened openAll(QByteArray file, SavedFormat format, const TransferProgress &progress = {})
{
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    Opened o;
    o.result = SavedCaptureReader::open(
        in, format, [&o](const QByteArray &line) { o.lines.push_back(line); }, progress);
    return o;
}

QByteArray convert(SavedFormat format, const QByteArray &line)
{
    QByteArray stored;
    if (!SavedCaptureReader::convertLine(stored, format, line.constData(), line.size()))
        return "<skipped>";
    return stored;
}

QByteArray save(QByteArray store, SavedFormat format)
{
    QBuffer in(&store);
    in.open(QIODevice::ReadOnly);
    QByteArray saved;
    QBuffer out(&saved);
    out.open(QIODevice::WriteOnly);
    SavedCaptureWriter::save(in, out, format, "t");
    return saved;
}

} // namespace

TEST(SavedCaptureReader, ConvertsTextAndCsvRows)
{
    const QByteArray stored = "5,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n";
    EXPECT_EQ(convert(SavedFormat::Text, "5        | 00.00.01.234.567.890 | DATA  |   50    | "
                                         "WRITE |  ACK  |12 34\r\n"),
              stored);
    EXPECT_EQ(
        convert(SavedFormat::Csv, "5,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n"),
        stored);
    // Text keeps "0x"; CSV removes every one, once ("00xx" keeps "0x").
    EXPECT_EQ(convert(SavedFormat::Text, "1|t|DATA|0x50|W|ACK|0x1 [a0xb]\r\n"),
              "1,DATA,0x50,W,0x1 [a0xb],ACK,t\n");
    EXPECT_EQ(convert(SavedFormat::Csv, "1,t,T,00xx,W,ACK,0x1 0x[a0xb] x\n"),
              "1,T,0x,W,1 [ab] x,ACK,t\n");
    // ASCII white space is trimmed, inner spaces stay, parts beyond the
    // seventh are dropped, and fewer than seven give no line.
    EXPECT_EQ(convert(SavedFormat::Csv, " 1 ,\tt t\t,\vT\f, A ,W,R,  d  d  ,x"),
              "1,T,A,W,d  d,R,t t\n");
    EXPECT_EQ(convert(SavedFormat::Csv, "1,t,T,A,W,R\n"), "<skipped>");
    EXPECT_EQ(convert(SavedFormat::Text, "a|b|c|d|e|f\n"), "<skipped>");
    // Stored as Latin-1, "?" outside it; the toolkit's white space is wider
    // than ASCII's.
    EXPECT_EQ(
        convert(SavedFormat::Csv, "1,t,T,A,W,R,\xC2\xA0[caf\xC3\xA9 \xE6\xB8\xA9]\xE3\x80\x80\n"),
        "1,T,A,W,[caf\xE9 ?],R,t\n");
}

TEST(SavedCaptureReader, FirstLineSkippedAndCancelKeepsTheLastLine)
{
    // The first line is dropped unread, even when it is a row.
    Opened o = openAll("100,t,DATA,0x50,W,ACK,0x01 \r\n"
                       "101,t,DATA,0x50,W,ACK,0x02 \r\n"
                       "\r\n"
                       "102,t,STOP,--,--,--,--",
                       SavedFormat::Csv);
    EXPECT_EQ(o.lines,
              std::vector<QByteArray>({"101,DATA,50,W,02,ACK,t\n", "102,STOP,--,--,--,--,t\n"}));
    EXPECT_EQ(o.result.linesRead, 3);
    EXPECT_EQ(o.result.rowsWritten, 2);
    EXPECT_EQ(o.result.linesSkipped, 1);
    EXPECT_TRUE(o.result.ok());

    QByteArray file = "header\n";
    for (int i = 0; i < 1000; ++i)
        file += QByteArray::number(i) + ",t,DATA,0x50,W,ACK,0x01 \r\n";
    int calls = 0;
    o = openAll(file, SavedFormat::Csv, [&calls](qint64) { return ++calls < 10; });
    EXPECT_TRUE(o.result.cancelled);
    ASSERT_EQ(o.lines.size(), 10u);
    EXPECT_EQ(o.lines.back(), "9,DATA,50,W,01,ACK,t\n");
}

TEST(SavedCaptureReader, SaveThenOpenRoundTrips)
{
    const QByteArray store = "0,START,--,--,--,--,00.00.01.234.567.890\n"
                             "1,ADDR,50,WRITE,--,ACK,00.00.01.234.600.000\n"
                             "2,DATA,50,WRITE,01 02 03,ACK,00.00.01.234.700.000\n"
                             "3,DATA,50,WRITE,A5 [Temp] [Mode],NACK,00.00.01.234.800.000\n"
                             "4,DATA,--,READ,,ACK,23.59.59.999.999.999\n"
                             "5,STOP,--,--,--,--,00.00.01.235.000.000\n";
    std::vector<QByteArray> expected;
    for (const QByteArray &l : store.split('\n'))
        if (!l.isEmpty())
            expected.push_back(l + '\n');
    for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv}) {
        const QByteArray saved = save(store, f);
        const Opened o = openAll(saved, f);
        EXPECT_EQ(o.lines, expected) << int(f);
        EXPECT_EQ(o.result.bytesRead, saved.size());
    }

    // What the formats cannot carry: text cuts to its widths and keeps only
    // ASCII, CSV keeps Latin-1 and drops "0x" inside labels. A capture opened
    // and saved again keeps its Latin-1 letters.
    const QByteArray lossy = "123456789012,DATA,50,WRITE,12 [caf\xC3\xA9] [0xA] [温],ACK,t\n";
    EXPECT_EQ(openAll(save(lossy, SavedFormat::Text), SavedFormat::Text).lines,
              std::vector<QByteArray>{"123456789,DATA,50,WRITE,12 [caf?] [0xA] [?],ACK,t\n"});
    EXPECT_EQ(openAll(save(lossy, SavedFormat::Csv), SavedFormat::Csv).lines,
              std::vector<QByteArray>{"123456789012,DATA,50,WRITE,12 [caf\xE9] [A] [?],ACK,t\n"});
    const QByteArray opened = "1,DATA,50,WRITE,12 [caf\xE9],ACK,t\n";
    EXPECT_EQ(openAll(save(opened, SavedFormat::Csv), SavedFormat::Csv).lines,
              std::vector<QByteArray>{opened});
}
