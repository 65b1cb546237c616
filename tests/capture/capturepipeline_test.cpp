#include "capture/capturepipeline.h"
#include "rowtestutil.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <thread>

namespace {
QStringList logged;

class PipelineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        logged.clear();
        qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &msg) { logged << msg; });
        path = dir.filePath("I2CDataTemp.dat");
        ASSERT_TRUE(p.leaseStore()->open(path));
    }
    void TearDown() override { qInstallMessageHandler(nullptr); }
    int feed(const std::vector<I2CEvent> &e) { return p.onI2CEvents(e.data(), int(e.size())); }
    QByteArray line(int i) const { return p.store().readLines(i, 1); }

    QTemporaryDir dir;
    QString path;
    CapturePipeline p;
};

// START, ADDR 50 WRITE ACK, DATA byte ACK, STOP: four rows.
std::vector<I2CEvent> transfer(int64_t t, int byte)
{
    return {ev(EventStart, 0, t),       ev(EventAddr, 0xA0, t + 1), ev(EventAck, 0, t + 2),
            ev(EventData, byte, t + 3), ev(EventAck, 0, t + 4),     ev(EventStop, 0, t + 5)};
}
} // namespace

TEST_F(PipelineTest, KeepsRowsWhileTheStoreIsBusyAndStoresThemInOrder)
{
    EXPECT_EQ(feed(transfer(100, 0x11)), 0);
    EXPECT_EQ(logged, QStringList{"Get I2CDataNum = 6"});
    EXPECT_EQ(p.storedLineCount(), 4);
    {
        StoreLease view = p.tryLeaseStore(); // the view holds the store: rows are kept
        ASSERT_TRUE(view);
        EXPECT_FALSE(p.tryLeaseStore()); // one holder at a time
        EXPECT_EQ(feed(transfer(200, 0x22)), 0);
        EXPECT_TRUE(p.pendingRows().size() == 4u && p.storedLineCount() == 4);
        // A moved lease still holds the store; the emptied one gives nothing back.
        StoreLease moved = std::move(view);
        EXPECT_FALSE(view);
        view.release();
        EXPECT_FALSE(p.tryLeaseStore());
        moved = StoreLease(); // assigning over a lease gives its store back
        EXPECT_TRUE(p.tryLeaseStore());
        moved = p.leaseStore();
    }
    // Kept rows go first; an ADDR still waiting for its acknowledge adds nothing.
    feed({ev(EventStart, 0, 300), ev(EventAddr, 0xA1, 301)});
    EXPECT_EQ(p.storedLineCount(), 9);
    EXPECT_EQ(p.onI2CEvents(nullptr, 0), 0);
    EXPECT_EQ(logged.last(), "Get I2CDataNum = 0");
    EXPECT_TRUE(line(5).startsWith("5,ADDR,50,WRITE,--,ACK," + QByteArray(ts(201).c_str())));
    // Rows kept while Clear holds the store are numbered from 0 afterwards.
    {
        StoreLease clear = p.leaseStore();
        feed(transfer(400, 0x33));
        clear->resetStore();
    }
    EXPECT_EQ(p.storedLineCount(), 0);
    feed({});
    EXPECT_EQ(p.storedLineCount(), 4);
    EXPECT_TRUE(line(0).startsWith("0,START,--,--,--,--," + QByteArray(ts(400).c_str())));
    p.leaseStore()->resetStore();
    EXPECT_TRUE(p.storedLineCount() == 0 && p.store().lineIndex().size() == 1);
}

TEST_F(PipelineTest, ACallbackThatFoundTheGuiWaitingLeavesItTheStore)
{
    feed(transfer(0, 1));
    // A tick that finds the callback storing is skipped, and asks for a turn.
    const auto busyTick = [this] {
        const StoreLease other = p.leaseStore();
        EXPECT_FALSE(p.tryLeaseStore());
    };
    busyTick();
    feed(transfer(10, 2)); // kept back, so the next tick gets the store
    feed(transfer(20, 3));
    EXPECT_EQ(p.pendingRows().size(), 8u);
    ASSERT_TRUE(p.tryLeaseStore());
    feed({});
    EXPECT_EQ(p.storedLineCount(), 12);
    // A request that is not repeated expires: rows do not wait for ever.
    busyTick();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    feed(transfer(30, 4));
    EXPECT_EQ(p.storedLineCount(), 16);
}

