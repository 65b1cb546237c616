// korvex-decode: its command line, channel choice, output formats and errors.
#include "decodecommand.h"

#include <capturepipeline.h>
#include <savedcapturewriter.h>

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace korvex {
namespace {

std::string data(const std::string &relative)
{
    return std::string(KORVEX_TEST_DATA_DIR) + "/captures/" + relative;
}

const std::string kEeprom = data("extra/24aa025uid_seqrndread256.sr"); // SCL = D0, SDA = D1
const std::string kNacks = data("extra/8564je_nacks.sr");              // SCL = D2, SDA = D3
const std::string kRtc = data("peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr");

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

// Runs the command in this process. Standard output is a stream and a
// temporary file's descriptor; `out` is what reached either. With outFd
// given, that descriptor is standard output instead of the file.
Result run(std::vector<std::string> args, int outFd = -1)
{
    args.insert(args.begin(), "korvex-decode");
    std::vector<const char *> argv;
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    std::FILE *file = std::tmpfile();
    std::ostringstream out, err;
    const int status = runDecodeCommand(static_cast<int>(argv.size()), argv.data(), out,
                                        outFd >= 0 ? outFd : fileno(file), err);
    std::string text = out.str();
    std::rewind(file);
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    std::fclose(file);
    return {status, text, err.str()};
}

size_t lineCount(const std::string &text)
{
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

void dropLog(QtMsgType, const QMessageLogContext &, const QString &) {}

// The program's capture file after the capture callback got the capture's
// events, `batch` at a time, with Merge and Decode off (as they start).
std::string storeFileFor(const std::string &capture, const std::string &path, size_t batch)
{
    DecodeOptions options;
    options.capture = capture;
    DecodedCapture decoded;
    std::string error;
    EXPECT_TRUE(decodeForOptions(options, decoded, &error)) << error;
    qInstallMessageHandler(dropLog); // the callback logs every batch
    CapturePipeline pipeline;
    EXPECT_TRUE(pipeline.store().open(QString::fromStdString(path)));
    for (size_t at = 0; at < decoded.events.size(); at += batch)
        pipeline.onI2CEvents(decoded.events.data() + at,
                             int(std::min(batch, decoded.events.size() - at)));
    EXPECT_FALSE(pipeline.store().failed()) << pipeline.store().errorString().toStdString();
    pipeline.store().close();
    qInstallMessageHandler(nullptr);
    return fileText(path);
}

// What Save writes from the store file at storePath in `format`.
std::string savedFrom(const std::string &storePath, SavedFormat format, const QString &title)
{
    QFile store(QString::fromStdString(storePath));
    EXPECT_TRUE(store.open(QIODevice::ReadOnly));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    const TransferResult result = SavedCaptureWriter::save(store, out, format, title);
    EXPECT_TRUE(result.ok()) << result.error.toStdString();
    EXPECT_EQ(result.linesSkipped, 0);
    return out.data().toStdString();
}

TEST(DecodeCommand, RejectsMalformedCommandLines)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--sda=1", kEeprom},
        {"--scl=0", kEeprom},
        {"--pair=4", kEeprom},
        {"--pair=x", kEeprom},
        {"--pair=0", "--sda=1", "--scl=0", kEeprom},
        {"--format=pdf", kEeprom},
        {"--bogus", kEeprom},
        {"--sda=", "--scl=0", kEeprom},
        {"--output=", kEeprom},
        {kEeprom, kEeprom},
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
    std::string error;
    EXPECT_FALSE(writeEventFormat("pdf", DecodedCapture(), FormatOutput(), &error));
    EXPECT_NE(error.find("pdf"), std::string::npos);
}

TEST(DecodeCommand, PrintsOneLinePerEvent)
{
    const Result r = run({"--sda=1", "--scl=0", "--assume-idle", kRtc});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lineCount(r.out), 181u);
    const std::string first = "0 START\n2 ADDR D0\n18 ACK\n25 DATA 00\n";
    EXPECT_EQ(r.out.substr(0, first.size()), first);
    EXPECT_NE(r.out.find("\n171 STOP\n"), std::string::npos);
    // Without the idle start, the START in the first sample is not seen.
    EXPECT_EQ(lineCount(run({"--sda=1", "--scl=0", kRtc}).out), 181u - 20u);
    // A capture without a sample rate still has sample positions.
    const Result noRate =
        run({"--sda=1", "--scl=0", "--assume-idle",
             data("peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz_no_samplerate.sr")});
    EXPECT_EQ(noRate.status, 0) << noRate.err;
    EXPECT_TRUE(noRate.out == r.out);
}

TEST(DecodeCommand, ChoosesChannelsByNameNumberOrPair)
{
    const Result byDefault = run({kNacks});
    ASSERT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_EQ(lineCount(byDefault.out), 61015u);
    for (const auto &args : std::vector<std::vector<std::string>>{{"--sda=SDA", "--scl=SCL"},
                                                                  {"--sda=sda", "--scl=scl"},
                                                                  {"--sda=3", "--scl=2"},
                                                                  {"--scl=2", "--sda=SDA"}}) {
        EXPECT_TRUE(run({args[0], args[1], kNacks}).out == byDefault.out) << args[0] << args[1];
    }
    // Pair 1 is SDA = D2, SCL = D3: the lines swapped, so another decode.
    const Result pair1 = run({"--pair=1", kNacks});
    EXPECT_EQ(pair1.status, 0);
    EXPECT_FALSE(pair1.out == byDefault.out) << "an explicit pair wins over channel names";
    EXPECT_EQ(run({"--pair=3", kNacks}).status, 0);
    // A name of the first channel.
    EXPECT_TRUE(run({"--sda=SDA", "--scl=SCL", kEeprom}).out == run({kEeprom}).out);

    // Without SDA/SCL names the default is pair 0 (this file: 0 = SCL, 3 = SDA).
    const std::string unnamed = data("peer-suite/gigabyte_6vle-vxl_i2c/gigabyte_6vle_vxl_i2c.sr");
    EXPECT_TRUE(run({unnamed}).out == run({"--pair=0", unnamed}).out);
    EXPECT_TRUE(run({"--sda=0", "--scl=1", unnamed}).out == run({"--pair=0", unnamed}).out);

    for (const auto &args : std::vector<std::vector<std::string>>{
             {"--sda=SDA", "--scl=CLOCK"}, {"--sda=3", "--scl=9"}, {"--sda=3", "--scl=3"}}) {
        const Result r = run({args[0], args[1], kNacks});
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_FALSE(r.err.empty());
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(DecodeCommand, WritesTheOutputFileOrFailsClearly)
{
    for (const std::string &format : eventFormatNames()) {
        SCOPED_TRACE(format);
        const Result toStdout = run({"--format=" + format, kEeprom});
        ASSERT_EQ(toStdout.status, 0) << toStdout.err;
        ASSERT_FALSE(toStdout.out.empty());
        // An existing, longer file is replaced, not overwritten in part.
        std::ofstream("out.dat") << std::string(toStdout.out.size() + 4096, 'x');
        const Result toFile = run({"--format=" + format, "--output=out.dat", kEeprom});
        ASSERT_EQ(toFile.status, 0) << toFile.err;
        EXPECT_TRUE(toFile.out.empty());
        if (format != "html") { // its title is the file name
            EXPECT_TRUE(fileText("out.dat") == toStdout.out);
        }
        // A device takes the output in order.
        EXPECT_EQ(run({"--format=" + format, "--output=/dev/null", kEeprom}).status, 0);

        // Nothing written must not pass for success.
        for (const std::string target : {"no/such/dir/out.dat", ".", "/dev/full"}) {
            const Result r = run({"--format=" + format, "--output=" + target, kEeprom});
            EXPECT_EQ(r.status, 1) << target;
            EXPECT_NE(r.err.find(target), std::string::npos) << r.err;
            EXPECT_TRUE(r.out.empty());
        }
        const int fullFd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fullFd, 0);
        const Result fullStdout = run({"--format=" + format, kEeprom}, fullFd);
        ::close(fullFd);
        if (format != "events") { // that one writes the stream, which takes anything
            EXPECT_EQ(fullStdout.status, 1);
            EXPECT_NE(fullStdout.err.find("standard output"), std::string::npos) << fullStdout.err;
        }
    }

    const Result missing = run({"no-such-capture.sr"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no-such-capture.sr"), std::string::npos);
    std::ofstream("garbage.sr") << "not a capture";
    EXPECT_EQ(run({"garbage.sr"}).status, 1);
}

TEST(DecodeCommand, OutputsAreTheStoreFileAndWhatSaveWritesFromIt)
{
    // Many NACKs and repeated STARTs; the callback's batches here split the
    // events elsewhere than the tool does.
    const std::string store = storeFileFor(kNacks, "I2CDataTemp.dat", 333);
    ASSERT_EQ(lineCount(store), 34392u);
    EXPECT_NE(store.find("\n1,ADDR,51,WRITE,--,NACK,00.00.00.381.900.562\n"), std::string::npos);
    const std::string name = "saved <&> copy.csv"; // --format decides, not the name
    const struct
    {
        const char *format;
        SavedFormat saved;
    } formats[] = {{"lines", SavedFormat::None},
                   {"txt", SavedFormat::Text},
                   {"csv", SavedFormat::Csv},
                   {"html", SavedFormat::Html}};
    for (const auto &f : formats) {
        SCOPED_TRACE(f.format);
        const auto expected = [&](const QString &title) {
            return f.saved == SavedFormat::None ? store
                                                : savedFrom("I2CDataTemp.dat", f.saved, title);
        };
        const Result toStdout = run({std::string("--format=") + f.format, kNacks});
        ASSERT_EQ(toStdout.status, 0) << toStdout.err;
        EXPECT_TRUE(toStdout.out == expected(QStringLiteral("-")));
        // The HTML title is the name as given.
        const Result toFile =
            run({std::string("--format=") + f.format, "--output=" + name, kNacks});
        ASSERT_EQ(toFile.status, 0) << toFile.err;
        EXPECT_TRUE(fileText(name) == expected(QString::fromStdString(name)));
    }
    EXPECT_NE(fileText(name).find("<title>saved &lt;&amp;&gt; copy.csv</title>"),
              std::string::npos);
}

TEST(DecodeCommand, TheProgramExitsWithTheCommandsStatus)
{
    auto status = [](const std::string &args, std::string *out = nullptr) {
        const std::string command = std::string(KORVEX_DECODE_BIN) + " " + args + " 2>/dev/null";
        FILE *pipe = popen(command.c_str(), "r");
        std::string text;
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        const int rc = pclose(pipe);
        if (out)
            *out = text;
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    // Standard output as a pipe, through the stream and the descriptor.
    for (const std::string format : {"events", "lines", "csv"}) {
        std::string out;
        EXPECT_EQ(status("--format=" + format + " " + kEeprom, &out), 0);
        EXPECT_TRUE(out == run({"--format=" + format, kEeprom}).out) << format;
    }
    EXPECT_EQ(status("--pair=7 x.sr"), 2);
    EXPECT_EQ(status("no-such-capture.sr"), 1);
}

} // namespace
} // namespace korvex
