// One refresh tick's page fill: one positioned read and 40 rows of texts and
// colours. Its cost must not depend on how many lines are stored.
#include "addressmap/addressstats.h"
#include "capture/capturepipeline.h"
#include "capture/visiblerows.h"
#include "device/decodecheckpoints.h"
#include "device/profilelibrary.h"
#include "search/blockindex.h"
#include "view/allrows.h"
#include "view/pagefiller.h"
#include "view/transactioncolumn.h"
#include "view/transactionpagefiller.h"
#include "view/transactionrows.h"

#include <benchmark/benchmark.h>

#include <QStandardItemModel>
#include <QTemporaryDir>

#include <algorithm>

#include <memory>
#include <random>
#include <thread>

namespace {
void dropLog(QtMsgType, const QMessageLogContext &, const QString &) {}

// A store of `lines` rows of a mixed transfer: START, ADDR, DATA, STOP.
struct Store
{
    QTemporaryDir dir;
    CapturePipeline p;
    std::unique_ptr<TransactionIndex> index; // told of every line, as the window's is
    explicit Store(int64_t lines, bool transactions = false) : Store(transactions) { fill(lines); }
    explicit Store(bool transactions = false)
    {
        p.leaseStore()->open(dir.filePath("I2CDataTemp.dat"));
        if (transactions) {
            index = std::make_unique<TransactionIndex>(p.store());
            p.leaseStore()->addObserver(index.get());
        }
    }
    void fill(int64_t lines)
    {
        std::vector<CaptureRow> batch;
        for (int64_t i = 0; i < lines;) {
            batch.clear();
            for (int k = 0; k < 10000 && i < lines; ++k, ++i) {
                CaptureRow r = CaptureRow::start(i * 2500);
                switch (i % 6) {
                case 0:
                    break;
                case 5:
                    r.type = CaptureRow::Type::Stop;
                    break;
                default:
                    r.type = i % 6 == 1 ? CaptureRow::Type::Addr : CaptureRow::Type::Data;
                    r.hasAddress = true;
                    r.address = 0x50;
                    r.direction = CaptureRow::Direction::Write;
                    r.response = CaptureRow::Response::Ack;
                    r.data = i % 6 == 1 ? "--" : "4" + std::to_string(i % 10);
                }
                batch.push_back(r);
            }
            p.leaseStore()->appendRows(batch, p.mergeEnabled, p.decodeEnabled, nullptr);
        }
    }
    ~Store()
    {
        if (index)
            p.leaseStore()->removeObserver(index.get());
    }
};

void BM_PageFill(benchmark::State &state)
{
    qInstallMessageHandler(dropLog);
    const int64_t lines = state.range(0);
    Store store(lines);
    QStandardItemModel model;
    model.setColumnCount(8);
    PageFiller filler;
    constexpr int rows = 40;
    std::mt19937 rng(7);
    const AllRows all(store.p.store());            // every stored line, as the window pages them
    filler.fillRows(model, store.p, all, 0, rows); // items are created once, as on screen
    for (auto _ : state) {
        const int first = int(rng() % uint32_t(lines - rows + 1));
        benchmark::DoNotOptimize(filler.fillRows(model, store.p, all, first, rows));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * rows);
    qInstallMessageHandler(nullptr);
}
BENCHMARK(BM_PageFill)->Arg(1000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

// Every 7th stored line, as a filter would leave them.
struct EverySeventh : VisibleRows
{
    qint64 lines = 0;
    qint64 count() const override { return (lines + 6) / 7; }
    qint64 storedLine(qint64 row) const override { return row * 7; }
    qint64 rowAtOrAfter(qint64 line) const override { return std::min(count(), (line + 6) / 7); }
};

// The same page when the rows are not consecutive: one read per line.
void BM_PageFillFiltered(benchmark::State &state)
{
    qInstallMessageHandler(dropLog);
    Store store(state.range(0));
    EverySeventh rows;
    rows.lines = state.range(0);
    QStandardItemModel model;
    model.setColumnCount(8);
    PageFiller filler;
    constexpr int kRows = 40;
    std::mt19937 rng(7);
    filler.fillRows(model, store.p, rows, 0, kRows);
    for (auto _ : state) {
        const qint64 first = qint64(rng() % uint32_t(rows.count() - kRows + 1));
        benchmark::DoNotOptimize(filler.fillRows(model, store.p, rows, first, kRows));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRows);
    qInstallMessageHandler(nullptr);
}
BENCHMARK(BM_PageFillFiltered)->Arg(1000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
// Every in-memory index kept beside the capture file (the line index, the
// search's block summaries, the address statistics, the transaction index)
// in bytes per stored row,
// and the page fill with them all built.
void BM_IndexMemory(benchmark::State &state)
{
    qInstallMessageHandler(dropLog);
    const int64_t lines = state.range(0);
    Store store(true);
    BlockIndex blocks(store.p.store());
    AddressStats stats;
    store.p.leaseStore()->addObserver(&blocks);
    store.p.leaseStore()->addObserver(&stats);
    store.fill(lines);
    QStandardItemModel model;
    model.setColumnCount(8);
    PageFiller filler;
    constexpr int kRows = 40;
    std::mt19937 rng(7);
    const AllRows all(store.p.store());
    filler.fillRows(model, store.p, all, 0, kRows);
    for (auto _ : state) {
        const int first = int(rng() % uint32_t(lines - kRows + 1));
        benchmark::DoNotOptimize(filler.fillRows(model, store.p, all, first, kRows));
    }
    const size_t lineIndex = store.p.store().lineIndex().memoryBytes();
    const size_t summaries = blocks.memoryBytes();
    state.counters["line_index_bytes_per_row"] = double(lineIndex) / double(lines);
    state.counters["block_bytes_per_row"] = double(summaries) / double(lines);
    const size_t transactions = store.index->memoryBytes();
    state.counters["transaction_bytes_per_row"] = double(transactions) / double(lines);
    state.counters["index_bytes_per_row"] =
        double(lineIndex + summaries + transactions + sizeof(AddressStats)) / double(lines);
    store.p.leaseStore()->removeObserver(&stats);
    store.p.leaseStore()->removeObserver(&blocks);
    qInstallMessageHandler(nullptr);
}
BENCHMARK(BM_IndexMemory)->Arg(1000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

// A page of the transaction view: 40 transactions of six lines each, read
// back through the transaction index and turned into texts and colours;
// with the 解码 column (second argument 1), each also decoded as a 24C02's
// write, from the pointer checkpoint before the page.
void BM_TransactionPageFill(benchmark::State &state)
{
    qInstallMessageHandler(dropLog);
    const int64_t lines = state.range(0);
    Store store(lines, true);
    const TransactionIndex &index = *store.index;
    ProfileLibrary library;
    library.addDirectory(ProfileLibrary::shippedDirectory());
    ProfileAssignment choices(&library);
    choices.choose(0x50, "24c02");
    DecodeCheckpoints checkpoints(store.p, index);
    std::unique_ptr<TransactionDecoration> decoration;
    if (state.range(1)) {
        checkpoints.start(choices);
        decoration = checkpoints.decoration();
        const qint64 settled = (index.count() - 1) / DecodeCheckpoints::kInterval;
        while (checkpoints.reached() < settled * DecodeCheckpoints::kInterval)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state.counters["checkpoint_bytes_per_row"] =
            double(checkpoints.memoryBytes()) / double(lines);
    }
    QStandardItemModel model;
    model.setColumnCount(TransactionColumn::Count);
    TransactionPageFiller filler;
    constexpr int kRows = 40;
    std::mt19937 rng(7);
    const TransactionRows all(index);
    const StoreLease held = store.p.leaseStore();
    const qint64 count = index.count();
    filler.fillRows(model, held, index, all, 0, kRows, nullptr, decoration.get());
    for (auto _ : state) {
        // Another page each time, so the unchanged-page shortcut never applies.
        const qint64 first = qint64(rng() % uint32_t(count - kRows + 1));
        filler.fillRows(model, held, index, all, first, kRows, nullptr, decoration.get());
    }
    if (decoration && model.item(0, TransactionColumn::Decoded)->text().isEmpty())
        state.SkipWithError("nothing decoded");
    state.SetItemsProcessed(int64_t(state.iterations()) * kRows);
    qInstallMessageHandler(nullptr);
}
BENCHMARK(BM_TransactionPageFill)
    ->ArgNames({"lines", "decoded"})
    ->Args({1000, 0})
    ->Args({10000000, 0})
    ->Args({1000, 1})
    ->Args({10000000, 1})
    ->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
