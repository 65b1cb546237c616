#include "rowtestutil.h"

#include <gtest/gtest.h>

#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct Labels : RowLabeler
{
    int calls = 0;
    std::atomic<bool> *mergeAfterFirst = nullptr;
    void applySymbols(CaptureRow &row) override
    {
        ++calls;
        row.data += " [L]";
        if (mergeAfterFirst)
            mergeAfterFirst->store(true);
    }
};

class StoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.filePath("I2CDataTemp.dat");
        ASSERT_TRUE(s.open(path)) << s.errorString().toStdString();
    }
    std::string contents() const { return fileBytes(path); }
    // Index, counters and file agree: every entry a line start, the last the file's end.
    void expectConsistent()
    {
        const std::string c = contents();
        ASSERT_EQ(qint64(c.size()), s.dataSize());
        EXPECT_EQ(s.storedBytes(), s.dataSize());
        EXPECT_EQ(s.lineCount(), s.lineIndex().lineCount());
        EXPECT_EQ(s.nextRowNumber(), s.lineCount());
        EXPECT_EQ(s.readLines(0, s.lineCount()).toStdString(), c);
        for (int i = 0, at = 0; i < s.lineCount(); at += s.readLines(i++, 1).size())
            EXPECT_EQ(s.readLines(i, 1).toStdString(),
                      c.substr(size_t(at), c.find('\n', at) - at + 1));
    }

    QTemporaryDir dir;
    QString path;
    CaptureStore s;
    Flags f;
};

std::vector<CaptureRow> transferRows()
{
    return {CaptureRow::start(1000),
            addrRow(0x50, false, true, 2000),
            dataRow(0x50, false, "01", true, 3000),
            dataRow(0x50, false, "02", true, 4000),
            dataRow(0x50, false, "03", false, 5000),
            CaptureRow::stop(6000)};
}

// Rebuilds every stored line's row from what observers are told.
struct RowMirror : StoreObserver
{
    std::vector<CaptureRow> rows;
    int resets = 0;
    void lineAdded(qint64 line, const CaptureRow &row) override
    {
        EXPECT_EQ(line, qint64(rows.size()));
        rows.push_back(row);
    }
    void lineMerged(qint64 line, const CaptureRow &row) override
    {
        ASSERT_EQ(line + 1, qint64(rows.size()));
        rows.back().data += ' ' + row.data;
        rows.back().timeNs = row.timeNs;
    }
    void storeReset() override
    {
        rows.clear();
        ++resets;
    }
    void linesKept(qint64 lines) override { rows.resize(size_t(lines)); }
};
} // namespace

TEST_F(StoreTest, WritesOneLinePerRowAndIndexesIt)
{
    store(s, f, {CaptureRow::start(1234567890)});
    store(s, f, {addrRow(0x50, true, false, 5), dataRow(0x50, true, "3C", true, 6)});
    const std::string expected = "0,START,--,--,--,--,00.00.01.234.567.890\n"
                                 "1,ADDR,50,READ,--,NACK,00.00.00.000.000.005\n"
                                 "2,DATA,50,READ,3C,ACK,00.00.00.000.000.006\n";
    EXPECT_EQ(contents(), expected);
    expectConsistent(); // each line read on its own too
    EXPECT_EQ(s.previousRow(), dataRow(0x50, true, "3C", true, 6));
    EXPECT_EQ(s.readLines(1, 99).toStdString(), expected.substr(41));
    EXPECT_TRUE(s.readLines(3, 1).isEmpty() && s.readLines(-1, 1).isEmpty());
}

TEST_F(StoreTest, MergesConsecutiveRowsOfOneTransfer)
{
    f.merge = true;
    store(s, f, transferRows());
    EXPECT_EQ(contents(), "0,START,--,--,--,--," + ts(1000) + "\n" + //
                              "1,ADDR,50,WRITE,--,ACK," + ts(2000) + "\n" +
                              "2,DATA,50,WRITE,01 02,ACK," + ts(4000) + "\n" +
                              "3,DATA,50,WRITE,03,NACK," + ts(5000) + "\n" + "4,STOP,--,--,--,--," +
                              ts(6000) + "\n");
    EXPECT_TRUE(s.nextRowNumber() == 5 && s.previousRow().data == "--");
    expectConsistent();
    // Switching merging off changes no written line; only later rows.
    f.merge = false;
    store(s, f, {CaptureRow::stop(7000)});
    EXPECT_EQ(s.lineCount(), 6);
    // Clear: row 0 again at offset 0, previousRow kept. The first two rows
    // after it are lines of their own even when equal; then any type merges.
    const CaptureRow last = s.previousRow();
    s.resetStore();
    EXPECT_EQ(s.previousRow(), last);
    f.merge = true;
    store(s, f, {CaptureRow::stop(1), CaptureRow::stop(2), CaptureRow::start(3)});
    store(s, f, {CaptureRow::start(4)});
    EXPECT_EQ(contents(), "0,STOP,--,--,--,--," + ts(1) + "\n1,STOP,--,--,--,--," + ts(2) +
                              "\n2,START,--,--,-- --,--," + ts(4) + "\n");
    expectConsistent();
}

