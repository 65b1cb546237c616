#include "capturestore.h"
#include "lineseeker.h"
#include "storedline.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

TEST(LineSeeker, FirstLineAtOrAfterARowNumberOrTime)
{
    QTemporaryDir dir;
    CaptureStore store;
    ASSERT_TRUE(store.open(dir.filePath("I2CDataTemp.dat")));
    using K = LineSeeker::Key;
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Timestamp, 0), 0); // empty
    // Numbered from 10, one row every 1.5 s; 00.00.00.000.000.000 and up.
    for (int i = 0; i < 300; ++i) {
        std::string line;
        StoredLine::append(line, 10 + i, CaptureRow::start(i * 1500000000LL));
        ASSERT_TRUE(store.appendStoredLine(QByteArray::fromStdString(line)));
    }
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Number, 0), 0);
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Number, 57), 47);
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Number, 309), 299);
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Number, 310), 300); // none: past the end
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Timestamp, 3000000000LL), 2);
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Timestamp, 3000000001LL), 3);
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Timestamp, 1), 1);

    // Past midnight the times start again: a scan finds the first one.
    std::string line;
    StoredLine::append(line, 310, CaptureRow::start(1000000000LL));
    ASSERT_TRUE(store.appendStoredLine(QByteArray::fromStdString(line)));
    ASSERT_TRUE(store.appendStoredLine("311,bad line\n"));
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Timestamp, 448500000001LL), 302);
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Timestamp, 2000000000LL), 2);
    EXPECT_EQ(LineSeeker::firstAtOrAfter(store, K::Number, 311), 302);
    EXPECT_FALSE(LineSeeker::keyOf("311,bad line\n", K::Number).has_value());
    EXPECT_FALSE(LineSeeker::keyOf("3x,START,--,--,--,--,00.00\n", K::Number).has_value());
    EXPECT_EQ(LineSeeker::keyOf("3,START,--,--,--,--,00.01\n", K::Timestamp), 60000000000LL);
}
