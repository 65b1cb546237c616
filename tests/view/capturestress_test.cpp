// The callback thread stores at full speed while the GUI thread fills pages,
// clears and toggles merging. Afterwards every converted row must have been
// stored exactly once and in order: the rows removed by each Clear are read
// out just before it, so the removed segments plus the final file add up to
// the whole converted stream. Runs under ThreadSanitizer too.
#include "capturepipeline.h"
#include "pagefiller.h"
#include "pagegeometry.h"
#include "rowtestutil.h"
#include "storedline.h"

#include <gtest/gtest.h>

#include <QStandardItemModel>
#include <QTemporaryDir>

#include <chrono>
#include <random>
#include <thread>

namespace {
// A deterministic bus: transfers of a few bytes, sometimes a repeated START,
// sometimes a NACK on the last byte.
std::vector<I2CEvent> busEvents(unsigned seed, size_t count)
{
    std::mt19937 rng(seed);
    std::vector<I2CEvent> out;
    int64_t t = 0;
    uint8_t byte = 0;
    auto add = [&](int type, int data = 0) {
        t += 1 + int64_t(rng() % 1000);
        out.push_back(I2CEvent{type, uint8_t(data), {}, t});
    };
    while (out.size() < count) {
        add(EventStart);
        for (int part = rng() % 4 == 0 ? 2 : 1; part > 0; --part) {
            add(EventAddr, 0xA0 | int(rng() & 1));
            add(EventAck);
            for (int i = 0, n = int(rng() % 7); i < n; ++i) {
                add(EventData, byte++);
                add(i == n - 1 && rng() % 3 == 0 ? EventNack : EventAck);
            }
            if (part > 1)
                add(EventStart);
        }
        add(EventStop);
    }
    return out;
}

// Walks one stored segment against the converted rows from `next` on: a
// merged line stands for several rows and ends as the last of them would.
void checkSegment(const QByteArray &segment, const std::vector<CaptureRow> &ref, size_t &next)
{
    const QList<QByteArray> stored = segment.split('\n');
    ASSERT_TRUE(stored.last().isEmpty());
    for (int i = 0; i + 1 < stored.size(); ++i) {
        StoredLine l;
        ASSERT_TRUE(l.parse(std::string_view(stored[i].constData(), size_t(stored[i].size()))));
        std::string data;
        for (CaptureRow r = ref.at(next);; r = ref.at(++next)) {
            data += (data.empty() ? "" : " ") + r.data;
            if (data.size() >= l.field(StoredLine::Data).size()) {
                r.data = data;
                ASSERT_EQ(stored[i].toStdString() + "\n", lines({r}, i)) << "row " << next;
                ++next;
                break;
            }
        }
    }
}
} // namespace

TEST(CaptureStress, EveryRowIsStoredOnceAndInOrder)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QTemporaryDir dir;
    CapturePipeline p;
    ASSERT_TRUE(p.store().open(dir.filePath("I2CDataTemp.dat")));
    const std::vector<I2CEvent> events = busEvents(20240611, 400000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    std::atomic<bool> feeding{true};
    size_t sent = 0; // read after join

    std::thread feeder([&] {
        std::mt19937 rng(7);
        while (sent < events.size() && std::chrono::steady_clock::now() < deadline) {
            const int n = int(std::min<size_t>(rng() % 300, events.size() - sent)); // 0 too
            p.onI2CEvents(events.data() + sent, n);
            sent += size_t(n);
        }
        feeding = false;
    });

    QStandardItemModel model;
    model.setColumnCount(PageGeometry::kColumnCount);
    PageFiller filler;
    std::vector<QByteArray> cleared;
    std::mt19937 rng(9);
    int ticks = 0, filled = 0;
    while (feeding) {
        const int lines = p.storedLineCount();
        const int value = rng() % 2 ? lines : int(rng() % unsigned(lines + 1));
        const PageWindow w = PageGeometry::pageWindow(value, 40, lines);
        if (filler.fillPage(model, p, w.first, w.count)) {
            ++filled;
            ASSERT_EQ(model.rowCount(), std::max(w.count, 0));
            for (int i = 0; i < model.rowCount(); ++i)
                ASSERT_EQ(model.item(i, 0)->text().toInt(), w.first + i);
        }
        if (++ticks % 16 == 0)
            p.mergeEnabled = !p.mergeEnabled;
        if (ticks % 97 == 0) {
            p.acquireStoreWaiting();
            cleared.push_back(p.store().readLines(0, p.store().lineCount()));
            p.store().resetStore();
            p.releaseStore();
        }
    }
    feeder.join();
    // One more tick answers the GUI's last request; then the next callback
    // stores the rows still kept back.
    ASSERT_TRUE(p.tryAcquireStore());
    p.releaseStore();
    p.onI2CEvents(nullptr, 0);
    cleared.push_back(p.store().readLines(0, p.store().lineCount()));
    qInstallMessageHandler(nullptr);

    const std::vector<CaptureRow> ref = EventConverter().convertEvents(events.data(), int(sent));
    size_t next = 0;
    for (const QByteArray &segment : cleared) {
        checkSegment(segment, ref, next);
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(next, ref.size()) << "rows lost";
    EXPECT_GT(filled, 0); // the GUI gets its turns however busy the callback is
    EXPECT_GE(cleared.size(), 2u);
}
