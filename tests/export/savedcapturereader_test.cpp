#include "savedcapturereader.h"
#include "savedcapturewriter.h"

#include "bytesprinter.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Opened
{
    std::vector<QByteArray> lines;
    TransferResult result;
};

Opened openAll(const QByteArray &file, SavedFormat format, const TransferProgress &progress = {})
{
    QByteArray bytes = file;
    QBuffer in(&bytes);
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

QByteArray save(const QByteArray &store, SavedFormat format)
{
    QByteArray storeBytes = store;
    QBuffer in(&storeBytes);
    in.open(QIODevice::ReadOnly);
    QByteArray saved;
    QBuffer out(&saved);
    out.open(QIODevice::WriteOnly);
    SavedCaptureWriter::save(in, out, format, "t");
    return saved;
}

const QByteArray exampleStored = "5,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n";

} // namespace

TEST(SavedCaptureReader, ConvertsTextAndCsvRows)
{
    EXPECT_EQ(convert(SavedFormat::Text, "5        | 00.00.01.234.567.890 | DATA  |   50    | "
                                         "WRITE |  ACK  |12 34\r\n"),
              exampleStored);
    EXPECT_EQ(
        convert(SavedFormat::Csv, "5,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n"),
        exampleStored);
    // Text keeps "0x"; CSV removes it everywhere, labels included.
    EXPECT_EQ(convert(SavedFormat::Text, "1|t|DATA|0x50|W|ACK|0x1 [a0xb]\r\n"),
              "1,DATA,0x50,W,0x1 [a0xb],ACK,t\n");
    EXPECT_EQ(convert(SavedFormat::Csv, "1,t,DATA,0x50,W,ACK,0x1 0x[a0xb] \r\n"),
              "1,DATA,50,W,1 [ab],ACK,t\n");
    // Removal does not rejoin: "00xx" loses one "0x".
    EXPECT_EQ(convert(SavedFormat::Csv, "1,t,T,00xx,W,ACK,d\n"), "1,T,0x,W,d,ACK,t\n");
    // Every kind of ASCII white space is trimmed; inner spaces stay.
    EXPECT_EQ(convert(SavedFormat::Csv, " 1 ,\tt t\t,\vT\f, A ,W,ACK,  d  d  "),
              "1,T,A,W,d  d,ACK,t t\n");
    // Parts beyond the seventh are ignored.
    EXPECT_EQ(convert(SavedFormat::Csv, "1,t,T,A,W,R,D,x,y\n"), "1,T,A,W,D,R,t\n");
    // Short lines are skipped, never stored broken.
    for (const QByteArray &line : {QByteArray(""), QByteArray("\r\n"), QByteArray("1,t,T,A,W,R\n"),
                                   QByteArray("a|b|c|d|e|f\n")})
        EXPECT_EQ(convert(line.contains('|') ? SavedFormat::Text : SavedFormat::Csv, line),
                  "<skipped>")
            << line.constData();
}

TEST(SavedCaptureReader, StoresLatin1WithQuestionMarks)
{
    // UTF-8 é becomes the Latin-1 byte, and so does the Latin-1 byte that
    // Save wrote for it (not UTF-8, so read as Latin-1); characters outside
    // Latin-1 become "?".
    EXPECT_EQ(convert(SavedFormat::Csv, "1,t,T,A,W,R,[caf\xC3\xA9]\n"), "1,T,A,W,[caf\xE9],R,t\n");
    EXPECT_EQ(convert(SavedFormat::Csv, "1,t,T,A,W,R,[caf\xE9]\n"), "1,T,A,W,[caf\xE9],R,t\n");
    EXPECT_EQ(convert(SavedFormat::Text, "1|t|T|A|W|R|[温度]\r\n"), "1,T,A,W,[??],R,t\n");
    // The toolkit's white space includes the no-break space.
    EXPECT_EQ(convert(SavedFormat::Csv, "1,t,T,A,W,R,\xC2\xA0[x]\xC2\xA0\n"), "1,T,A,W,[x],R,t\n");
    // Decoding stops at a NUL byte.
    EXPECT_EQ(convert(SavedFormat::Csv, QByteArray("1,t,T,A,W,R,D\0junk,x\n", 20)),
              "1,T,A,W,D,R,t\n");
    EXPECT_EQ(convert(SavedFormat::Csv, QByteArray("1,t,T\0,A,W,R,D\n", 15)), "<skipped>");
}

TEST(SavedCaptureReader, FirstLineSkippedNumbersKept)
{
    // The first line is dropped unread, even when it is a row.
    Opened o = openAll("100,t,DATA,0x50,W,ACK,0x01 \r\n"
                       "101,t,DATA,0x50,W,ACK,0x02 \r\n"
                       "\r\n"
                       "102,t,STOP,--,--,--,--",
                       SavedFormat::Csv);
    ASSERT_EQ(o.lines.size(), 2u);
    EXPECT_EQ(o.lines[0], "101,DATA,50,W,02,ACK,t\n");
    EXPECT_EQ(o.lines[1], "102,STOP,--,--,--,--,t\n");
    EXPECT_EQ(o.result.rowsWritten, 2);
    EXPECT_EQ(o.result.linesSkipped, 1);
    EXPECT_TRUE(o.result.ok());

    EXPECT_TRUE(openAll("", SavedFormat::Csv).lines.empty());
    EXPECT_TRUE(openAll("Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n",
                        SavedFormat::Csv)
                    .lines.empty());
    EXPECT_TRUE(openAll("no line end at all", SavedFormat::Text).lines.empty());
}

TEST(SavedCaptureReader, CancelKeepsTheLineJustConverted)
{
    QByteArray file = "header\n";
    for (int i = 0; i < 1000; ++i)
        file += QByteArray::number(i) + ",t,DATA,0x50,W,ACK,0x01 \r\n";
    int calls = 0;
    const Opened o = openAll(file, SavedFormat::Csv, [&calls](qint64) { return ++calls < 10; });
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
                             "5,STOP,--,--,--,--,00.00.01.235.000.000\n"
                             "6,DATA,50,WRITE,FF,ACK,00.00.01.235.100.000\n";
    std::vector<QByteArray> expected;
    for (const QByteArray &l : store.split('\n'))
        if (!l.isEmpty())
            expected.push_back(l + '\n');
    for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv}) {
        const Opened o = openAll(save(store, f), f);
        EXPECT_EQ(o.lines, expected) << int(f);
        EXPECT_EQ(o.result.bytesRead, save(store, f).size());
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
