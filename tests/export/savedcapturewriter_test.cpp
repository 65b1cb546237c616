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
QByteArray saveAll(const QByteArray &store, SavedFormat format, const QString &title = "t",
                   const TransferProgress &progress = {}, TransferResult *result = nullptr)
{
    QByteArray storeBytes = store;
    QBuffer in(&storeBytes);
    in.open(QIODevice::ReadOnly);
    QByteArray saved;
    QBuffer out(&saved);
    out.open(QIODevice::WriteOnly);
    const TransferResult r = SavedCaptureWriter::save(in, out, format, title, progress);
    if (result)
        *result = r;
    return saved;
}

const std::string example = "5,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n";

} // namespace

TEST(SavedFormat, ExtensionRule)
{
    EXPECT_EQ(savedFormatForSave("/tmp/a.txt"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForSave("/tmp/a.txt.csv"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForSave("/tmp/dir.TXT/a.html"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForSave("/tmp/A.CSV"), SavedFormat::Csv);
    EXPECT_EQ(savedFormatForSave("/tmp/a.csv.html"), SavedFormat::Csv);
    EXPECT_EQ(savedFormatForSave("/tmp/a.Html"), SavedFormat::Html);
    EXPECT_EQ(savedFormatForSave("/tmp/a.htm"), SavedFormat::None);
    EXPECT_EQ(savedFormatForSave("/tmp/atxt"), SavedFormat::None);
    EXPECT_EQ(savedFormatForSave(""), SavedFormat::None);

    EXPECT_EQ(savedFormatForOpen("/tmp/a.TXT"), SavedFormat::Text);
    EXPECT_EQ(savedFormatForOpen("/tmp/a.csv"), SavedFormat::Csv);
    EXPECT_EQ(savedFormatForOpen("/tmp/a.html"), SavedFormat::Csv);
    EXPECT_EQ(savedFormatForOpen("/tmp/a"), SavedFormat::Csv);
}

TEST(SavedCaptureWriter, TextLayout)
{
    EXPECT_EQ(row(SavedFormat::Text, example),
              "5        | 00.00.01.234.567.890 | DATA  |   50    | WRITE |  ACK  |12 34\r\n");
    // Merged data is never cut; START/STOP keep their "--".
    EXPECT_EQ(row(SavedFormat::Text, "7,DATA,50,READ,12 34 56,NACK,00.00.00.000.000.001\n"),
              "7        | 00.00.00.000.000.001 | DATA  |   50    | READ  |  NACK |12 34 56\r\n");
    EXPECT_EQ(row(SavedFormat::Text, "0,START,--,--,--,--,00.00.01.234.567.890\n"),
              "0        | 00.00.01.234.567.890 | START |   --    | --    |  --   |--\r\n");
    // Over-long fields are cut to their widths, a short data text padded to 2,
    // and nothing is prefixed.
    EXPECT_EQ(row(SavedFormat::Text,
                  "12345678901,TYPELONG,ADDRESS7,DIRECTION,A,RESPONSE,123456789012345678901234\n"),
              "123456789| 123456789012345678901| TYPELO|   ADDRES| DIRECT|  RESPO|A \r\n");
}

TEST(SavedCaptureWriter, CsvPrefixesDataAndAddressRows)
{
    EXPECT_EQ(row(SavedFormat::Csv, example),
              "5,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n");
    EXPECT_EQ(row(SavedFormat::Csv, "2,DATA,50,WRITE,12 34 56,ACK,t\n"),
              "2,t,DATA,0x50,WRITE,ACK,0x12 0x34 0x56 \r\n");
    // A label is a data part like any other.
    EXPECT_EQ(row(SavedFormat::Csv, "3,DATA,50,WRITE,A5 [Name],ACK,t\n"),
              "3,t,DATA,0x50,WRITE,ACK,0xA5 0x[Name] \r\n");
    // Empty parts of the data are kept.
    EXPECT_EQ(row(SavedFormat::Csv, "3,DATA,50,WRITE,A5  B6,ACK,t\n"),
              "3,t,DATA,0x50,WRITE,ACK,0xA5 0x 0xB6 \r\n");
    EXPECT_EQ(row(SavedFormat::Csv, "1,ADDR,50,READ,--,ACK,t\n"), "1,t,ADDR,0x50,READ,ACK,--\r\n");
    EXPECT_EQ(row(SavedFormat::Csv, "0,START,--,--,--,--,t\n"), "0,t,START,--,--,--,--\r\n");
    // The type must match exactly.
    EXPECT_EQ(row(SavedFormat::Csv, "4,data,50,WRITE,12,ACK,t\n"), "4,t,data,50,WRITE,ACK,12\r\n");
    // Fields beyond the seventh are ignored; a line without "\n" is a line.
    EXPECT_EQ(row(SavedFormat::Csv, "4,STOP,--,--,--,--,t,extra,more"), "4,t,STOP,--,--,--,--\r\n");
    // A timestamp longer than the text width stays whole.
    EXPECT_EQ(row(SavedFormat::Csv, "4,STOP,--,--,--,--,123456789012345678901234\n"),
              "4,123456789012345678901234,STOP,--,--,--,--\r\n");
}

TEST(SavedCaptureWriter, HtmlRowsAreEscapedUtf8)
{
    EXPECT_EQ(row(SavedFormat::Html, example),
              "<tr>\r\n<td>5</td>\r\n<td>00.00.01.234.567.890</td>\r\n<td>DATA</td>\r\n"
              "<td>0x50</td>\r\n<td>WRITE</td>\r\n<td>ACK</td>\r\n<td>0x12 0x34 </td>\r\n"
              "</tr>\r\n");
    const std::string labelled =
        row(SavedFormat::Html, "3,DATA,50,WRITE,A5 [<b>&\"x\"] [温度],ACK,t\n");
    EXPECT_NE(labelled.find("<td>0xA5 0x[&lt;b&gt;&amp;&quot;x&quot;] 0x[温度] </td>"),
              std::string::npos)
        << labelled;

    const QByteArray head = SavedCaptureWriter::header(SavedFormat::Html, "/tmp/a&b <c>/温.html");
    EXPECT_EQ(head,
              QByteArray("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\"/>\r\n"
                         "<title>/tmp/a&amp;b &lt;c&gt;/温.html</title>\r\n"
                         "</head>\r\n<body>\r\n<table border=\"1\">\r\n<tr>\r\n"
                         "<th>Count</th>\r\n<th>Time(h.m.s.ms.us.ns)</th>\r\n"
                         "<th>Type</th>\r\n<th>Addr(Hex)</th>\r\n<th>R/W</th>\r\n"
                         "<th>Respond</th>\r\n<th>Data(Hex)</th>\r\n</tr>\r\n"));
    EXPECT_EQ(SavedCaptureWriter::footer(SavedFormat::Html),
              QByteArray("</table>\r\n</body>\r\n</html>"));
}

TEST(SavedCaptureWriter, CharactersOutsideTheEncodingBecomeQuestionMarks)
{
    // é (U+00E9) is Latin-1: CSV keeps it as one byte, text turns it into "?".
    const std::string e = "1,DATA,50,WRITE,A5 [caf\xC3\xA9],ACK,t\n";
    EXPECT_EQ(row(SavedFormat::Csv, e), "1,t,DATA,0x50,WRITE,ACK,0xA5 0x[caf\xE9] \r\n");
    EXPECT_EQ(row(SavedFormat::Text, e),
              "1        | t                    | DATA  |   50    | WRITE |  ACK  |A5 [caf?]\r\n");
    // Outside Latin-1 becomes "?" in CSV.
    EXPECT_EQ(row(SavedFormat::Csv, "1,DATA,50,WRITE,[温],ACK,t\n"),
              "1,t,DATA,0x50,WRITE,ACK,0x[?] \r\n");
    // A line Open stored in Latin-1 (not valid UTF-8) is read as Latin-1.
    EXPECT_EQ(row(SavedFormat::Csv, "1,DATA,50,WRITE,[\xE9],ACK,t\n"),
              "1,t,DATA,0x50,WRITE,ACK,0x[\xE9] \r\n");
    // Cut and padding count characters, not bytes.
    EXPECT_EQ(row(SavedFormat::Text, "1,\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9,"
                                     "50,WRITE,12,ACK,t\n"),
              "1        | t                    | ??????|   50    | WRITE |  ACK  |12\r\n");
}

TEST(SavedCaptureWriter, ShortLinesAndNulBytes)
{
    std::string out;
    for (const std::string line : {"", "\n", "1,DATA,50,WRITE,12,ACK\n", "garbage\n"})
        EXPECT_FALSE(SavedCaptureWriter::appendRow(out, SavedFormat::Csv, line.data(),
                                                   qsizetype(line.size())));
    EXPECT_TRUE(out.empty());
    // Decoding stops at a NUL byte, so the fields after it are gone.
    const std::string nul("1,DATA,50,WRITE,12,ACK,t\0,x\n", 27);
    EXPECT_EQ(row(SavedFormat::Csv, nul), "1,t,DATA,0x50,WRITE,ACK,0x12 \r\n");
    const std::string early("1,DATA\0,50,WRITE,12,ACK,t\n", 26);
    EXPECT_EQ(row(SavedFormat::Csv, early), "");
    // Seven empty fields still make a row.
    EXPECT_EQ(row(SavedFormat::Text, ",,,,,,\n"),
              "         |                      |       |         |       |       |  \r\n");
}

TEST(SavedCaptureWriter, WholeFiles)
{
    // An empty capture: the header alone, for HTML with its end.
    EXPECT_EQ(saveAll("", SavedFormat::Csv),
              "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n");
    EXPECT_EQ(saveAll("", SavedFormat::Text),
              "  Count  | Time(h.m.s.ms.us.ns) | Type  |Addr(Hex)|  R/W  |Respond|Data(Hex)\r\n");
    EXPECT_EQ(saveAll("", SavedFormat::Html), SavedCaptureWriter::header(SavedFormat::Html, "t") +
                                                  "</table>\r\n</body>\r\n</html>");

    const QByteArray store = "0,START,--,--,--,--,a\n"
                             "broken line\n"
                             "1,ADDR,50,WRITE,--,ACK,b\n"
                             "2,STOP,--,--,--,--,c"; // last line without "\n"
    TransferResult r;
    EXPECT_EQ(saveAll(store, SavedFormat::Csv, "t", {}, &r),
              "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n"
              "0,a,START,--,--,--,--\r\n"
              "1,b,ADDR,0x50,WRITE,ACK,--\r\n"
              "2,c,STOP,--,--,--,--\r\n");
    EXPECT_EQ(r.rowsWritten, 3);
    EXPECT_EQ(r.linesSkipped, 1);
    EXPECT_EQ(r.bytesRead, store.size());
}

TEST(SavedCaptureWriter, CancelLeavesCompleteRowsAndTheHtmlEnd)
{
    QByteArray store;
    for (int i = 0; i < 10000; ++i)
        store += QByteArray::number(i) + ",DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n";
    qint64 fiveThousandLines = 0;
    for (int i = 0; i < 5000; ++i)
        fiveThousandLines = store.indexOf('\n', int(fiveThousandLines)) + 1;
    for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv, SavedFormat::Html}) {
        // Cancel once the 5000th line has been read: it is not written.
        qint64 calls = 0;
        qint64 lastBytes = 0;
        const auto cancelAt = [&](qint64 bytes) {
            lastBytes = bytes;
            return ++calls < 5000;
        };
        TransferResult r;
        const QByteArray saved = saveAll(store, f, "t", cancelAt, &r);
        EXPECT_TRUE(r.cancelled);
        EXPECT_EQ(r.rowsWritten, 4999);
        EXPECT_EQ(r.bytesRead, fiveThousandLines);
        EXPECT_EQ(lastBytes, fiveThousandLines);
        const QByteArray last = f == SavedFormat::Html
                                    ? QByteArray("</tr>\r\n</table>\r\n</body>\r\n</html>")
                                    : QByteArray("\r\n");
        EXPECT_TRUE(saved.endsWith(last));
        EXPECT_EQ(saved.count(f == SavedFormat::Html ? "<tr>" : "\r\n"), 5000); // header + 4999
        EXPECT_TRUE(saved.contains(f == SavedFormat::Html ? "<td>4998</td>" : "\r\n4998"));
        EXPECT_FALSE(saved.contains("4999"));
    }
}
