// Peak resident memory of korvex-decode decoding captures of 64 MiB and 1 GiB
// of samples in every output format: decoding streams, so the two must be
// the same within a few per cent whatever the capture's length.
#include <benchmark/benchmark.h>

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kMemberBytes = 4 << 20; // as libsigrok writes them: many members
constexpr size_t kTransferSamples = 256;
const char *const kFormats[] = {"events", "lines", "txt", "csv", "html", "summary"};

// One write of 0x12 to address 0x50 at 4 samples a bit (SDA = D0, SCL = D1),
// then the bus idle, 256 samples in all, so that it tiles every member.
std::vector<uint8_t> transfer()
{
    std::vector<uint8_t> s = {3, 3, 2, 2}; // idle, START: SDA falls while SCL is high
    auto bit = [&s](bool level) {
        const uint8_t sda = level ? 1 : 0;
        s.insert(s.end(), {sda, sda, uint8_t(sda | 2), uint8_t(sda | 2)});
    };
    for (uint8_t byte : {uint8_t(0xA0), uint8_t(0x12)}) {
        for (int b = 7; b >= 0; --b)
            bit((byte >> b) & 1);
        bit(false); // ACK
    }
    s.insert(s.end(), {0, 2, 3}); // STOP: SDA rises while SCL is high
    s.resize(kTransferSamples, 3);
    return s;
}

std::string g_dir;

void removeDir()
{
    std::system(("rm -rf '" + g_dir + "'").c_str());
}

// A capture of `mib` MiB of samples, written once per process.
const std::string &captureOf(size_t mib)
{
    static std::map<size_t, std::string> made;
    auto found = made.find(mib);
    if (found != made.end())
        return found->second;
    if (g_dir.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvex-bench-XXXXXX";
        g_dir = ::mkdtemp(pattern.data()) ? pattern : "/tmp";
        std::atexit(removeDir);
    }
    static std::vector<uint8_t> member;
    if (member.empty()) {
        const std::vector<uint8_t> t = transfer();
        while (member.size() < kMemberBytes)
            member.insert(member.end(), t.begin(), t.end());
    }
    static const std::string metadata = "[global]\nsigrok version=0.5.2\n\n[device 1]\n"
                                        "capturefile=logic-1\ntotal probes=2\nsamplerate=1 MHz\n"
                                        "total analog=0\nprobe1=SDA\nprobe2=SCL\nunitsize=1\n";
    const std::string path = g_dir + "/repeated-" + std::to_string(mib) + "MiB.sr";
    zip_t *archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    zip_file_add(archive, "version", zip_source_buffer(archive, "2", 1, 0), 0);
    zip_file_add(archive, "metadata",
                 zip_source_buffer(archive, metadata.data(), metadata.size(), 0), 0);
    for (size_t i = 1; i <= (mib << 20) / kMemberBytes; ++i) {
        const zip_int64_t index =
            zip_file_add(archive, ("logic-1-" + std::to_string(i)).c_str(),
                         zip_source_buffer(archive, member.data(), member.size(), 0), 0);
        zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 1);
    }
    if (zip_close(archive) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
    return made[mib] = path;
}

// Runs korvex-decode; its peak resident set in KiB, or -1 when it failed.
long peakResidentKiB(const std::string &format, const std::string &capture)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string option = "--format=" + format;
        ::execl(KORVEX_DECODE, "korvex-decode", option.c_str(), "--output=/dev/null",
                capture.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}

// Arguments: MiB of samples, index into kFormats.
void BM_DecodeToolMemory(benchmark::State &state)
{
    const std::string &capture = captureOf(size_t(state.range(0)));
    const char *format = kFormats[state.range(1)];
    long peak = 0;
    for (auto _ : state) {
        peak = peakResidentKiB(format, capture);
        if (peak < 0) {
            state.SkipWithError("korvex-decode failed");
            return;
        }
    }
    state.SetLabel(format);
    state.counters["peak_rss_MiB"] = double(peak) / 1024;
    state.SetItemsProcessed(int64_t(state.iterations()) * (state.range(0) << 20));
}
BENCHMARK(BM_DecodeToolMemory)
    ->ArgsProduct({{64, 1024}, {0, 1, 2, 3, 4, 5}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
