#include "capture/capturepipeline.h"
#include "capture/storedline.h"
#include "search/lineseeker.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

TEST(LineSeeker, FirstLineAtOrAfterARowNumberOrTime)
{
    QTemporaryDir dir;
    CapturePipeline pipeline;
    ASSERT_TRUE(pipeline.leaseStore()->open(dir.filePath("I2CDataTemp.dat")));
    using K = LineSeeker::Key;
    EXPECT_EQ(LineSeeker::firstAtOrAfter(pipeline, K::Timestamp, 0), 0); // empty
    // Numbered from 10, one row every 1.5 s, after a first line at first, else not.
    const auto fill = [&pipeline](const QByteArray &first) {
        StoreLease store = pipeline.leaseStore();
        store->resetStore();
        ASSERT_TRUE(first.isEmpty() || store->appendStoredLine(first));
        for (int i = 0; i < 300; ++i) {
            std::string line;
            StoredLine::append(line, 10 + i, CaptureRow::start(i * 1500000000LL));
            ASSERT_TRUE(store->appendStoredLine(QByteArray::fromStdString(line)));
        }
    };
    fill("");
    for (auto [key, target, line] : {std::tuple{K::Number, 0LL, 0LL},
                                     {K::Number, 57, 47},
                                     {K::Number, 309, 299},
                                     {K::Number, 310, 300},
                                     {K::Timestamp, 3000000000, 2},
                                     {K::Timestamp, 3000000001, 3},
                                     {K::Timestamp, 1, 1}})
        EXPECT_EQ(LineSeeker::firstAtOrAfter(pipeline, key, target), line) << target;
    // A first line from before midnight: the times do not rise, a scan finds it.
    fill("9,STOP,--,--,--,--,23.59.59.000.000.000\n");
    EXPECT_EQ(LineSeeker::firstAtOrAfter(pipeline, K::Timestamp, 3000000000LL), 0);
    EXPECT_EQ(LineSeeker::firstAtOrAfter(pipeline, K::Number, 57), 48);
    EXPECT_EQ(LineSeeker::firstAtOrAfter(pipeline, K::Number, 999), 301); // past the end
    const std::atomic<bool> canceled{true};                               // the scan stops at once
    EXPECT_EQ(LineSeeker::firstAtOrAfter(pipeline, K::Timestamp, 3000000000LL, &canceled), -1);
    fill("5,bad line\n");
    EXPECT_EQ(LineSeeker::firstAtOrAfter(pipeline, K::Timestamp, 3000000000LL), 3);
    EXPECT_FALSE(LineSeeker::keyOf("3x,START,--,--,--,--,00.00\n", K::Number).has_value());
    EXPECT_EQ(LineSeeker::keyOf("3,START,--,--,--,--,00.01\n", K::Timestamp), 60000000000LL);
}