TEST_F(StoreTest, MergedFileDoesNotDependOnBatching)
{
    // Long runs of equal rows, ending with another response; negative times (longer text).
    std::vector<CaptureRow> rows = transferRows();
    for (int i = 0; i < 300; ++i)
        rows.push_back(dataRow(0x21, true, "A" + std::to_string(i % 10), i % 50 != 49,
                               i < 5 ? -1000 * i - 1 : 10000 + i));
    rows.push_back(CaptureRow::stop(-5));
    rows.push_back(CaptureRow::stop(99));
    f.merge = true;
    store(s, f, rows);
    const std::string oneBatch = contents();
    const qint64 lines = s.lineCount();
    ASSERT_LT(lines, 20);
    for (size_t size : {size_t(1), size_t(2), size_t(7)}) {
        s.resetStore();
        for (size_t i = 0; i < rows.size(); i += size)
            store(s, f,
                  std::vector<CaptureRow>(rows.begin() + long(i),
                                          rows.begin() + long(std::min(rows.size(), i + size))));
        EXPECT_EQ(contents(), oneBatch) << "batches of " << size;
        EXPECT_EQ(s.lineCount(), lines);
        expectConsistent();
    }
}

TEST_F(StoreTest, LabelsOnlyWithDecodeAloneAndReadsTheFlagsForEveryRow)
{
    Labels labels;
    f.decode = true;
    store(s, f, {CaptureRow::start(1)}, &labels); // labelled also as the first line
    f.merge = true;                               // both flags: merge or plain, never labels
    store(s, f, {CaptureRow::start(2), addrRow(1, false, true, 3), addrRow(1, false, true, 4)},
          &labels);
    EXPECT_EQ(labels.calls, 1);
    f.merge = false;
    store(s, f, {dataRow(1, false, "05", true, 5)}, &labels);
    store(s, f, {dataRow(1, false, "06", true, 6)}); // no labeler: plain
    EXPECT_EQ(contents(), "0,START,--,--,-- [L],--," + ts(1) + "\n1,START,--,--,--,--," + ts(2) +
                              "\n2,ADDR,01,WRITE,-- --,ACK," + ts(4) +
                              "\n3,DATA,01,WRITE,05 [L],ACK," + ts(5) +
                              "\n4,DATA,01,WRITE,06,ACK," + ts(6) + "\n");
    // The labeler switches merging on mid-batch, as the GUI may: the rows after it merge at once.
    labels.mergeAfterFirst = &f.merge;
    store(s, f, {dataRow(1, false, "10", true, 7), dataRow(1, false, "11", true, 8)}, &labels);
    EXPECT_EQ(labels.calls, 3);
    EXPECT_EQ(s.lineCount(), 6);
    EXPECT_EQ(s.previousRow().data, "10 [L] 11");
}

TEST_F(StoreTest, StoredLinesFromOpenNeverTakeAMerge)
{
    f.merge = true;
    store(s, f, transferRows());
    s.resetStore();
    EXPECT_TRUE(s.appendStoredLine("100,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n"));
    EXPECT_TRUE(s.appendStoredLine("101,DATA,50,WRITE,56,ACK,00.00.01.234.567.891")); // "\n" added
    EXPECT_TRUE(s.appendStoredLine("102,STOP,--,--,--,--,00.00.01.234.567.892\n"));
    EXPECT_TRUE(s.nextRowNumber() == 3 && s.previousRow().fieldCount == 0);
    EXPECT_EQ(s.unsavedRowCount(), 0); // emptied, and opened lines are saved ones
    expectConsistent();
    // Equal to the row stored before the Open, but not merged into its line.
    store(s, f, {CaptureRow::stop(7), CaptureRow::stop(8)});
    EXPECT_EQ(s.unsavedRowCount(), 2);
    s.markSaved();
    EXPECT_EQ(s.unsavedRowCount(), 0);
    EXPECT_EQ(s.readLines(3, 1).toStdString(), "3,STOP,--,--,-- --,--," + ts(8) + "\n");
}

