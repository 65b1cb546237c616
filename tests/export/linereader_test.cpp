#include "linereader.h"

#include "bytesprinter.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<QByteArray> readAll(const QByteArray &data, qsizetype blockSize)
{
    QByteArray bytes = data;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    LineReader reader(in, blockSize);
    std::vector<QByteArray> lines;
    const char *p;
    qsizetype n;
    while (reader.next(p, n))
        lines.emplace_back(p, int(n));
    EXPECT_EQ(reader.bytesConsumed(), data.size());
    EXPECT_FALSE(reader.failed());
    return lines;
}

} // namespace

TEST(LineReader, LinesAcrossBlocksAndLongerThanABlock)
{
    const QByteArray longLine = QByteArray(1000, 'x') + '\n';
    const QByteArray data = "a\n\nbc\r\n" + longLine + "tail";
    const std::vector<QByteArray> expected = {"a\n", "\n", "bc\r\n", longLine, "tail"};
    for (qsizetype block : {16, 17, 64, 4096})
        EXPECT_EQ(readAll(data, block), expected) << block;
    EXPECT_TRUE(readAll("", 16).empty());
    EXPECT_EQ(readAll("\n", 16), std::vector<QByteArray>{"\n"});
}
