// Open and Clear rebuild the store while a filter and finds run beside them and a capture thread
// stores: every party reaches the store through its lease, so ThreadSanitizer sees no race, and the
// filter ends on the rows the store holds.
#include "../search/searchtestutil.h"

#include "capture/capturepipeline.h"
#include "export/captureloader.h"
#include "export/savedcapturewriter.h"
#include "search/capturesearch.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>

#include <thread>

TEST(OpenWhileSearching, OpenAndClearWhileAFilterAndAFindRun)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr); // the find's answers are queued signals
    SearchFixture f;
    f.store(3000, false, 50);
    // A saved capture of these rows, to open again and again.
    QFile store(f.pipeline.store().fileName()), saved(f.dir.filePath("saved.csv"));
    ASSERT_TRUE(store.open(QIODevice::ReadOnly) && saved.open(QIODevice::WriteOnly));
    ASSERT_TRUE(SavedCaptureWriter::save(store, saved, SavedFormat::Csv, saved.fileName()).ok());
    saved.close();
    const QStringList savedLines = f.lines();
    CaptureSearch search(f.pipeline, f.blocks);
    SearchQuery filterQuery, findQuery;
    QString error;
    ASSERT_TRUE(filterQuery.parse("addr=33", &error) && findQuery.parse("data=12,34", &error));
    search.startFilter(filterQuery);
    std::atomic<bool> capturing{true};
    const auto storing = [&] {
        while (capturing.load())
            f.store(200, false, 50);
    };
    std::thread capture(storing);
    for (int round = 0; round < 12; ++round) {
        search.find(findQuery, round * 100, round % 2);
        if (round % 3 == 0)
            f.pipeline.leaseStore()->resetStore(); // Clear, also while capturing
        if (round % 3 != 2)
            continue;
        // Open runs with no capture, holding the store for the whole load.
        capturing.store(false);
        capture.join();
        QFile in(saved.fileName());
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        const CaptureLoader::Outcome opened =
            CaptureLoader::load(in, SavedFormat::Csv, f.pipeline.leaseStore().store(), {}, 4096);
        EXPECT_TRUE(opened.replaced && opened.transfer.ok());
        EXPECT_EQ(f.lines(), savedLines);
        capturing.store(true);
        capture = std::thread(storing);
    }
    capturing.store(false);
    capture.join();
    search.cancelFind();
    const std::vector<qint64> expected = bruteForce(f.lines(), oracleQueries()[0]);
    const VisibleRows &rows = caughtUp(search, expected.size());
    ASSERT_EQ(rows.count(), qint64(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(rows.storedLine(qint64(i)), expected[i]);
    search.stopFilter();
}