TEST(CaptureStoreFailure, AFullFileKeepsTheIndexOnTheStoredBytes)
{
    // Files limited to 100,000 bytes (SIGXFSZ ignored, so writes past it fail with EFBIG).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto restore = qScopeGuard([limit] { ::setrlimit(RLIMIT_FSIZE, &limit); });
    const rlimit tiny{100000, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    QTemporaryDir dir;
    const QString path = dir.filePath("I2CDataTemp.dat");
    for (bool merge : {false, true}) {
        SCOPED_TRACE(merge ? "merged" : "plain");
        CaptureStore s;
        ASSERT_TRUE(s.open(path));
        // Batches of equal DATA rows plus a STOP: merged, a batch rewrites the last line's tail.
        for (int b = 0; b < 10000 && !s.failed(); ++b) {
            std::vector<CaptureRow> rows(37, dataRow(0x10, false, "AA", true, b));
            if (b % 3 == 2)
                rows.push_back(CaptureRow::stop(b));
            s.appendRows(rows, merge, false, nullptr);
        }
        EXPECT_TRUE(s.failed() && s.failureCount() == 1 &&
                    s.errorString().contains("write failed"));
        const std::string c = fileBytes(path);
        EXPECT_TRUE(qint64(c.size()) == s.dataSize() && c.size() > 50000);
        EXPECT_EQ(s.nextRowNumber(), s.lineCount());
        const QList<QByteArray> lines = s.readLines(0, s.lineCount()).split('\n');
        ASSERT_EQ(lines.size(), s.lineCount() + 1);
        for (int i = 0; i < s.lineCount(); ++i)
            ASSERT_TRUE(lines[i].startsWith(QByteArray::number(i) + ",") &&
                        lines[i].count(',') == 6);
        std::vector<CaptureRow> more = {CaptureRow::start(1)};
        const qint64 before = s.lineCount();
        s.appendRows(more, merge, false, nullptr); // nothing more is stored
        EXPECT_TRUE(s.lineCount() == before && s.failureCount() == 1 &&
                    !s.appendStoredLine("0,START,--,--,--,--,t\n"));
        s.resetStore(); // Clear frees the space: storing resumes from row 0
        s.appendRows(more, merge, false, nullptr);
        EXPECT_TRUE(!s.failed() && s.lineCount() == 1 && fileBytes(path).size() == 41);
        // Opened lines in one batch: the whole ones written stay, a part of the next is cut.
        std::string batch;
        for (int i = 0; i < 2500; ++i)
            batch += "1,DATA,50,WRITE,12 34,ACK,00.00.01.234.5\n";
        EXPECT_FALSE(s.appendStoredLines(batch.data(), qint64(batch.size())));
        EXPECT_TRUE(s.lineCount() == 2439 && s.nextRowNumber() == 2439 &&
                    fileBytes(path).size() == 2439 * 41);
    }
}

TEST_F(StoreTest, ARemovedOrTruncatedFileStopsStoring)
{
    store(s, f, transferRows());
    const std::string before = contents();
    ASSERT_EQ(::unlink(path.toLocal8Bit().constData()), 0);
    store(s, f, transferRows());
    EXPECT_TRUE(s.failed() && s.failureCount() == 1 && s.errorString().contains("removed"));
    // What was stored stays readable through the store.
    EXPECT_EQ(s.readLines(0, s.lineCount()).toStdString(), before);
    // Clear starts a new file under the same name.
    s.resetStore();
    EXPECT_FALSE(s.failed());
    store(s, f, {CaptureRow::start(5)});
    EXPECT_EQ(contents(), "0,START,--,--,--,--," + ts(5) + "\n");
    // Cut short by someone else: the index keeps only the whole lines left.
    store(s, f, transferRows());
    ASSERT_EQ(::truncate(path.toLocal8Bit().constData(), 100), 0);
    store(s, f, transferRows());
    EXPECT_TRUE(s.failureCount() == 2 && s.lineCount() == 2);
    expectConsistent();
}

TEST(CaptureStoreFailure, OnlyOurOwnPlainFileIsOpenedAndCut)
{
    // What another user may put in the capture file's place: refused with the reason, and
    // the file behind it keeps its bytes.
    QTemporaryDir dir;
    const auto native = [&dir](const char *name) { return dir.filePath(name).toLocal8Bit(); };
    for (const char *name : {"precious", "foreign", "I2CDataTemp.dat"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("keep") == 4);
    }
    ASSERT_EQ(::chown(native("foreign"), ::geteuid() + 1, ::getegid()), 0);
    ASSERT_EQ(::symlink(native("precious"), native("link")), 0);
    ASSERT_EQ(::symlink(native("target"), native("dangling")), 0);
    ASSERT_EQ(::link(native("precious"), native("hard")), 0);
    ASSERT_EQ(::mkfifo(native("fifo"), 0600), 0);
    for (const auto &[name, why] : {std::pair("link", "符号链接"),
                                    {"dangling", "符号链接"},
                                    {"hard", "硬链接"},
                                    {"fifo", "命名管道"},
                                    {"foreign", "其他用户"},
                                    {".", "目录"},
                                    {"no/I2CDataTemp.dat", "No such file"}}) {
        CaptureStore s;
        const QString path = dir.filePath(name);
        EXPECT_FALSE(s.open(path)) << name;
        EXPECT_EQ(s.errorString().left(path.size() + 2), path + ": ");
        EXPECT_TRUE(s.errorString().contains(QString::fromUtf8(why))) << name;
        Flags f;
        store(s, f, {CaptureRow::start(1)}); // not open: a failure, not a crash
        EXPECT_TRUE(s.failed());
    }
    EXPECT_EQ(fileBytes(dir.filePath("precious")) + fileBytes(dir.filePath("foreign")), "keepkeep");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("target")));
    CaptureStore s; // our own file left from an earlier run is emptied as before
    EXPECT_TRUE(s.open(dir.filePath("I2CDataTemp.dat")));
    EXPECT_EQ(fileBytes(s.fileName()), "");
}

