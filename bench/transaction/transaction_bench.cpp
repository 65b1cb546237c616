// Transaction filtering over captures of 10^7 stored lines generated through
// the real store with the transaction index attached (file in the page
// cache): the scan a filter's worker runs, and the index's size.
#include "capture/capturepipeline.h"
#include "search/blockindex.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionscan.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <map>
#include <memory>
#include <random>

namespace {
// Transfers of eleven rows (START, ADDR, eight bytes, STOP) to 0x50 / 0x51,
// the last byte of each NACKed; 0x33 talks about once in 10^5 rows.
struct Capture
{
    QTemporaryDir dir;
    CapturePipeline pipeline;
    TransactionIndex index{pipeline.store()};
    BlockIndex blocks{pipeline.store()};

    explicit Capture(qint64 n)
    {
        pipeline.leaseStore()->addObserver(&index);
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
                row.address = r % 100003 == 0 ? 0x33 : 0x50 | (r >> 20 & 1);
                row.direction =
                    r >> 21 & 1 ? CaptureRow::Direction::Read : CaptureRow::Direction::Write;
                row.response = kind == 9 ? CaptureRow::Response::Nack : CaptureRow::Response::Ack;
            }
            static const char kHex[] = "0123456789ABCDEF";
            row.data = kind > 1 && kind < 10 ? std::string{kHex[r & 7], kHex[r >> 4 & 15]}
                                             : std::string("--");
            batch.push_back(std::move(row));
            if (batch.size() == 4096 || i == n - 1) {
                pipeline.leaseStore()->appendRows(batch, pipeline.mergeEnabled,
                                                  pipeline.decodeEnabled, nullptr);
                batch.clear();
            }
        }
    }
};

Capture &capture(qint64 n)
{
    static std::map<qint64, std::unique_ptr<Capture>> captures;
    std::unique_ptr<Capture> &c = captures[n];
    if (!c)
        c = std::make_unique<Capture>(n);
    return *c;
}

// Arg 0: addr=33; 1: NACK; 2: data= two bytes across rows.
void BM_FilterTransactions(benchmark::State &state)
{
    static const char *kQueries[] = {"addr=33", "NACK", "data=17,60"};
    Capture &c = capture(10000000);
    TransactionQuery query;
    QString error;
    query.parse(QString::fromLatin1(kQueries[state.range(0)]), &error);
    qint64 matches = 0;
    for (auto _ : state) {
        TransactionScan scan(c.pipeline, c.index, query, &c.blocks);
        matches = 0;
        scan.scan(0, c.pipeline.storedLineCount(), nullptr, [&matches](qint64) {
            ++matches;
            return true;
        });
    }
    state.counters["matches"] = double(matches);
    state.SetBytesProcessed(state.iterations() * c.pipeline.storedBytes());
    state.SetLabel(kQueries[state.range(0)]);
}
BENCHMARK(BM_FilterTransactions)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_TransactionIndexMemory(benchmark::State &state)
{
    Capture &c = capture(10000000);
    for (auto _ : state)
        benchmark::DoNotOptimize(c.index.memoryBytes());
    state.counters["bytes_per_line"] =
        double(c.index.memoryBytes()) / double(c.pipeline.storedLineCount());
}
BENCHMARK(BM_TransactionIndexMemory);
} // namespace

BENCHMARK_MAIN();
