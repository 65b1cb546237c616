// Find and filter over captures of 10^3 to 10^7 stored lines, generated
// through the real store with the block summaries attached; the file is in
// the page cache (just written). One core: the worker's own scan.
#include "capture/capturepipeline.h"
#include "search/blockindex.h"
#include "search/capturescanner.h"
#include "search/filterrows.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <map>
#include <memory>
#include <random>

namespace {
// A bus where 0x50 / 0x51 talk all the time, 0x33 answers about once a
// million rows, and one row near the end has address 0x34, the bytes 7E 7F
// and the label RARE: what a find has to walk the whole capture for.
struct Capture
{
    QTemporaryDir dir;
    CapturePipeline pipeline;
    BlockIndex blocks{pipeline.store()};
    qint64 lines = 0;

    explicit Capture(qint64 n)
    {
        pipeline.leaseStore()->addObserver(&blocks);
        pipeline.leaseStore()->open(dir.filePath("I2CDataTemp.dat"));
        std::mt19937 random(1);
        std::vector<CaptureRow> batch;
        for (qint64 i = 0; i < n; ++i) {
            const unsigned r = unsigned(random());
            CaptureRow row;
            row.fieldCount = 6;
            row.timeNs = 1000000000 + i * 2500;
            const int kind = int(i % 11);
            row.type = kind == 0    ? CaptureRow::Type::Start
                       : kind == 10 ? CaptureRow::Type::Stop
                       : kind == 1  ? CaptureRow::Type::Addr
                                    : CaptureRow::Type::Data;
            if (kind > 0 && kind < 10) {
                row.hasAddress = true;
                row.address = r % 1000003 == 0 ? 0x33 : 0x50 | (r >> 20 & 1);
                row.direction =
                    r >> 21 & 1 ? CaptureRow::Direction::Read : CaptureRow::Direction::Write;
                row.response = kind == 9 ? CaptureRow::Response::Nack : CaptureRow::Response::Ack;
            }
            static const char kHex[] = "0123456789ABCDEF";
            row.data = kind > 1 && kind < 10 ? std::string{kHex[r & 7], kHex[r >> 4 & 15]}
                                             : std::string("--");
            if (i == n - 5) {
                row.type = CaptureRow::Type::Data;
                row.hasAddress = true;
                row.address = 0x34;
                row.response = CaptureRow::Response::Nack;
                row.data = "7E 7F [RARE]";
            }
            batch.push_back(std::move(row));
            if (batch.size() == 10000 || i == n - 1) {
                pipeline.leaseStore()->appendRows(batch, pipeline.mergeEnabled,
                                                  pipeline.decodeEnabled, nullptr);
                batch.clear();
            }
        }
        lines = pipeline.storedLineCount();
    }
};

// Each size is generated once, for all the benchmarks.
Capture &capture(qint64 lines)
{
    static std::map<qint64, std::unique_ptr<Capture>> kept;
    std::unique_ptr<Capture> &c = kept[lines];
    if (!c) {
        c = std::make_unique<Capture>(lines);
    }
    return *c;
}

SearchQuery query(const char *text)
{
    SearchQuery q;
    QString error;
    q.parse(QString::fromLatin1(text), &error);
    return q;
}

// The rows a filter of q shows over the whole capture, found as the filter
// thread finds them.
void filterInto(FilterRows &rows, Capture &c, const SearchQuery &q)
{
    std::vector<uint32_t> found;
    CaptureScanner(c.pipeline, c.blocks, q).scan(0, c.lines, [&](qint64 line) {
        found.push_back(uint32_t(line));
        return true;
    });
    rows.append(found, -1, c.lines);
}

void BM_FilterAddress(benchmark::State &state)
{
    Capture &c = capture(state.range(0));
    const SearchQuery q = query("addr=33");
    size_t matches = 0, filterBytes = 0;
    for (auto _ : state) {
        FilterRows rows;
        filterInto(rows, c, q);
        matches = size_t(rows.count());
        filterBytes = rows.memoryBytes();
    }
    state.counters["matches"] = double(matches);
    state.counters["filter_bytes"] = double(filterBytes);
    state.counters["summary_bytes_per_line"] = double(c.blocks.memoryBytes()) / double(c.lines);
    state.SetItemsProcessed(int64_t(state.iterations()) * c.lines);
}

void findFromStart(benchmark::State &state, const char *text)
{
    Capture &c = capture(state.range(0));
    const SearchQuery q = query(text);
    CaptureScanner scanner(c.pipeline, c.blocks, q);
    qint64 found = -1;
    for (auto _ : state) {
        CaptureScanner::Outcome outcome;
        found = scanner.findFirst(0, c.lines, &outcome);
        benchmark::DoNotOptimize(found);
    }
    if (found != c.lines - 5)
        state.SkipWithError("the rare row was not found");
    state.SetItemsProcessed(int64_t(state.iterations()) * c.lines);
    state.SetBytesProcessed(int64_t(state.iterations()) * c.pipeline.store().dataSize());
}

void BM_FindAddress(benchmark::State &state)
{
    findFromStart(state, "addr=34 nack");
}

void BM_FindText(benchmark::State &state)
{
    findFromStart(state, "label=RARE");
}

void BM_FindBytes(benchmark::State &state)
{
    findFromStart(state, "data=7E,7F");
}

// A filtered page: where the scroll value lands and the 40 rows below it,
// read from the store, as the view's tick does over a filter of 0x50 rows.
void BM_FilteredPageFill(benchmark::State &state)
{
    Capture &c = capture(state.range(0));
    const SearchQuery q = query("addr=50");
    FilterRows rows;
    filterInto(rows, c, q);
    std::mt19937 random(3);
    for (auto _ : state) {
        const qint64 first = rows.rowAtOrAfter(qint64(random() % uint64_t(c.lines)));
        for (qint64 row = first; row < std::min(rows.count(), first + 40); ++row)
            benchmark::DoNotOptimize(c.pipeline.store().readLines(int(rows.storedLine(row)), 1));
    }
    state.counters["bytes_per_match"] = double(rows.memoryBytes()) / double(rows.count());
}

// The cost of the summaries on the storing thread: batches of the callback's
// size stored with and without the BlockIndex attached.
void BM_StoreRows(benchmark::State &state)
{
    QTemporaryDir dir;
    CapturePipeline p;
    BlockIndex blocks(p.store());
    if (state.range(0))
        p.leaseStore()->addObserver(&blocks);
    p.leaseStore()->open(dir.filePath("I2CDataTemp.dat"));
    std::vector<CaptureRow> rows;
    for (int i = 0; i < 550; ++i) {
        CaptureRow row = CaptureRow::start(i);
        row.type = CaptureRow::Type::Data;
        row.hasAddress = true;
        row.address = uint8_t(0x50 + i % 3);
        row.response = CaptureRow::Response::Ack;
        row.data = "A5";
        rows.push_back(row);
    }
    std::vector<CaptureRow> batch;
    for (auto _ : state) {
        batch = rows;
        p.leaseStore()->appendRows(batch, p.mergeEnabled, p.decodeEnabled, nullptr);
        if (p.store().dataSize() > (qint64(256) << 20))
            p.leaseStore()->resetStore();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(rows.size()));
}
} // namespace

BENCHMARK(BM_StoreRows)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterAddress)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindAddress)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindText)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindBytes)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilteredPageFill)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(10000000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
