// korvex-decode: its command line, channel choice, output and errors.
#include "decodecommand.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace korvex {
namespace {

std::string data(const std::string &relative)
{
    return std::string(KORVEX_TEST_DATA_DIR) + "/captures/" + relative;
}

struct Result
{
    int status;
    std::string out, err;
};

Result run(std::vector<std::string> args)
{
    args.insert(args.begin(), "korvex-decode");
    std::vector<const char *> argv;
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int status = runDecodeCommand(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

TEST(DecodeCommand, RejectsMalformedCommandLines)
{
    const std::string capture = data("extra/24aa025uid_seqrndread256.sr");
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--sda=1", capture},
        {"--scl=0", capture},
        {"--pair=4", capture},
        {"--pair=x", capture},
        {"--pair=0", "--sda=1", "--scl=0", capture},
        {"--format=pdf", capture},
        {"--bogus", capture},
        {"--sda=", "--scl=0", capture},
        {"--output=", capture},
        {capture, capture},
    };
    for (const auto &args : bad) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(r.err.find("usage: korvex-decode"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--assume-idle"), std::string::npos);
}

TEST(DecodeCommand, PrintsOneLinePerEvent)
{
    const Result r = run({"--sda=1", "--scl=0", "--assume-idle",
                          data("peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 181u);
    EXPECT_EQ(out[0], "0 START");
    EXPECT_EQ(out[1], "2 ADDR D0");
    EXPECT_EQ(out[2], "18 ACK");
    EXPECT_EQ(out[3], "25 DATA 00");
    EXPECT_EQ(out[19], "171 STOP");
    // Without the idle start, the START in the first sample is not seen.
    const Result plain =
        run({"--sda=1", "--scl=0", data("peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr")});
    EXPECT_EQ(lines(plain.out).size(), 181u - 20u);
    // A capture without a sample rate still has sample positions.
    const Result noRate =
        run({"--sda=1", "--scl=0", "--assume-idle",
             data("peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz_no_samplerate.sr")});
    EXPECT_EQ(noRate.status, 0) << noRate.err;
    EXPECT_TRUE(noRate.out == r.out);
}

TEST(DecodeCommand, ChoosesChannelsByNameNumberOrPair)
{
    // 8564je_nacks.sr names D2 "SCL" and D3 "SDA".
    const std::string capture = data("extra/8564je_nacks.sr");
    const Result byDefault = run({capture});
    ASSERT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_EQ(lines(byDefault.out).size(), 61015u);
    EXPECT_TRUE(run({"--sda=SDA", "--scl=SCL", capture}).out == byDefault.out);
    EXPECT_TRUE(run({"--sda=sda", "--scl=scl", capture}).out == byDefault.out);
    EXPECT_TRUE(run({"--sda=3", "--scl=2", capture}).out == byDefault.out);
    EXPECT_TRUE(run({"--scl=2", "--sda=SDA", capture}).out == byDefault.out);
    // Pair 1 is SDA = D2, SCL = D3: the lines swapped, so another decode.
    const Result pair1 = run({"--pair=1", capture});
    EXPECT_EQ(pair1.status, 0);
    EXPECT_FALSE(pair1.out == byDefault.out) << "an explicit pair wins over channel names";

    // Without SDA/SCL names the default is pair 0 (this file: 0 = SCL, 3 = SDA).
    const std::string unnamed = data("peer-suite/gigabyte_6vle-vxl_i2c/gigabyte_6vle_vxl_i2c.sr");
    EXPECT_TRUE(run({unnamed}).out == run({"--pair=0", unnamed}).out);
    EXPECT_TRUE(run({"--sda=0", "--scl=1", unnamed}).out == run({"--pair=0", unnamed}).out);

    for (const auto &args :
         std::vector<std::vector<std::string>>{{"--sda=SDA", "--scl=CLOCK", capture},
                                               {"--sda=3", "--scl=9", capture},
                                               {"--sda=3", "--scl=3", capture}}) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_FALSE(r.err.empty());
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(DecodeCommand, WritesTheOutputFileOrFailsClearly)
{
    const std::string capture = data("extra/24aa025uid_seqrndread256.sr");
    const Result toStdout = run({capture});
    ASSERT_EQ(toStdout.status, 0);
    const Result toFile = run({"--output=events.txt", capture});
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_TRUE(toFile.out.empty());
    std::ifstream in("events.txt", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == toStdout.out);

    const Result noDir = run({"--output=no/such/dir/events.txt", capture});
    EXPECT_EQ(noDir.status, 1);
    EXPECT_NE(noDir.err.find("cannot write"), std::string::npos);

    const Result missing = run({"no-such-capture.sr"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no-such-capture.sr"), std::string::npos);
    std::ofstream("garbage.sr") << "not a capture";
    EXPECT_EQ(run({"garbage.sr"}).status, 1);
}

TEST(DecodeCommand, TheProgramExitsWithTheCommandsStatus)
{
    auto status = [](const std::string &args, std::string *out = nullptr) {
        const std::string command = std::string(KORVEX_DECODE_BIN) + " " + args + " 2>/dev/null";
        FILE *pipe = popen(command.c_str(), "r");
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            text.append(buffer, n);
        const int rc = pclose(pipe);
        if (out)
            *out = text;
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    std::string out;
    EXPECT_EQ(status("--format=events " + data("extra/24aa025uid_seqrndread256.sr"), &out), 0);
    EXPECT_EQ(lines(out).size(), 521u);
    EXPECT_EQ(status("--pair=7 x.sr"), 2);
    EXPECT_EQ(status("no-such-capture.sr"), 1);
}

} // namespace
} // namespace korvex
