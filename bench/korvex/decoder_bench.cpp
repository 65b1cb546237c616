// Decoder throughput on recorded traffic, in samples per second, and the
// simulator's sample generation.
#include "korvex/src/bussimulator.h"
#include "korvex/src/capturedecoding.h"
#include "korvex/src/capturefile.h"
#include "korvex/src/healthchecker.h"
#include "korvex/src/i2cdecoder.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Capture
{
    std::vector<uint8_t> bytes;
    korvex::I2CDecoderConfig config;
};

// Each capture is read into memory once, outside the timed loops.
const Capture &capture(const std::string &name)
{
    static std::map<std::string, Capture> cache;
    auto found = cache.find(name);
    if (found != cache.end())
        return found->second;
    Capture &c = cache[name];
    korvex::CaptureFile file;
    std::string error;
    const std::string path = std::string(KORVEX_TEST_DATA_DIR) + "/captures/extra/" + name;
    if (!file.open(path, &error) ||
        !korvex::chooseI2CChannels(file, 0, c.config.sdaChannel, c.config.sclChannel, &error) ||
        !file.read(
            [&c](const uint8_t *data, size_t bytes, unsigned unitSize) {
                c.config.unitSize = unitSize;
                c.bytes.insert(c.bytes.end(), data, data + bytes);
                return true;
            },
            &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    c.config.sampleRate = file.sampleRate();
    return c;
}

// Decodes the whole capture in `chunk`-byte buffers (0: one buffer).
void decode(benchmark::State &state, const std::string &name, size_t chunk)
{
    const Capture &c = capture(name);
    std::vector<I2CEvent> events;
    events.reserve(1 << 20);
    for (auto _ : state) {
        korvex::I2CDecoder decoder;
        decoder.configure(c.config);
        events.clear();
        const size_t step = chunk ? chunk : c.bytes.size();
        for (size_t at = 0; at < c.bytes.size(); at += step)
            decoder.feed(c.bytes.data() + at, std::min(step, c.bytes.size() - at), events);
        benchmark::DoNotOptimize(events.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(c.bytes.size() / c.config.unitSize));
    state.counters["events"] = static_cast<double>(events.size());
}

void BM_Decode_8564je_nacks(benchmark::State &state)
{
    decode(state, "8564je_nacks.sr", 0);
}
void BM_Decode_8564je_nacks_64KiB(benchmark::State &state)
{
    decode(state, "8564je_nacks.sr", 1 << 16);
}
void BM_Decode_ad5258_triangle(benchmark::State &state)
{
    decode(state, "ad5258_read_once_write_continuously_triangle_0to255.sr", 0);
}
void BM_Decode_24aa025uid_seqread(benchmark::State &state)
{
    decode(state, "24aa025uid_seqrndread256.sr", 0);
}

// The decoder with the bus-health checker on its edges, in 64 KiB buffers as
// the tool and the replay feed it; findings are taken after every buffer.
void decodeWithHealth(benchmark::State &state, const std::string &name)
{
    const Capture &c = capture(name);
    std::vector<I2CEvent> events;
    std::vector<KorvexFinding> findings;
    size_t found = 0;
    for (auto _ : state) {
        korvex::I2CDecoder decoder;
        decoder.configure(c.config);
        korvex::HealthConfig config;
        config.sampleRate = c.config.sampleRate;
        korvex::HealthChecker checker(config);
        decoder.setObserver(&checker);
        found = 0;
        const size_t step = 1 << 16;
        for (size_t at = 0; at < c.bytes.size(); at += step) {
            events.clear();
            decoder.feed(c.bytes.data() + at, std::min(step, c.bytes.size() - at), events);
            checker.advance(decoder.samplesSeen(), decoder.eventCount());
            findings.clear();
            checker.take(findings);
            found += findings.size();
            benchmark::DoNotOptimize(checker.openEvent());
        }
        checker.finish(decoder.samplesSeen(), decoder.eventCount());
        findings.clear();
        checker.take(findings);
        found += findings.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(c.bytes.size() / c.config.unitSize));
    state.counters["findings"] = static_cast<double>(found);
}

void BM_DecoderWithHealth_8564je_nacks(benchmark::State &state)
{
    decodeWithHealth(state, "8564je_nacks.sr");
}
void BM_DecoderWithHealth_ad5258_triangle(benchmark::State &state)
{
    decodeWithHealth(state, "ad5258_read_once_write_continuously_triangle_0to255.sr");
}
void BM_DecoderWithHealth_24aa025uid_seqread(benchmark::State &state)
{
    decodeWithHealth(state, "24aa025uid_seqrndread256.sr");
}

void BM_SimulatorGenerate10MHz(benchmark::State &state)
{
    korvex::BusSimulator bus(10000000, 0, 1);
    std::vector<uint8_t> samples;
    for (auto _ : state) {
        samples.clear();
        bus.generate(100000, samples); // one 10 ms slice
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100000);
}

} // namespace

BENCHMARK(BM_Decode_8564je_nacks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_8564je_nacks_64KiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_ad5258_triangle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_24aa025uid_seqread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecoderWithHealth_8564je_nacks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecoderWithHealth_ad5258_triangle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecoderWithHealth_24aa025uid_seqread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimulatorGenerate10MHz)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
