// Save and Open throughput (bytes of output for Save, of input for Open), and
// the same work through the progress-dialog path of the Save and Open actions.
// Run under QT_QPA_PLATFORM=offscreen (set here when unset).
#include "capture/capturestore.h"
#include "export/capturefileactions.h"
#include "export/captureloader.h"
#include "export/savedcapturereader.h"
#include "export/savedcapturewriter.h"
#include "fileio/regularfile.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// A store of `rows` lines shaped like a capture: START, address, four data
// bytes (one merged pair), STOP, with advancing timestamps.
QString storeFile(int rows)
{
    static std::map<int, QString> made;
    auto it = made.find(rows);
    if (it != made.end())
        return it->second;
    const QString path = workDir().filePath(QStringLiteral("store-%1.dat").arg(rows));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        std::abort();
    std::string chunk;
    char line[128];
    long long t = 1234567890;
    for (int i = 0; i < rows; ++i) {
        t += 2500;
        const long long ns = t % 1000, us = t / 1000 % 1000, ms = t / 1000000 % 1000,
                        s = t / 1000000000 % 60, m = t / 60000000000 % 60, h = t / 3600000000000;
        const char *body = nullptr;
        switch (i % 7) {
        case 0:
            body = "START,--,--,--,--";
            break;
        case 1:
            body = "ADDR,50,WRITE,--,ACK";
            break;
        case 2:
            body = "DATA,50,WRITE,12 34,ACK";
            break;
        case 3:
            body = "DATA,50,WRITE,A5,ACK";
            break;
        case 4:
            body = "DATA,50,WRITE,FF,ACK";
            break;
        case 5:
            body = "DATA,50,WRITE,00,NACK";
            break;
        default:
            body = "STOP,--,--,--,--";
        }
        const int n =
            std::snprintf(line, sizeof line, "%d,%s,%02lld.%02lld.%02lld.%03lld.%03lld.%03lld\n", i,
                          body, h, m, s, ms, us, ns);
        chunk.append(line, size_t(n));
        if (chunk.size() > (1 << 20)) {
            f.write(chunk.data(), qint64(chunk.size()));
            chunk.clear();
        }
    }
    f.write(chunk.data(), qint64(chunk.size()));
    return made[rows] = path;
}

