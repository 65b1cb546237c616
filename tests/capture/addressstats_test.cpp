// Per-address statistics: kept as rows are stored, they must equal a count
// made afresh from the stored lines, through Merge, labels, Clear and Open,
// and the clock estimate must find the simulator's 100 kHz.
#include "addressstats.h"
#include "bussimulator.h"
#include "capturestore.h"
#include "eventconverter.h"
#include "i2cdecoder.h"
#include "storedline.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>
#include <random>

namespace {
struct Labeler : RowLabeler
{
    void applySymbols(CaptureRow &row) override { row.data += row.address & 1 ? " [a b]" : ""; }
};

// Transfers among a few devices: random lengths, directions, NACKs, repeated starts.
std::vector<I2CEvent> randomBus(unsigned seed, int transfers)
{
    std::mt19937 rnd(seed);
    std::vector<I2CEvent> e;
    int64_t t = 0;
    auto add = [&](int type, int data = 0) {
        e.push_back(I2CEvent{type, uint8_t(data), {}, t += 1000 + rnd() % 90000});
    };
    for (int k = 0; k < transfers; ++k) {
        add(EventStart);
        for (int part = 0; part < 1 + int(rnd() % 2); ++part) {
            if (part)
                add(EventStart);
            add(EventAddr, int(0x48 + rnd() % 5) << 1 | int(rnd() % 2));
            add(rnd() % 5 ? EventAck : EventNack);
            for (int b = int(rnd() % 6); b > 0; --b) {
                add(EventData, int(rnd() % 256));
                add(rnd() % 7 ? EventAck : EventNack);
            }
        }
        add(EventStop);
    }
    return e;
}

// The figures a reader of the stored lines finds (the clock aside).
std::map<int, AddressFigures> bruteForce(const CaptureStore &store)
{
    std::map<int, AddressFigures> out;
    const QByteArray text = store.readLines(0, store.lineCount());
    for (const QByteArray &line : text.split('\n')) {
        StoredLine s;
        CaptureRow row;
        if (!s.parse(std::string_view(line.constData(), size_t(line.size()))) || !s.toRow(&row) ||
            !row.hasAddress)
            continue;
        AddressFigures &f = out[row.address];
        const quint64 bytes = quint64(QString::fromStdString(row.data)
                                          .remove(QRegularExpression("\\[[^\\]]*\\]"))
                                          .split(' ', Qt::SkipEmptyParts)
                                          .size());
        f.firstSeenNs = f.activity++ ? f.firstSeenNs : row.timeNs;
        f.lastSeenNs = row.timeNs;
        const bool nack = row.response == CaptureRow::Response::Nack;
        if (row.type == CaptureRow::Type::Addr) {
            f.transfers++;
            (nack ? f.nackedAddresses : f.ackedAddresses)++;
        } else {
            (row.direction == CaptureRow::Direction::Read ? f.bytesRead : f.bytesWritten) += bytes;
            f.nackedDataBytes += nack ? bytes : 0;
        }
    }
    return out;
}

void expectCounts(const AddressStats &stats, const CaptureStore &store, const char *when)
{
    SCOPED_TRACE(when);
    const std::map<int, AddressFigures> expected = bruteForce(store);
    for (int a = 0; a < AddressStats::kAddressCount; ++a) {
        const AddressFigures f = stats.figures(a),
                             e = expected.count(a) ? expected.at(a) : AddressFigures();
        EXPECT_EQ(f.seen(), e.seen()) << a;
        EXPECT_EQ(f.transfers, e.transfers) << a;
        EXPECT_EQ(f.ackedAddresses, e.ackedAddresses) << a;
        EXPECT_EQ(f.nackedAddresses, e.nackedAddresses) << a;
        EXPECT_EQ(f.bytesWritten, e.bytesWritten) << a;
        EXPECT_EQ(f.bytesRead, e.bytesRead) << a;
        EXPECT_EQ(f.nackedDataBytes, e.nackedDataBytes) << a;
        EXPECT_EQ(f.firstSeenNs, e.firstSeenNs) << a;
        EXPECT_EQ(f.lastSeenNs, e.lastSeenNs) << a;
    }
}
} // namespace

