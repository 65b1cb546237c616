// Per-address statistics, kept as rows are stored, against a count made afresh from the stored
// lines: through Merge, labels, Clear and Open, and in korvex-decode's summary of the recorded
// captures; the clock estimate against the simulator's bus and the recordings' known clocks.
#include "addressmap/addressstats.h"
#include "capture/capturestore.h"
#include "capture/eventconverter.h"
#include "capture/healthfinding.h"
#include "capture/storedline.h"
#include "korvex/src/bussimulator.h"
#include "korvex/src/i2cdecoder.h"
#include "tools/decodecommand.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

#include <array>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

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
        for (int part = 0; part < 1 + int(rnd() % 2); ++part) {
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

// The summary's lines without the clock, counted over stored lines.
std::string countLines(const std::string &lines)
{
    std::map<int, std::pair<std::array<unsigned long long, 5>, std::string[2]>> counts;
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);) {
        StoredLine s;
        CaptureRow row;
        if (!s.parse(line) || !s.toRow(&row) || !row.hasAddress)
            continue;
        auto &[n, seen] = counts[row.address];
        const QString data =
            QString::fromStdString(row.data).remove(QRegularExpression("\\[.*?\\]"));
        const int bytes = data.split(' ', Qt::SkipEmptyParts).size();
        const bool nack = row.response == CaptureRow::Response::Nack;
        seen[1] = s.field(StoredLine::Timestamp);
        seen[0] = seen[0].empty() ? seen[1] : seen[0];
        const bool addr = row.type == CaptureRow::Type::Addr;
        n[addr ? 0 : row.direction == CaptureRow::Direction::Read ? 2 : 1] += addr ? 1 : bytes;
        n[addr ? 3 : 4] += nack ? (addr ? 1 : bytes) : 0;
    }
    std::string out;
    for (const auto &[a, c] : counts) {
        char head[128];
        const auto &n = c.first;
        std::snprintf(head, sizeof head, "0x%02X %llu %llu %llu %llu %llu ", a, n[0], n[1], n[2],
                      n[3], n[4]);
        out += head + c.second[0] + " " + c.second[1] + "\n";
    }
    return out;
}

// Summary lines without the header and the clock; the clocks go to *clocks.
std::string withoutClock(const std::string &summary, std::vector<std::string> *clocks = nullptr)
{
    std::istringstream in(summary);
    std::string line, out;
    std::getline(in, line);
    EXPECT_EQ(line, AddressStats::summaryHeader());
    while (std::getline(in, line)) {
        out += line.substr(0, line.rfind(' ')) + "\n";
        if (clocks)
            clocks->push_back(line.substr(line.rfind(' ') + 1));
    }
    return out;
}