TEST_F(StoreTest, ObserversAreToldEveryLineAsTheRowItWasStoredFor)
{
    RowMirror mirror;
    s.addObserver(&mirror);
    Labels labels;
    f.merge = true;
    store(s, f, transferRows());
    f.merge = false;
    f.decode = true;
    store(s, f, {addrRow(0x7F, true, false, 3600000000000LL * 23 + 59999999999LL)}, &labels);
    ASSERT_TRUE(s.appendStoredLine("9,DATA,0a,READ,FF,NACK,01.02.03.004.005.006"));
    ASSERT_TRUE(s.appendStoredLine("10,???,--,--,x,--,garbage"));
    // Every line read back from the file gives the row the observer holds.
    ASSERT_EQ(qint64(mirror.rows.size()), s.lineCount());
    const QList<QByteArray> fileLines = QByteArray::fromStdString(contents()).split('\n');
    for (int i = 0; i < s.lineCount(); ++i) {
        StoredLine line;
        CaptureRow row;
        const std::string text = fileLines[i].toStdString();
        ASSERT_TRUE(line.parse(text));
        EXPECT_EQ(line.toRow(&row), i != 7) << i;
        EXPECT_EQ(row, mirror.rows[size_t(i)]) << text;
    }
    EXPECT_TRUE(mirror.rows[6].address == 0x0A && mirror.rows[6].timeNs == 3723004005006LL);
    // Short forms as a user types them; out-of-range or malformed ones refused.
    int64_t t = -1;
    EXPECT_TRUE(CaptureRow::timestampFromText("1.5", &t) && t == 3900000000000LL);
    for (const char *bad :
         {"", "24", "1.60", "1..2", "1.2.3.4.5.6.7", "00.00.1000", "a", "1.", "0001"})
        EXPECT_FALSE(CaptureRow::timestampFromText(bad, &t)) << bad;
    uint8_t a = 0;
    EXPECT_FALSE(CaptureRow::addressFromText("80", &a) || CaptureRow::addressFromText("5", &a));
    EXPECT_TRUE(CaptureRow::addressFromText("7f", &a) && a == 0x7F);
    s.resetStore();
    EXPECT_TRUE(mirror.rows.empty());
    s.removeObserver(&mirror);
    store(s, f, transferRows());
    EXPECT_TRUE(mirror.rows.empty() && mirror.resets == 1);
}