TEST(AddressStats, CountsEqualTheStoredLinesThroughMergeLabelsClearAndOpen)
{
    QTemporaryDir dir;
    CaptureStore store, reopened;
    AddressStats stats, reopenedStats;
    store.addObserver(&stats);
    reopened.addObserver(&reopenedStats);
    ASSERT_TRUE(store.open(dir.filePath("a.dat")));
    ASSERT_TRUE(reopened.open(dir.filePath("b.dat")));
    Labeler labeler;
    EventConverter converter;
    std::atomic<bool> merge{false}, decode{false};
    std::mt19937 rnd(7);
    for (int round = 0; round < 3; ++round) {
        const std::vector<I2CEvent> events = randomBus(unsigned(round), 400);
        for (size_t at = 0; at < events.size(); at += 37) {
            merge = rnd() % 2;
            decode = rnd() % 2;
            std::vector<CaptureRow> rows;
            converter.convertEvents(events.data() + at,
                                    int(std::min<size_t>(37, events.size() - at)), rows);
            store.appendRows(rows, merge, decode, &labeler);
        }
        expectCounts(stats, store, "captured");
        // Open rebuilds from the lines: the counts come back through the parser.
        reopened.resetStore();
        for (const QByteArray &line : store.readLines(0, store.lineCount()).split('\n'))
            if (!line.isEmpty())
                reopened.appendStoredLine(line);
        expectCounts(reopenedStats, store, "opened");
        AddressStats recounted;
        recounted.linesKept(0);
        EXPECT_TRUE(recounted.needsRecount());
        recounted.recount(store);
        EXPECT_FALSE(recounted.needsRecount());
        expectCounts(recounted, store, "recounted");
        if (round == 1) {
            store.resetStore(); // Clear: the next round starts from nothing
            expectCounts(stats, store, "cleared");
            EXPECT_FALSE(stats.figures(0x48).seen());
        }
    }
    EXPECT_GT(stats.figures(0x49).nackedDataBytes, 0u);
    EXPECT_GT(stats.figures(0x4A).bytesRead, 0u);
}

TEST(AddressStats, ClockFromByteSpacingIgnoresStretchingAndMergedRows)
{
    // The simulator's standard-mode bus, sampled at two rates, with its clock
    // stretching sensor: every device reads as 100 kHz within 1 %.
    for (uint64_t rate : {1000000u, 4000000u}) {
        korvex::BusSimulator bus(rate, 0, 3);
        std::vector<uint8_t> samples;
        bus.generate(size_t(rate / 5), samples); // 200 ms
        korvex::I2CDecoder decoder;
        korvex::I2CDecoderConfig config;
        config.sampleRate = rate;
        ASSERT_TRUE(decoder.configure(config));
        std::vector<I2CEvent> events;
        decoder.feed(samples.data(), samples.size(), events);
        AddressStats stats;
        for (const CaptureRow &row :
             EventConverter().convertEvents(events.data(), int(events.size())))
            stats.addRow(row);
        for (int a : {0x40, 0x50, 0x68})
            EXPECT_NEAR(stats.figures(a).clockHz, 100000, 1000) << a << " at " << rate;
        EXPECT_EQ(stats.figures(0x3C).clockHz, 0); // an address alone has no spacing
        EXPECT_TRUE(stats.figures(0x3C).nackOnly());
        EXPECT_TRUE(stats.figures(0x50).answered());
    }
    // A merged row of three bytes 270 us after its address: 90 us a byte.
    // A slower byte later joins the average; a stretched one does not.
    AddressStats stats;
    CaptureRow row = CaptureRow::start(0);
    stats.addRow(row);
    row.type = CaptureRow::Type::Addr;
    row.hasAddress = true;
    row.address = 0x21;
    row.direction = CaptureRow::Direction::Write;
    row.data = "--";
    stats.addRow(row);
    row.type = CaptureRow::Type::Data;
    for (auto [t, data, hz] : {std::tuple{270000, "01 02 03 [x y]", 100000},
                               {380000, "04", 94737},
                               {980000, "05", 94737},
                               {1070000, "06", 95745}}) {
        row.timeNs = t;
        row.data = data;
        stats.addRow(row);
        EXPECT_EQ(stats.figures(0x21).clockHz, hz) << t;
    }
    EXPECT_EQ(stats.figures(0x21).bytesWritten, 6u);
    stats.addRow(CaptureRow::stop(2000000));
    row.timeNs = 2001000; // after a STOP a byte has no byte before it
    stats.addRow(row);
    EXPECT_EQ(stats.figures(0x21).clockHz, 95745);
    EXPECT_EQ(AddressStats::dataByteCount("-- [a]"), 0);
    EXPECT_EQ(AddressStats::dataByteCount("--"), 0);
    EXPECT_EQ(AddressStats::dataByteCount("12 [a b] 34 56 [c]"), 3);
    EXPECT_EQ(AddressStats::dataByteCount("A5"), 1);
}