TEST_F(PipelineTest, MergeLabelsAndFailuresFollowTheFlagsAndTheStore)
{
    struct Mark : RowLabeler
    {
        void applySymbols(CaptureRow &row) override { row.data += " [X]"; }
    } labeler;
    p.setLabeler(&labeler);
    feed(transfer(0, 0x41));
    p.decodeEnabled = true;
    feed(transfer(10, 0x42));
    p.decodeEnabled = false;
    p.mergeEnabled = true;
    feed({ev(EventStart, 0, 20), ev(EventStart, 0, 21)});
    EXPECT_EQ(p.storedLineCount(), 9);
    EXPECT_TRUE(line(6).contains(",42 [X],") && line(8).contains(",-- --,"));
    p.setLabeler(nullptr);
    // A store failure is noticed once; rows are dropped, not piling up.
    QString why;
    EXPECT_FALSE(p.takeStoreFailureNotice(&why));
    ::unlink(path.toLocal8Bit().constData());
    feed(transfer(30, 2));
    feed(transfer(40, 3));
    EXPECT_TRUE(p.pendingRows().empty());
    EXPECT_TRUE(p.takeStoreFailureNotice(&why) && why.contains("removed"));
    EXPECT_FALSE(p.takeStoreFailureNotice(&why));
    // After Clear the store works again; a new failure gives a new notice.
    p.leaseStore()->resetStore();
    feed(transfer(50, 4));
    EXPECT_EQ(p.storedLineCount(), 4);
    EXPECT_FALSE(p.takeStoreFailureNotice());
    ::unlink(path.toLocal8Bit().constData());
    feed(transfer(60, 5));
    EXPECT_TRUE(p.takeStoreFailureNotice());
}

// Stop, then Start: the new capture's times go on after the stored (and kept) rows, from 0
// again on an empty store.
TEST_F(PipelineTest, AnAppendedCaptureGoesOnFromTheStoredTimes)
{
    const auto times = [this] {
        std::vector<int64_t> out;
        for (int i = 0; i < p.storedLineCount(); ++i) {
            StoredLine stored;
            int64_t t = 0;
            const QByteArray text = line(i);
            stored.parse(std::string_view(text.constData(), size_t(text.size())));
            out.push_back(
                CaptureRow::timestampFromText(stored.field(StoredLine::Timestamp), &t) ? t : -1);
        }
        return out;
    };
    p.continueTimesAfterStoredRows();
    feed(transfer(100, 1));
    p.continueTimesAfterStoredRows();
    feed(transfer(0, 2));
    {
        const StoreLease view = p.leaseStore(); // the last batch waits behind the view
        feed(transfer(50, 3));
    }
    p.continueTimesAfterStoredRows();
    feed(transfer(0, 4));
    EXPECT_EQ(times(), std::vector<int64_t>({100, 101, 103, 105, 106, 107, 109, 111, 156, 157, 159,
                                             161, 162, 163, 165, 167}));
    p.leaseStore()->resetStore();
    p.continueTimesAfterStoredRows();
    feed(transfer(7, 5));
    EXPECT_EQ(times().front(), 7);
    // An opened capture: after its last time, or after 0 when that is unreadable.
    p.leaseStore()->resetStore();
    ASSERT_TRUE(p.leaseStore()->appendStoredLine("0,STOP,--,--,--,--,01.00.00.000.000.000"));
    p.continueTimesAfterStoredRows();
    feed({ev(EventStart, 0, 0)});
    ASSERT_TRUE(p.leaseStore()->appendStoredLine("2,STOP,--,--,--,--,late"));
    p.continueTimesAfterStoredRows();
    feed({ev(EventStop, 0, 5)});
    EXPECT_EQ(p.converter().timeOffset(), 1);
    EXPECT_EQ(times(), std::vector<int64_t>({3600000000000, 3600000000001, -1, 6}));
}
