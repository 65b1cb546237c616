// korvex-decode --format=summary on the recorded captures: the same figures as
// a count over the tool's own stored lines, and the buses' known clocks.
#include "decodecommand.h"

#include <capturerow.h>
#include <storedline.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {
const std::string kCaptures = std::string(KORVEX_TEST_DATA_DIR) + "/captures/";

std::string runTool(const std::string &format, const std::string &capture)
{
    const std::string out = ::testing::TempDir() + "summary-out";
    const std::string a[] = {"korvex-decode", "--format=" + format, "--output=" + out, capture};
    const char *argv[] = {a[0].c_str(), a[1].c_str(), a[2].c_str(), a[3].c_str()};
    std::ostringstream sink;
    EXPECT_EQ(korvex::runDecodeCommand(4, argv, sink, -1, sink), 0) << sink.str();
    std::ifstream in(out, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// "address ... last_seen" of every address, counted over the stored lines.
std::map<int, std::string> countLines(const std::string &lines)
{
    struct Count
    {
        unsigned long long n[5] = {};
        std::string first, last;
    };
    std::map<int, Count> counts;
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);) {
        StoredLine s;
        uint8_t a = 0;
        EXPECT_TRUE(s.parse(line));
        if (!CaptureRow::addressFromText(s.field(StoredLine::Address), &a))
            continue;
        Count &c = counts[a];
        const bool nack = s.is(CaptureRow::Response::Nack);
        c.first = c.first.empty() ? std::string(s.field(StoredLine::Timestamp)) : c.first;
        c.last = s.field(StoredLine::Timestamp);
        if (s.is(CaptureRow::Type::Addr)) {
            c.n[0]++;
            c.n[3] += nack;
        } else {
            c.n[s.is(CaptureRow::Direction::Read) ? 2 : 1]++;
            c.n[4] += nack;
        }
    }
    std::map<int, std::string> out;
    for (const auto &[a, c] : counts) {
        char head[128];
        std::snprintf(head, sizeof head, "0x%02X %llu %llu %llu %llu %llu ", a, c.n[0], c.n[1],
                      c.n[2], c.n[3], c.n[4]);
        out[a] = head + c.first + " " + c.last;
    }
    return out;
}
} // namespace

TEST(AddressSummary, RecordedCapturesMatchTheirStoredLinesAndBusClocks)
{
    const std::map<std::string, long> clocks = {
        {"peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr", 100000},
        {"extra/24aa025uid_seqrndread256.sr", 400000},
        {"extra/8564je_nacks.sr", 0},
        {"peer-suite/rohm_bh1750/bh1750_hresolutionmode.sr", 0},
        {"peer-suite/sensirion_sht3x/sensirion_sht31_25rh_28rh.sr", 0},
        {"peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz_no_samplerate.sr", -1}};
    for (const auto &[name, clock] : clocks) {
        SCOPED_TRACE(name);
        const std::map<int, std::string> expected = countLines(runTool("lines", kCaptures + name));
        std::istringstream summary(runTool("summary", kCaptures + name));
        std::string line;
        std::getline(summary, line);
        EXPECT_EQ(line, "address transfers bytes_written bytes_read nacked_addresses "
                        "nacked_data_bytes first_seen last_seen clock_hz");
        size_t seen = 0;
        for (; std::getline(summary, line); ++seen) {
            const size_t cut = line.rfind(' ');
            const int address = std::stoi(line.substr(2, 2), nullptr, 16);
            EXPECT_EQ(line.substr(0, cut), expected.count(address) ? expected.at(address) : "");
            const std::string hz = line.substr(cut + 1);
            if (clock > 0)
                EXPECT_NEAR(std::stol(hz), clock, clock / 100);
            else
                EXPECT_EQ(hz == "-", clock < 0) << hz; // no sample rate: no times, no clock
        }
        EXPECT_EQ(seen, expected.size());
        EXPECT_GT(seen, 0u);
    }
}
