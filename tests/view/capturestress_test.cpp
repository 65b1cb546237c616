// The callback thread stores at full speed while the GUI thread ticks,
// clears and toggles merging. Afterwards every converted row must have been
// stored exactly once and in order: the rows removed by each Clear are read
// out just before it, so the removed segments plus the final file must add up
// to the whole converted stream.
#include "capturepipeline.h"
#include "pagefiller.h"
#include "pagegeometry.h"
#include "storedline.h"

#include <gtest/gtest.h>

#include <QStandardItemModel>
#include <QTemporaryDir>

#include <chrono>
#include <random>
#include <thread>

namespace {
void dropLog(QtMsgType, const QMessageLogContext &, const QString &) {}

// A deterministic bus: transfers of a few bytes with increasing times,
// sometimes a repeated START, sometimes a NACK on the last byte.
class Bus
{
public:
    explicit Bus(unsigned seed) : m_rng(seed) {}
    I2CEvent next()
    {
        if (m_queue.empty())
            transfer();
        const I2CEvent e = m_queue.front();
        m_queue.erase(m_queue.begin());
        return e;
    }

private:
    void add(int type, int data = 0)
    {
        I2CEvent e{};
        e.type = type;
        e.data = uint8_t(data);
        m_t += 1 + int64_t(m_rng() % 1000);
        e.timestamp = m_t;
        m_queue.push_back(e);
    }
    void transfer()
    {
        add(EventStart);
        const int parts = m_rng() % 4 == 0 ? 2 : 1;
        for (int p = 0; p < parts; ++p) {
            if (p)
                add(EventStart);
            add(EventAddr, 0xA0 | int(m_rng() & 1));
            add(EventAck);
            const int n = int(m_rng() % 7);
            for (int i = 0; i < n; ++i) {
                add(EventData, m_byte++);
                add(i == n - 1 && m_rng() % 3 == 0 ? EventNack : EventAck);
            }
        }
        add(EventStop);
    }
    std::mt19937 m_rng;
    std::vector<I2CEvent> m_queue;
    int64_t m_t = 0;
    uint8_t m_byte = 0;
};

// Walks one stored segment against the converted rows from `next` on; a
// merged line stands for several rows.
void checkSegment(const QByteArray &segment, const std::vector<CaptureRow> &ref, size_t &next)
{
    ASSERT_TRUE(segment.isEmpty() || segment.endsWith('\n'));
    const QList<QByteArray> lines = segment.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        StoredLine l;
        ASSERT_TRUE(l.parse(std::string_view(lines[i].constData(), size_t(lines[i].size()))));
        ASSERT_FALSE(l.hasExtraFields());
        ASSERT_EQ(l.field(StoredLine::Number), std::to_string(i));
        const QList<QByteArray> bytes =
            QByteArray(l.field(StoredLine::Data).data(), int(l.field(StoredLine::Data).size()))
                .split(' ');
        for (int k = 0; k < bytes.size(); ++k, ++next) {
            ASSERT_LT(next, ref.size()) << "more rows stored than converted";
            std::string expected;
            StoredLine::append(expected, i, ref[next]);
            StoredLine e;
            ASSERT_TRUE(e.parse(expected));
            for (auto f : {StoredLine::Type, StoredLine::Address, StoredLine::Direction,
                           StoredLine::Response}) {
                ASSERT_EQ(l.field(f), e.field(f)) << "row " << next;
            }
            ASSERT_EQ(bytes[k].toStdString(), ref[next].data) << "row " << next;
            if (k == bytes.size() - 1) {
                ASSERT_EQ(l.field(StoredLine::Timestamp), e.field(StoredLine::Timestamp));
            }
        }
    }
}
} // namespace

TEST(CaptureStress, EveryRowIsStoredOnceAndInOrder)
{
    qInstallMessageHandler(dropLog);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CapturePipeline p;
    ASSERT_TRUE(p.store().open(dir.filePath("I2CDataTemp.dat")));

    constexpr unsigned seed = 20240611;
    constexpr int64_t maxEvents = 400000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    std::atomic<bool> feeding{true};
    int64_t sent = 0; // read after join

    std::thread feeder([&] {
        Bus bus(seed);
        std::mt19937 rng(seed + 1);
        std::vector<I2CEvent> batch;
        while (sent < maxEvents && std::chrono::steady_clock::now() < deadline) {
            const int n = int(rng() % 300); // zero-sized batches too
            batch.clear();
            for (int i = 0; i < n; ++i)
                batch.push_back(bus.next());
            p.onI2CEvents(batch.data(), n);
            sent += n;
        }
        feeding = false;
    });

    QStandardItemModel model;
    model.setColumnCount(8);
    PageFiller filler;
    std::vector<QByteArray> cleared;
    std::mt19937 rng(seed + 2);
    int ticks = 0, filled = 0;
    while (feeding) {
        ++ticks;
        const int lines = p.storedLineCount();
        const int value = rng() % 2 ? lines : int(rng() % unsigned(lines + 1));
        const PageWindow w = PageGeometry::pageWindow(value, 40, lines);
        if (filler.fillPage(model, p, w.first, w.count)) {
            ++filled;
            ASSERT_EQ(model.rowCount(), std::max(w.count, 0));
            for (int i = 0; i < model.rowCount(); ++i)
                ASSERT_EQ(model.item(i, 0)->text().toInt(), w.first + i);
        }
        if (ticks % 16 == 0)
            p.mergeEnabled = !p.mergeEnabled;
        if (ticks % 97 == 0) {
            p.acquireStoreWaiting();
            cleared.push_back(p.store().readLines(0, p.store().lineCount()));
            p.store().resetStore();
            p.releaseStore();
        }
    }
    feeder.join();
    // One more tick answers the GUI's last request; then the next call of the
    // callback stores the rows still kept back.
    ASSERT_TRUE(p.tryAcquireStore());
    p.releaseStore();
    p.onI2CEvents(nullptr, 0);
    cleared.push_back(p.store().readLines(0, p.store().lineCount()));
    qInstallMessageHandler(nullptr);

    Bus bus(seed);
    std::vector<I2CEvent> events;
    for (int64_t i = 0; i < sent; ++i)
        events.push_back(bus.next());
    EventConverter converter;
    const std::vector<CaptureRow> ref = converter.convertEvents(events.data(), int(events.size()));

    size_t next = 0;
    for (const QByteArray &segment : cleared) {
        checkSegment(segment, ref, next);
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(next, ref.size()) << "rows lost";
    EXPECT_GT(ticks, 10);
    // The GUI gets its turns however busy the callback is.
    EXPECT_GT(filled, 0);
    EXPECT_GE(cleared.size(), 2u);
}