std::string runTool(const std::string &format, const std::string &capture)
{
    const std::string out = ::testing::TempDir() + "summary-out";
    const std::string a[] = {"korvex-decode", "--format=" + format, "--output=" + out, capture};
    const char *argv[] = {a[0].c_str(), a[1].c_str(), a[2].c_str(), a[3].c_str()};
    std::ostringstream sink;
    EXPECT_EQ(korvex::runDecodeCommand(4, argv, sink, -1, sink), 0) << sink.str();
    std::ifstream in(out, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

TEST(AddressStats, CountsEqualTheStoredLinesThroughMergeLabelsClearAndOpen)
{
    QTemporaryDir dir;
    CaptureStore store, reopened;
    AddressStats stats, reopenedStats, recounted;
    store.addObserver(&stats);
    reopened.addObserver(&reopenedStats);
    ASSERT_TRUE(store.open(dir.filePath("a.dat")) && reopened.open(dir.filePath("b.dat")));
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
        const std::string expected =
            countLines(store.readLines(0, store.lineCount()).toStdString());
        EXPECT_EQ(withoutClock(stats.summaryText()), expected) << round;
        // Open rebuilds from the lines: the counts come back through the parser.
        reopened.resetStore();
        for (const QByteArray &line : store.readLines(0, store.lineCount()).split('\n'))
            if (!line.isEmpty())
                reopened.appendStoredLine(line);
        EXPECT_EQ(withoutClock(reopenedStats.summaryText()), expected) << round;
        recounted.linesKept(0); // a failed write: counted afresh from the file
        EXPECT_TRUE(recounted.needsRecount());
        recounted.recount(store);
        EXPECT_FALSE(recounted.needsRecount());
        EXPECT_EQ(withoutClock(recounted.summaryText()), expected) << round;
        if (round == 1) {
            store.resetStore(); // Clear: the next round starts from nothing
            EXPECT_EQ(withoutClock(stats.summaryText()), "");
        }
    }
    EXPECT_EQ(AddressStats::dataByteCount("12 [a b] 34 56 [c]"), 3);
    EXPECT_EQ(AddressStats::dataByteCount("-- [a]"), 0);
}

TEST(AddressStats, ClockFromByteSpacingOnTheSimulatorAndRecordings)
{
    // The simulator's standard-mode bus at two sample rates, with its clock
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
        const AddressFigures alone = stats.figures(0x3C); // an address alone has no spacing
        EXPECT_TRUE(alone.clockHz == 0 && alone.nackOnly() && !alone.answered());
        EXPECT_TRUE(stats.figures(0x50).answered() && !stats.figures(0x50).nackOnly());
    }
    // The typical clock is the median byte's: 0x51 clocks 83 bytes at 90 kHz
    // (one row merged of three), 5 at 378.9 kHz and 15 stretched to 30 kHz.
    // The range is where the middle 80 % lie; a byte after STOP has no spacing.
    AddressStats stats;
    CaptureRow row = CaptureRow::start(0);
    stats.addRow(row);
    row.type = CaptureRow::Type::Addr;
    row.hasAddress = true;
    row.address = 0x51;
    stats.addRow(row);
    row.type = CaptureRow::Type::Data;
    row.data = "00";
    for (int b = 0; b < 100; ++b) {
        row.timeNs += b % 20 == 3 ? 23750 : b % 20 > 16 ? 300000 : 100000;
        stats.addRow(row);
    }
    row.timeNs += 300000;
    row.data = "01 02 03 [x y]";
    stats.addRow(row);
    stats.addRow(CaptureRow::stop(row.timeNs));
    row.timeNs += 1000;
    stats.addRow(row);
    const auto clockRange = [&stats](int a) { // typical, low and high
        const AddressFigures f = stats.figures(a);
        return std::vector<long long>{f.clockHz, f.clockLowHz, f.clockHighHz};
    };
    EXPECT_EQ(clockRange(0x51), (std::vector<long long>{90000, 30000, 90000}));
    // A merged row counts as its bytes: three at 100 kHz, two at 50, one at
    // 200. A byte 9 ms after the one before is clocked at 1 kHz, the slowest
    // counted; a longer spacing is a pause, none at all no clock.
    for (auto [a, t, type, data] : {std::tuple{0x53, 1000000, CaptureRow::Type::Addr, "--"},
                                    {0x53, 1270000, CaptureRow::Type::Data, "01 02 03"},
                                    {0x53, 1450000, CaptureRow::Type::Data, "04"},
                                    {0x53, 1630000, CaptureRow::Type::Data, "05"},
                                    {0x53, 1675000, CaptureRow::Type::Data, "06"},
                                    {0x52, 2000000, CaptureRow::Type::Addr, "--"},
                                    {0x52, 11000000, CaptureRow::Type::Data, "01"},
                                    {0x52, 11000000, CaptureRow::Type::Data, "02"},
                                    {0x52, 20000001, CaptureRow::Type::Data, "02"}}) {
        row.address = quint8(a);
        row.timeNs = t;
        row.type = type;
        row.data = data;
        stats.addRow(row);
    }
    EXPECT_EQ(clockRange(0x53), (std::vector<long long>{100000, 50000, 200000}));
    EXPECT_EQ(clockRange(0x52), (std::vector<long long>{1000, 1000, 1000}));
    stats.storeReset();
    EXPECT_EQ(stats.figures(0x51).clockHz, 0);
    // The recordings: the summary counts as their stored lines do; two clocks known.
    const std::string dir = std::string(KORVEX_TEST_DATA_DIR) + "/captures/";
    for (auto [name, clock] :
         {std::pair{"peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr", 100000},
          {"extra/24aa025uid_seqrndread256.sr", 400000},
          {"extra/8564je_nacks.sr", 0},
          {"peer-suite/sensirion_sht3x/sensirion_sht31_25rh_28rh.sr", 0}}) {
        std::vector<std::string> clocks;
        const std::string counted = countLines(runTool("lines", dir + name));
        EXPECT_EQ(withoutClock(runTool("summary", dir + name), &clocks), counted) << name;
        ASSERT_FALSE(clocks.empty()) << name;
        EXPECT_TRUE(clock == 0 || std::abs(std::stol(clocks[0]) - clock) <= clock / 100)
            << name << ": " << clocks[0];
    }
}

// Rows with an error finding count against their address; warnings, and rows of no address, do not.
TEST(AddressStats, CountsRowsWithErrorsPerAddress)
{
    AddressStats stats;
    CaptureRow row;
    row.type = CaptureRow::Type::Addr;
    row.hasAddress = true;
    row.address = 0x50;
    row.fieldCount = 6;
    const uint8_t error = HealthFinding::severityBit(HealthFinding::Severity::Error);
    for (const uint8_t severities :
         {uint8_t(error), uint8_t(error | 2), uint8_t(2), uint8_t(0), uint8_t(4)}) {
        row.healthSeverities = severities;
        stats.lineAdded(0, row);
    }
    row.type = CaptureRow::Type::Data;
    row.data = "01";
    row.healthSeverities = error;
    stats.lineMerged(0, row);
    CaptureRow start = CaptureRow::start(5);
    start.healthSeverities = error;
    stats.lineAdded(1, start);
    EXPECT_EQ(stats.figures(0x50).errorRows, 3u);
    EXPECT_EQ(stats.figures(0x00).errorRows, 0u);
    stats.storeReset();
    EXPECT_EQ(stats.figures(0x50).errorRows, 0u);
}
