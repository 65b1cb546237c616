// korvex-decode: its outputs against the program's own writers, its command
// line, channel choice and failures.
#include "decodecommand.h"

#include <capturepipeline.h>
#include <savedcapturewriter.h>

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace korvex {
namespace {

const std::string kCaptures = std::string(KORVEX_TEST_DATA_DIR) + "/captures/";
const std::string kEeprom = kCaptures + "extra/24aa025uid_seqrndread256.sr"; // SCL = D0, SDA = D1
const std::string kNacks = kCaptures + "extra/8564je_nacks.sr";              // SCL = D2, SDA = D3
const std::string kRtc = kCaptures + "peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr";

struct Result
{
    int status;
    std::string out, err;
};

std::string fileText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the command in this process; standard output is a stream plus a
// temporary file's descriptor (or outFd), and `out` is what reached either.
Result run(std::vector<std::string> args, int outFd = -1)
{
    args.insert(args.begin(), "korvex-decode");
    std::vector<const char *> argv;
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    std::FILE *file = std::tmpfile();
    std::ostringstream out, err;
    const int status = runDecodeCommand(int(argv.size()), argv.data(), out,
                                        outFd >= 0 ? outFd : fileno(file), err);
    std::string text = out.str();
    std::rewind(file);
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    std::fclose(file);
    return {status, text, err.str()};
}

TEST(DecodeCommand, OutputsAreTheStoreFileAndWhatSaveWritesFromIt)
{
    // The program's capture file: the callback fed batches split elsewhere than the tool's.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    DecodeOptions options;
    options.capture = kNacks;
    DecodedCapture decoded;
    ASSERT_TRUE(decodeForOptions(options, decoded, nullptr));
    {
        CapturePipeline pipeline;
        ASSERT_TRUE(pipeline.store().open(QStringLiteral("I2CDataTemp.dat")));
        for (size_t at = 0; at < decoded.events.size(); at += 333)
            pipeline.onI2CEvents(decoded.events.data() + at,
                                 int(std::min<size_t>(333, decoded.events.size() - at)));
        pipeline.store().close();
    }
    const std::string store = fileText("I2CDataTemp.dat");
    ASSERT_NE(store.find("\n1,ADDR,51,WRITE,--,NACK,00.00.00.381.900.562\n"), std::string::npos);
    const std::string name = "saved <&> copy.csv"; // --format decides, not the name
    const std::pair<const char *, SavedFormat> formats[] = {{"lines", SavedFormat::None},
                                                            {"txt", SavedFormat::Text},
                                                            {"csv", SavedFormat::Csv},
                                                            {"html", SavedFormat::Html}};
    for (const auto &f : formats) {
        SCOPED_TRACE(f.first);
        const auto saved = [&](const QString &title) {
            if (f.second == SavedFormat::None)
                return store;
            QFile in(QStringLiteral("I2CDataTemp.dat"));
            in.open(QIODevice::ReadOnly);
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            EXPECT_TRUE(SavedCaptureWriter::save(in, out, f.second, title).ok());
            return out.data().toStdString();
        };
        const std::string format = std::string("--format=") + f.first;
        EXPECT_TRUE(run({format, kNacks}).out == saved(QStringLiteral("-")));
        // A longer file already there is replaced; the HTML title is the name as given.
        std::ofstream(name) << std::string(store.size() * 2, 'x');
        ASSERT_EQ(run({format, "--output=" + name, kNacks}).status, 0);
        EXPECT_TRUE(fileText(name) == saved(QString::fromStdString(name)));
    }
    EXPECT_NE(fileText(name).find("<title>saved &lt;&amp;&gt; copy.csv</title>"),
              std::string::npos);
}

TEST(DecodeCommand, EventsAndChannelChoice)
{
    const Result rtc = run({"--sda=1", "--scl=0", "--assume-idle", kRtc});
    EXPECT_EQ(rtc.out.substr(0, 36), "0 START\n2 ADDR D0\n18 ACK\n25 DATA 00\n");
    EXPECT_NE(rtc.out.find("\n171 STOP\n"), std::string::npos);
    // Without the idle start, the START in the first sample is not seen.
    EXPECT_NE(run({"--sda=1", "--scl=0", kRtc}).out.substr(0, 7), "0 START");

    const std::string byDefault = run({kNacks}).out;
    EXPECT_EQ(std::count(byDefault.begin(), byDefault.end(), '\n'), 61015);
    EXPECT_TRUE(run({"--sda=sda", "--scl=2", kNacks}).out == byDefault);
    EXPECT_FALSE(run({"--pair=1", kNacks}).out == byDefault); // the lines swapped
    EXPECT_EQ(run({"--pair=3", kNacks}).status, 0);
    EXPECT_TRUE(run({"--sda=SDA", "--scl=SCL", kEeprom}).out == run({kEeprom}).out);
    // Without SDA/SCL names the default is pair 0.
    const std::string unnamed =
        kCaptures + "peer-suite/gigabyte_6vle-vxl_i2c/gigabyte_6vle_vxl_i2c.sr";
    EXPECT_TRUE(run({unnamed}).out == run({"--pair=0", unnamed}).out);
}

TEST(DecodeCommand, BadArgumentsAndCapturesExitWithAReason)
{
    std::ofstream("garbage.sr") << "not a capture";
    const struct
    {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{}, 2, "no capture file given"},
        {{"--sda=1", kEeprom}, 2, "--sda and --scl go together"},
        {{"--pair=4", kEeprom}, 2, "--pair takes 0, 1, 2 or 3, not '4'"},
        {{"--pair=0", "--sda=1", "--scl=0", kEeprom}, 2, "exclude each other"},
        {{"--format=pdf", kEeprom}, 2, "unknown format 'pdf'"},
        {{"--bogus", kEeprom}, 2, "unknown option '--bogus'"},
        {{"--sda=", "--scl=0", kEeprom}, 2, "--sda needs a channel"},
        {{"--output=", kEeprom}, 2, "--output needs a file name"},
        {{kEeprom, kEeprom}, 2, "only one capture file"},
        {{"no-such-capture.sr"}, 1, "no-such-capture.sr"},
        {{"garbage.sr"}, 1, "garbage.sr"},
        {{"--sda=SDA", "--scl=CLOCK", kNacks}, 1, "no channel named 'CLOCK'"},
        {{"--sda=3", "--scl=9", kNacks}, 1, "no logic channel 9"},
        {{"--sda=3", "--scl=3", kNacks}, 1, "the same channel"},
    };
    for (const auto &c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("usage:") != std::string::npos, c.status == 2) << c.message;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_NE(run({"--help"}).out.find("--assume-idle"), std::string::npos);
    std::string error;
    EXPECT_FALSE(writeEventFormat("pdf", DecodedCapture(), FormatOutput(), &error));
    EXPECT_NE(error.find("pdf"), std::string::npos);
}

TEST(DecodeCommand, NothingWrittenDoesNotPassForSuccess)
{
    std::signal(SIGPIPE, SIG_IGN);
    for (const std::string &format : eventFormatNames()) {
        SCOPED_TRACE(format);
        EXPECT_EQ(run({"--format=" + format, "--output=/dev/null", kEeprom}).status, 0);
        for (const std::string target : {"no/such/dir/out.dat", ".", "/dev/full"}) {
            const Result r = run({"--format=" + format, "--output=" + target, kEeprom});
            EXPECT_EQ(r.status, 1) << target;
            EXPECT_NE(r.err.find(target), std::string::npos) << r.err;
        }
        if (format == "events")
            continue; // written to the stream, which takes anything
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        ::close(pipeFds[0]);
        const Result closed = run({"--format=" + format, kEeprom}, pipeFds[1]);
        ::close(pipeFds[1]);
        EXPECT_EQ(closed.status, 1);
        EXPECT_NE(closed.err.find("standard output"), std::string::npos) << closed.err;
    }
}

TEST(DecodeCommand, TheProgramWritesStandardOutputAndExitsWithTheStatus)
{
    const auto program = [](const std::string &args, std::string *out) {
        FILE *pipe =
            popen((std::string(KORVEX_DECODE_BIN) + " " + args + " 2>/dev/null").c_str(), "r");
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out->append(buffer, n);
        const int rc = pclose(pipe);
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    for (const std::string format : {"events", "csv"}) {
        std::string out;
        EXPECT_EQ(program("--format=" + format + " " + kEeprom, &out), 0);
        EXPECT_TRUE(out == run({"--format=" + format, kEeprom}).out) << format;
    }
    std::string ignored;
    EXPECT_EQ(program("--pair=7 x.sr", &ignored), 2);
    EXPECT_EQ(program("no-such-capture.sr", &ignored), 1);
}

} // namespace
} // namespace korvex
