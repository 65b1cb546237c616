// Feeds arbitrary bytes to the replay loader as a capture file on disk: the
// same steps as opening and starting a replay adapter, then decoding every
// sample. It either refuses the file with a reason or decodes it; it never
// crashes, hangs or decodes past what the file holds.
#include "fuzzrequire.h"
#include "korvex/src/capturedecoding.h"
#include "korvex/src/capturefile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string g_path;

bool load(std::string *error)
{
    korvex::CaptureFile file;
    if (!file.open(g_path, error))
        return false;
    if (file.sampleRate() == 0 || file.logicChannels().size() < 2)
        return false;
    unsigned sda = 0, scl = 0;
    if (!file.verify(error) || !korvex::chooseI2CChannels(file, 0, sda, scl, error))
        return false;
    korvex::I2CDecoderConfig config;
    config.sdaChannel = sda;
    config.sclChannel = scl;
    std::vector<I2CEvent> events;
    std::vector<uint64_t> samples;
    uint64_t sampleCount = 0;
    if (!korvex::decodeCapture(file, config, events, &samples, &sampleCount, error))
        return false;
    require(samples.size() == events.size());
    for (uint64_t s : samples)
        require(s < sampleCount);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("KORVEX_LOG", "quiet", 1);
    const char *dir = getenv("TMPDIR");
    g_path = std::string(dir && *dir ? dir : "/tmp") + "/korvex-fuzz-replay-" +
             std::to_string(getpid()) + ".sr";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(g_path.c_str(), "wb");
    require(f);
    require(std::fwrite(data, 1, size, f) == size);
    require(std::fclose(f) == 0);
    std::string error;
    load(&error); // refusing the file is as good a result as decoding it
    std::remove(g_path.c_str());
    return 0;
}
