// Decoding throughput: transactions per second through ProfileDecoder with
// the shipped profiles, on a bus of an RTC, an EEPROM, a temperature sensor,
// a humidity sensor and an IMU (register reads, page writes, commands).
#include "device/profiledecoder.h"
#include "device/profilelibrary.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

Transaction make(uint8_t address, std::vector<uint8_t> written, std::vector<uint8_t> readBytes)
{
    Transaction t;
    if (!written.empty()) {
        t.segments.emplace_back();
        t.segments.back().address = address;
        t.segments.back().bytes = std::move(written);
    }
    if (!readBytes.empty()) {
        t.segments.emplace_back();
        t.segments.back().address = address;
        t.segments.back().read = true;
        t.segments.back().bytes = std::move(readBytes);
    }
    return t;
}

std::vector<Transaction> busTraffic()
{
    std::mt19937 rng(11);
    const auto bytes = [&](size_t n) {
        std::vector<uint8_t> b(n);
        for (uint8_t &x : b)
            x = uint8_t(rng() % 0x60); // mostly valid BCD and in-range values
        return b;
    };
    std::vector<Transaction> out;
    while (out.size() < 10000) {
        switch (rng() % 6) {
        case 0:
            out.push_back(make(0x68, {0x00}, bytes(7)));
            break;
        case 1:
            out.push_back(make(0x50, {uint8_t(rng() % 32 * 8)}, {}));
            out.back().segments[0].bytes.resize(9, 0xA5);
            break;
        case 2:
            out.push_back(make(0x50, {}, bytes(16)));
            break;
        case 3:
            out.push_back(make(0x48, {0x00}, bytes(2)));
            break;
        case 4:
            out.push_back(make(0x44, {0x24, 0x00}, {}));
            out.push_back(make(0x44, {}, bytes(6)));
            break;
        default:
            out.push_back(make(0x69, {0x3B}, bytes(14)));
            break;
        }
    }
    return out;
}

void BM_ProfileDecode(benchmark::State &state)
{
    ProfileLibrary library;
    library.addDirectory(QStringLiteral(KORVEX_PROFILE_DIR));
    ProfileDecoder decoder;
    decoder.setProfile(0x68, library.find("ds3231"));
    decoder.setProfile(0x50, library.find("24c02"));
    decoder.setProfile(0x48, library.find("lm75"));
    decoder.setProfile(0x44, library.find("sht3x"));
    decoder.setProfile(0x69, library.find("mpu6050"));
    const std::vector<Transaction> traffic = busTraffic();
    ProfileDecoder::Output out;
    size_t i = 0;
    for (auto _ : state) {
        decoder.decode(traffic[i], &out, state.range(0) != 0);
        benchmark::DoNotOptimize(out.text.data());
        i = i + 1 == traffic.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
// 0: the text alone (the column, the export); 1: with the details (a tooltip).
BENCHMARK(BM_ProfileDecode)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
