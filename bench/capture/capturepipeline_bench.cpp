// Events to stored lines on one core: the capture callback's whole path
// (conversion, labelling when decoding, storing, one positioned write per
// batch).
#include "addressmap/addressstats.h"
#include "benchsymbols.h"
#include "capture/capturepipeline.h"
#include "protocol/symbollabeler.h"
#include "search/blockindex.h"
#include "transaction/transactionindex.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
void dropLog(QtMsgType, const QMessageLogContext &, const QString &) {}

// Transfers of START, address, eight data bytes and STOP: 20 events, 11 rows.
// One EEPROM (0x50) written and read in turn, or with manyDevices each of
// eight kBenchDevices in turn, in both directions.
std::vector<I2CEvent> busEvents(int transfers, bool manyDevices = false)
{
    std::vector<I2CEvent> e;
    int64_t t = 1000000000;
    auto add = [&](int type, int data = 0) {
        I2CEvent x{};
        x.type = type;
        x.data = uint8_t(data);
        x.timestamp = t += 2500;
        e.push_back(x);
    };
    for (int k = 0; k < transfers; ++k) {
        add(EventStart);
        add(EventAddr, manyDevices ? kBenchDevices[k % 8] << 1 | ((k / 8) & 1) : 0xA0 | (k & 1));
        add(EventAck);
        for (int i = 0; i < 8; ++i) {
            add(EventData, k + i);
            add(i == 7 ? EventNack : EventAck);
        }
        add(EventStop);
    }
    return e;
}

long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * 4096;
}

constexpr int BatchEvents = 1000; // the callback's batch
constexpr int RowsPerTransfer = 11;

enum class Mode { Plain, Merge, Decode };
// With what the window keeps beside the store watching it: the address map's
// statistics, the search's block summaries and the transaction index.
enum class Watch { None, Window };

void BM_CapturePipeline(benchmark::State &state, Mode mode, Watch watch = Watch::None)
{
    qInstallMessageHandler(dropLog);
    QTemporaryDir dir;
    CapturePipeline p;
    if (!p.leaseStore()->open(dir.filePath("I2CDataTemp.dat"))) {
        state.SkipWithError("cannot open the store");
        return;
    }
    AddressStats stats;
    BlockIndex blocks(p.store());
    TransactionIndex transactions(p.store());
    if (watch == Watch::Window) {
        p.leaseStore()->addObserver(&stats);
        p.leaseStore()->addObserver(&blocks);
        p.leaseStore()->addObserver(&transactions);
    }
    SymbolLabeler decoder;
    p.mergeEnabled = mode == Mode::Merge;
    if (mode == Mode::Decode) {
        decoder.setActiveSymbols(benchSymbolSet(1000, [](int v) { return v % 3; }));
        p.setLabeler(&decoder);
        p.decodeEnabled = true;
    }
    const std::vector<I2CEvent> events = busEvents(BatchEvents / 20 * 64, mode == Mode::Decode);
    size_t at = 0;
    int64_t rows = 0;
    for (auto _ : state) {
        p.onI2CEvents(events.data() + at, BatchEvents);
        at = (at + BatchEvents) % events.size();
        rows += BatchEvents / 20 * RowsPerTransfer;
        if (p.store().dataSize() > (qint64(512) << 20)) {
            state.PauseTiming(); // keep the temporary file bounded
            p.leaseStore()->resetStore();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(rows);
    state.SetBytesProcessed(int64_t(state.iterations()) * BatchEvents * int64_t(sizeof(I2CEvent)));
    state.counters["lines"] = double(p.storedLineCount());
    if (mode == Mode::Decode) {
        // Labels must really happen: the share of stored lines that carry one.
        const QByteArray sample = p.store().readLines(0, 100000);
        const QList<QByteArray> lines = sample.split('\n');
        int labelled = 0;
        for (const QByteArray &line : lines)
            labelled += line.contains(" [") ? 1 : 0;
        state.counters["labelled_lines"] = double(labelled) / double(std::max(1, lines.size() - 1));
    }
    p.setLabeler(nullptr);
    qInstallMessageHandler(nullptr);
}
BENCHMARK_CAPTURE(BM_CapturePipeline, plain, Mode::Plain)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CapturePipeline, merge, Mode::Merge)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CapturePipeline, decode, Mode::Decode)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CapturePipeline, plain_window, Mode::Plain, Watch::Window)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CapturePipeline, merge_window, Mode::Merge, Watch::Window)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CapturePipeline, decode_window, Mode::Decode, Watch::Window)
    ->Unit(benchmark::kMicrosecond);

// Memory during a long capture: resident growth and index size per stored
// line, with the callback storing state.range(0) rows.
void BM_CaptureMemory(benchmark::State &state)
{
    qInstallMessageHandler(dropLog);
    const int64_t target = state.range(0);
    const std::vector<I2CEvent> events = busEvents(BatchEvents / 20 * 64);
    for (auto _ : state) {
        QTemporaryDir dir;
        CapturePipeline p;
        p.leaseStore()->open(dir.filePath("I2CDataTemp.dat"));
        // Warm up: the buffers reach their steady size before measuring.
        for (int i = 0; i < 64; ++i)
            p.onI2CEvents(events.data() + size_t(i % 64) * BatchEvents, BatchEvents);
        p.leaseStore()->resetStore();
        const long before = residentBytes();
        size_t at = 0;
        while (p.storedLineCount() < target) {
            p.onI2CEvents(events.data() + at, BatchEvents);
            at = (at + BatchEvents) % events.size();
        }
        const long after = residentBytes();
        const double lines = p.storedLineCount();
        state.counters["rss_bytes_per_line"] = double(after - before) / lines;
        state.counters["index_bytes_per_line"] =
            double(p.store().lineIndex().memoryBytes()) / lines;
        state.counters["file_bytes_per_line"] = double(p.store().dataSize()) / lines;
    }
    qInstallMessageHandler(nullptr);
}
BENCHMARK(BM_CaptureMemory)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
