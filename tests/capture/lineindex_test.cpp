#include "rowtestutil.h"

#include <gtest/gtest.h>

#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

TEST(LineIndex, KeepsEveryFewDozenOffsetsOfAFullIndex)
{
    LineIndex idx;
    std::vector<qint64> full{0};
    std::mt19937 rng(5);
    for (int step = 0; step < 3000; ++step) {
        const unsigned op = rng() % 16;
        if (op < 10) { // a batch of lines, well past 32 bits
            for (unsigned n = rng() % 90; n > 0; --n)
                idx.push_back(full.emplace_back(full.back() + 1 + rng() % 5000000000LL));
        } else if (op < 12 && full.size() > 1) { // a merge
            idx.setBack(full.back() += 1 + rng() % 9);
        } else if (op < 14) {
            full.resize(full.size() - std::min<size_t>(full.size() - 1, rng() % 80));
            idx.truncate(qint64(full.size()), full.back());
        } else if (op == 14 && rng() % 8 == 0) {
            idx.reset();
            full.assign(1, 0);
        }
        if (op != 11)
            idx.settle();
        ASSERT_TRUE(idx.size() == qint64(full.size()) && idx.back() == full.back());
        for (qint64 i = 0; i < idx.size(); ++i) {
            const qint64 before = idx.keptAtOrBefore(i), after = idx.keptAtOrAfter(i);
            ASSERT_TRUE(before <= i && i <= after && after - before <= LineIndex::kStride) << i;
            ASSERT_TRUE(idx.isKept(before) && idx.isKept(after) && idx.isKept(i & -32)) << i;
            if (idx.isKept(i)) {
                ASSERT_TRUE(before == i && after == i) << i;
                ASSERT_EQ(idx.keptOffset(i), full[size_t(i)]) << i;
            }
        }
        const qint64 probe = full[rng() % full.size()] - 1 + qint64(rng() % 3);
        qint64 expected = 0;
        for (qint64 i = 0; i < idx.size(); ++i)
            if (idx.isKept(i) && full[size_t(i)] <= probe)
                expected = i;
        ASSERT_EQ(idx.lastKeptAtOrBelow(probe), expected) << probe;
    }
    // A batch keeps every entry until it settles; then marks only, at 8 bytes per kStride lines.
    for (qint64 i = 1; i < 10 * LineIndex::kStride * LineIndex::kChunkSize; ++i)
        idx.push_back(idx.back() + 40);
    const qint64 unmarked = ((idx.size() - 40) & -32) + 5; // between two marks
    EXPECT_TRUE(idx.isKept(unmarked) &&
                idx.keptOffset(unmarked) == idx.keptOffset(unmarked - 1) + 40);
    idx.settle();
    EXPECT_FALSE(idx.isKept(unmarked));
    EXPECT_LE(idx.memoryBytes(), size_t(idx.size()) / 4 + LineIndex::kChunkSize * 8 + 512);
    EXPECT_EQ(LineIndex::skipLines("a\nbc\n\nd", 3), 6u);
    EXPECT_EQ(LineIndex::skipLines("a\nbc\n", 3), 5u);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(LineIndex, ResetGivesTheMemoryBackToTheSystem)
{
    const auto resident = [] {
        long pages = 0, total = 0;
        std::FILE *statm = std::fopen("/proc/self/statm", "r");
        EXPECT_TRUE(std::fscanf(statm, "%ld %ld", &total, &pages) == 2 && std::fclose(statm) == 0);
        return pages * ::sysconf(_SC_PAGESIZE);
    };
    LineIndex idx;
    std::vector<std::unique_ptr<char[]>> pins; // keep glibc's heap from shrinking by itself
    for (qint64 i = 1; i <= 12000000; ++i) {
        idx.push_back(i);
        if ((i & (LineIndex::kStride * LineIndex::kChunkSize - 1)) == 0) {
            pins.emplace_back(new char[64]);
            idx.settle();
        }
    }
    const long full = resident();
    idx.reset();
    EXPECT_GT(full - resident(), 2l << 20);
}
#endif

// The store read through its sparse index gives the lines a full index of the file finds,
// whatever appends, merges, failed writes, outside truncations and Clears came before.
TEST(LineIndex, TheStoreReadsTheLinesAFullIndexFinds)
{
    std::signal(SIGXFSZ, SIG_IGN); // a write past RLIMIT_FSIZE fails with EFBIG
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto restore = qScopeGuard([limit] { ::setrlimit(RLIMIT_FSIZE, &limit); });
    QTemporaryDir dir;
    const QString path = dir.filePath("I2CDataTemp.dat");
    CaptureStore s;
    ASSERT_TRUE(s.open(path));
    Flags f;
    std::mt19937 rng(11);
    for (int step = 0; step < 300; ++step) {
        const unsigned op = rng() % 10;
        const qint64 size = s.dataSize();
        // Cut short by someone else (seen by the next batch), or a write that fails part way.
        const qint64 cut = size - qint64(rng() % uint32_t(size + 1));
        ASSERT_EQ(op == 7 ? ::truncate(path.toLocal8Bit().constData(), cut) : 0, 0);
        const rlimit tight{rlim_t(size + rng() % 3000), limit.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, op == 8 ? &tight : &limit), 0);
        std::vector<CaptureRow> rows;
        std::string lines;
        for (unsigned n = rng() % 200; n > 0; --n) {
            rows.push_back(rng() % 4 ? dataRow(0x50, false, "AA", true, n) : CaptureRow::stop(n));
            lines += std::to_string(n) + std::string(rng() % 90, 'x') + "\n";
        }
        f.merge = rng() % 2;
        if (op == 6)
            s.appendStoredLines(lines.data(), qint64(lines.size()));
        else
            store(s, f, rows);
        ::setrlimit(RLIMIT_FSIZE, &limit);

        const std::string c = fileBytes(path);
        std::vector<qint64> full{0};
        for (size_t i = c.find('\n'); i != std::string::npos; i = c.find('\n', i + 1))
            full.push_back(qint64(i) + 1);
        ASSERT_TRUE(s.lineCount() == qint64(full.size()) - 1 && s.dataSize() == full.back());
        for (int k = 0; k < 30; ++k) {
            const size_t first = rng() % full.size(),
                         end = std::min(first + rng() % 70, full.size() - 1);
            EXPECT_EQ(s.readLines(int(first), int(end - first)).toStdString(),
                      c.substr(size_t(full[first]), size_t(full[end] - full[first])));
        }
        if (s.failed() || rng() % 40 == 0)
            s.resetStore();
    }
}