QString savedFile(int rows, SavedFormat format)
{
    static std::map<std::pair<int, int>, QString> made;
    const auto key = std::make_pair(rows, int(format));
    auto it = made.find(key);
    if (it != made.end())
        return it->second;
    const QString path = workDir().filePath(
        QStringLiteral("saved-%1.%2").arg(rows).arg(format == SavedFormat::Text ? "txt" : "csv"));
    QFile store(storeFile(rows));
    QFile out(path);
    if (!store.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        std::abort();
    SavedCaptureWriter::save(store, out, format, path);
    return made[key] = path;
}

constexpr int smallRows = 1000000;
constexpr int guiRows = 10000000;

void saveBench(benchmark::State &state, SavedFormat format, int rows)
{
    const QString storePath = storeFile(rows);
    const QString target = workDir().filePath("bench-out");
    qint64 bytes = 0;
    for (auto _ : state) {
        QFile store(storePath);
        QFile out(target);
        if (!store.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            std::abort();
        SavedCaptureWriter::save(store, out, format, target);
        out.close();
        bytes += QFile(target).size();
    }
    state.SetBytesProcessed(bytes);
}

// What the store does with an opened line: append it to its file.
struct FileSink
{
    QFile file;
    qint64 lines = 0;
    explicit FileSink(const QString &path) : file(path)
    {
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
    }
    StoredLineSink sink()
    {
        return [this](const QByteArray &line) {
            file.write(line);
            ++lines;
        };
    }
};

void openBench(benchmark::State &state, SavedFormat format, int rows, bool toFile)
{
    const QString path = savedFile(rows, format);
    qint64 bytes = 0;
    for (auto _ : state) {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            std::abort();
        qint64 out = 0;
        if (toFile) {
            FileSink sink(workDir().filePath("bench-store"));
            SavedCaptureReader::open(in, format, sink.sink());
        } else {
            SavedCaptureReader::open(in, format, [&out](const QByteArray &l) { out += l.size(); });
            benchmark::DoNotOptimize(out);
        }
        bytes += in.size();
    }
    state.SetBytesProcessed(bytes);
}

void BM_SaveCsv(benchmark::State &state)
{
    saveBench(state, SavedFormat::Csv, smallRows);
}
void BM_SaveText(benchmark::State &state)
{
    saveBench(state, SavedFormat::Text, smallRows);
}
void BM_SaveHtml(benchmark::State &state)
{
    saveBench(state, SavedFormat::Html, smallRows);
}
void BM_OpenCsv(benchmark::State &state)
{
    openBench(state, SavedFormat::Csv, smallRows, false);
}
void BM_OpenText(benchmark::State &state)
{
    openBench(state, SavedFormat::Text, smallRows, false);
}
void BM_OpenCsvToStoreFile(benchmark::State &state)
{
    openBench(state, SavedFormat::Csv, smallRows, true);
}

// 10,000,000 rows: the plain writer and reader, then Save through the action
// with its progress dialog.
void BM_SaveCsv10M(benchmark::State &state)
{
    saveBench(state, SavedFormat::Csv, guiRows);
}

void BM_SaveCsv10MThroughDialog(benchmark::State &state)
{
    const QString storePath = storeFile(guiRows);
    const QString target = workDir().filePath("bench-out.csv");
    QWidget window;
    window.show();
    CaptureFileActions actions(&window);
    actions.setAskSaveFileName([&](QWidget *, const QString &, const QString &, const QString &,
                                   QString *) { return target; });
    qint64 bytes = 0;
    for (auto _ : state) {
        if (actions.save(storePath) != CaptureFileActions::Result::Completed)
            std::abort();
        bytes += QFile(target).size();
    }
    state.SetBytesProcessed(bytes);
}

void BM_OpenCsv10M(benchmark::State &state)
{
    openBench(state, SavedFormat::Csv, guiRows, true);
}

// File -> Open: the reader into the capture store (its file in the page
// cache), then the same through the Open action with its progress dialog.
void BM_OpenIntoStore(benchmark::State &state)
{
    const QString path = savedFile(int(state.range(0)), SavedFormat::Csv);
    CaptureStore store;
    if (!store.open(workDir().filePath("I2CDataTemp.dat")))
        std::abort();
    qint64 bytes = 0;
    for (auto _ : state) {
        QFile in;
        if (RegularFile::open(in, path, QIODevice::ReadOnly) != RegularFile::Status::Opened ||
            !CaptureLoader::load(in, SavedFormat::Csv, store).replaced ||
            store.lineCount() != state.range(0))
            std::abort();
        bytes += in.size();
    }
    state.SetBytesProcessed(bytes);
}

void BM_OpenIntoStoreThroughDialog(benchmark::State &state)
{
    const QString path = savedFile(int(state.range(0)), SavedFormat::Csv);
    QWidget window;
    window.show();
    CaptureFileActions actions(&window);
    actions.setAskOpenFileName([&](QWidget *, const QString &, const QString &, const QString &,
                                   QString *) { return path; });
    CaptureStore store;
    if (!store.open(workDir().filePath("I2CDataTemp.dat")))
        std::abort();
    qint64 bytes = 0;
    for (auto _ : state) {
        if (actions.open(store) != CaptureFileActions::Result::Completed ||
            store.lineCount() != state.range(0))
            std::abort();
        bytes += QFile(path).size();
    }
    state.SetBytesProcessed(bytes);
}

} // namespace

BENCHMARK(BM_SaveCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveHtml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCsvToStoreFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveCsv10M)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SaveCsv10MThroughDialog)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_OpenCsv10M)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_OpenIntoStore)
    ->Unit(benchmark::kMillisecond)
    ->Arg(smallRows)
    ->Arg(guiRows)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_OpenIntoStoreThroughDialog)
    ->Unit(benchmark::kMillisecond)
    ->Arg(smallRows)
    ->Arg(guiRows)
    ->Iterations(3)
    ->UseRealTime();

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
