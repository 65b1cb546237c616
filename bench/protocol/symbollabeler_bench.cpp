// Labelling throughput: rows per second through applySymbols with a
// realistic symbol set and bus traffic.
#include "benchsymbols.h"
#include "protocol/symbollabeler.h"

#include <QLoggingCategory>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

CaptureRow row(CaptureRow::Type type, uint8_t address, bool read, int byte)
{
    CaptureRow r;
    r.type = type;
    r.fieldCount = 6;
    r.response = CaptureRow::Response::Ack;
    if (type == CaptureRow::Type::Start || type == CaptureRow::Type::Stop) {
        r.data = "--";
        return r;
    }
    r.hasAddress = true;
    r.address = address;
    r.direction = read ? CaptureRow::Direction::Read : CaptureRow::Direction::Write;
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", byte & 0xFF);
    r.data = byte < 0 ? "--" : buf;
    return r;
}

// Register reads: START, ADDR write, register, repeated START, ADDR read,
// a few data bytes, STOP; now and then a plain write burst.
std::vector<CaptureRow> busTraffic()
{
    std::mt19937 rng(7);
    std::vector<CaptureRow> rows;
    while (rows.size() < 100000) {
        const uint8_t dev = kBenchDevices[rng() % 8];
        rows.push_back(row(CaptureRow::Type::Start, 0, false, -1));
        rows.push_back(row(CaptureRow::Type::Addr, dev, false, -1));
        rows.push_back(row(CaptureRow::Type::Data, dev, false, int(rng() % 256)));
        const bool read = rng() % 4 != 0;
        if (read) {
            rows.push_back(row(CaptureRow::Type::Start, 0, false, -1));
            rows.push_back(row(CaptureRow::Type::Addr, dev, true, -1));
        }
        const int n = 1 + int(rng() % 8);
        for (int i = 0; i < n; ++i)
            rows.push_back(row(CaptureRow::Type::Data, dev, read, int(rng() % 256)));
        rows.push_back(row(CaptureRow::Type::Stop, 0, false, -1));
    }
    return rows;
}

template <typename Labeler> void run(benchmark::State &state, Labeler &labeler)
{
    static const std::vector<CaptureRow> rows = busTraffic();
    size_t i = 0;
    size_t labelled = 0;
    for (auto _ : state) {
        CaptureRow r = rows[i];
        labeler.applySymbols(r);
        labelled += r.data.size() > 2;
        benchmark::DoNotOptimize(r.data.data());
        if (++i == rows.size())
            i = 0;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["labelled_rows_%"] =
        benchmark::Counter(100.0 * double(labelled) / double(state.iterations()));
}

void BM_ApplySymbols(benchmark::State &state)
{
    QLoggingCategory::setFilterRules("*.debug=false");
    SymbolLabeler decoder;
    decoder.setActiveSymbols(
        benchSymbolSet(int(state.range(0)), [](int v) { return v % 7 == 0 ? 1 : 0; }));
    run(state, decoder);
}
BENCHMARK(BM_ApplySymbols)->Arg(0)->Arg(100)->Arg(1000)->Arg(10000);

} // namespace

BENCHMARK_MAIN();
