// What a user waits for with a large symbol file: switching Decode on (the
// file read and put in force) and opening the protocol dialog (the file read
// into its table, the dialog shown). Runs under the offscreen platform.
#include "benchsymbols.h"
#include "protocol/protocoldialog.h"
#include "protocol/symbolfile.h"
#include "protocol/symbollabeler.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

// A temporary working directory holding symbols/symboldef.xml with n symbols.
struct SymbolDir
{
    QTemporaryDir dir;
    QString oldCwd = QDir::currentPath();
    explicit SymbolDir(int n)
    {
        QDir::setCurrent(dir.path());
        SymbolFile::makeDefaultDir();
        SymbolFile::write(SymbolFile::defaultPath(),
                          benchSymbolSet(n, [](int v) { return v % 3; }));
    }
    ~SymbolDir() { QDir::setCurrent(oldCwd); }
};

void BM_ReadSymbolFile(benchmark::State &state)
{
    SymbolDir files(int(state.range(0)));
    for (auto _ : state) {
        SymbolList symbols;
        SymbolFile::read(SymbolFile::defaultPath(), &symbols);
        benchmark::DoNotOptimize(symbols.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_DecodeOn(benchmark::State &state)
{
    SymbolDir files(int(state.range(0)));
    SymbolLabeler labeler;
    for (auto _ : state)
        labeler.loadActiveSymbols();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OpenProtocolDialog(benchmark::State &state)
{
    SymbolDir files(int(state.range(0)));
    for (auto _ : state) {
        ProtocolDialog dialog;
        dialog.show();
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_ReadSymbolFile)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOn)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenProtocolDialog)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The logged symbol lists would measure the terminal, not the program.
    qInstallMessageHandler(quiet);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
