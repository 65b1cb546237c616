// korvex-decode: its outputs against the program's own writers, its command line and failures.
#include "tools/decodecommand.h"
#include "tools/eventformats.h"

#include "korvex/src/capturedecoding.h"

#include "capture/capturepipeline.h"
#include "capture/visiblerows.h"
#include "device/decodedcolumn.h"
#include "device/profilelibrary.h"
#include "export/savedcapturewriter.h"
#include "export/transactionwriter.h"
#include "transaction/transactioncsv.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionreader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <glib.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

// While g_allocations counts (>= 0), the allocation numbered g_failAt fails once.
static std::atomic<long> g_allocations{-1};
static std::atomic<long> g_failAt{0};

void *operator new(size_t size)
{
    if (g_allocations.load() >= 0 && ++g_allocations == g_failAt)
        throw std::bad_alloc();
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, size_t) noexcept
{
    std::free(p);
}

namespace korvex {
namespace {

const std::string kCaptures = std::string(KORVEX_TEST_DATA_DIR) + "/captures/";
const std::string kEeprom = kCaptures + "extra/24aa025uid_seqrndread256.sr"; // SCL = D0, SDA = D1
const std::string kNacks = kCaptures + "extra/8564je_nacks.sr";              // SCL = D2, SDA = D3
const std::string kRtc = kCaptures + "peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr";
const std::string kNoRate = kRtc.substr(0, kRtc.size() - 3) + "_no_samplerate.sr";

std::string fileText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The RTC capture saved as `name` with its metadata text `from` replaced by `to`.
std::string withMetadata(const std::string &name, const std::string &from, const std::string &to)
{
    std::ofstream(name, std::ios::binary) << fileText(kRtc);
    zip_t *archive = zip_open(name.c_str(), 0, nullptr);
    zip_file_t *member = zip_fopen(archive, "metadata", 0);
    char text[4096] = {};
    zip_fread(member, text, sizeof text - 1);
    zip_fclose(member);
    static std::string metadata; // libzip reads it as the archive closes
    metadata = text;
    metadata.replace(metadata.find(from), from.size(), to);
    zip_file_add(archive, "metadata",
                 zip_source_buffer(archive, metadata.data(), metadata.size(), 0), ZIP_FL_OVERWRITE);
    EXPECT_EQ(zip_close(archive), 0);
    return name;
}

// Runs the command in this process: its status, and its standard output (a stream and a
// temporary file's descriptor, or outFd) then error. With failAt >= 0 the run's allocations
// are counted into g_counted, and the failAt-th one fails.
long g_counted = 0;
std::pair<int, std::string> run(std::vector<std::string> args, int outFd = -1, long failAt = -1)
{
    args.insert(args.begin(), "korvex-decode");
    std::vector<const char *> argv;
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    std::FILE *file = std::tmpfile();
    std::ostringstream out, err;
    g_failAt = failAt;
    g_allocations = failAt >= 0 ? 0 : -1;
    const int status = runDecodeCommand(int(argv.size()), argv.data(), out,
                                        outFd >= 0 ? outFd : fileno(file), err);
    g_counted = g_allocations.exchange(-1);
    const std::string text = fileText("/proc/self/fd/" + std::to_string(fileno(file)));
    std::fclose(file);
    return {status, out.str() + text + err.str()};
}

TEST(DecodeCommand, OutputsAreTheStoreFileAndWhatSaveWritesFromIt)
{
    // The program's capture file, the callback fed in batches split elsewhere than the tool's.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    DecodeOptions options;
    options.capture = kNacks;
    CaptureFile file;
    I2CDecoderConfig config;
    std::vector<I2CEvent> events;
    ASSERT_TRUE(openForOptions(options, file, config, nullptr) &&
                decodeCapture(file, config, events, nullptr, nullptr, nullptr));
    CapturePipeline pipeline;
    ASSERT_TRUE(pipeline.leaseStore()->open(QStringLiteral("I2CDataTemp.dat")));
    for (size_t at = 0; at < events.size(); at += 333)
        pipeline.onI2CEvents(events.data() + at, int(std::min<size_t>(333, events.size() - at)));
    pipeline.leaseStore()->close();
    const std::string store = fileText("I2CDataTemp.dat");
    ASSERT_EQ(std::count(store.begin(), store.end(), '\n'), 34392);
    const std::string name = "saved <&> copy.csv"; // --format decides, not the name
    for (const auto &[format, saved] :
         {std::pair("--format=lines", SavedFormat::None),
          std::pair("--format=txt", SavedFormat::Text), std::pair("--format=csv", SavedFormat::Csv),
          std::pair("--format=html", SavedFormat::Html)}) {
        const auto expected = [&, saved = saved](const std::string &title) {
            QFile in(QStringLiteral("I2CDataTemp.dat"));
            QBuffer out;
            EXPECT_TRUE(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
            if (saved == SavedFormat::None)
                return store;
            SavedCaptureWriter::save(in, out, saved, QString::fromStdString(title));
            return out.data().toStdString();
        };
        EXPECT_TRUE(run({format, kNacks}).second == expected("-")) << format;
        // A longer file already there is replaced; the HTML title is the name as given.
        std::ofstream(name) << std::string(store.size() * 2, 'x');
        EXPECT_EQ(run({format, "--output=" + name, kNacks}).first, 0);
        EXPECT_TRUE(fileText(name) == expected(name)) << format;
    }
}

// Every other transaction's first line, as a filter would show them.
struct EveryOther : VisibleRows
{
    const TransactionIndex &index;
    explicit EveryOther(const TransactionIndex &i) : index(i) {}
    qint64 count() const override { return (index.count() + 1) / 2; }
    qint64 storedLine(qint64 row) const override { return index.firstLine(2 * row); }
    qint64 rowAtOrAfter(qint64) const override { return 0; }
};

TEST(DecodeCommand, TransactionsAgreeWithTheViewsExport)
{
    DecodeOptions options;
    options.capture = kEeprom;
    CaptureFile file;
    I2CDecoderConfig config;
    std::vector<I2CEvent> events;
    ASSERT_TRUE(openForOptions(options, file, config, nullptr) &&
                decodeCapture(file, config, events, nullptr, nullptr, nullptr));
    CapturePipeline pipeline;
    TransactionIndex index(pipeline.store());
    pipeline.leaseStore()->addObserver(&index);
    ASSERT_TRUE(pipeline.leaseStore()->open(QStringLiteral("I2CDataTemp.dat")));
    for (size_t at = 0; at < events.size(); at += 333)
        pipeline.onI2CEvents(events.data() + at, int(std::min<size_t>(333, events.size() - at)));
    StoreLease lease = pipeline.leaseStore();
    QBuffer all, some;
    ASSERT_TRUE(all.open(QIODevice::WriteOnly) && some.open(QIODevice::WriteOnly));
    qint64 progressCalls = 0;
    // With the EEPROM's profile chosen, the decoded column as korvex-decode writes it.
    ProfileLibrary library;
    library.addDirectory(ProfileLibrary::shippedDirectory());
    ProfileAssignment choices(&library);
    choices.choose(0x50, "24c02");
    const TransferResult r = TransactionWriter::write(
        lease.store(), index, nullptr, all, [&](qint64) { return ++progressCalls > 0; }, &choices);
    EXPECT_TRUE(r.ok() && !r.cancelled);
    EXPECT_EQ(r.rowsWritten, index.count());
    EXPECT_GT(progressCalls, 0);
    const std::string csv = all.data().toStdString();
    EXPECT_TRUE(run({"--format=transactions", "--device=50=24c02", kEeprom}).second == csv &&
                csv.find(",24C02 读 0x00..0xFF (256 字节)\r\n") != std::string::npos);
    EveryOther shown(index);
    EXPECT_TRUE(TransactionWriter::write(lease.store(), index, &shown, some, {}, &choices).ok());
    // Each CSV row parses back to its transaction's segments; the filtered
    // export holds every other row of the whole one.
    std::istringstream rows(csv), filtered(some.data().toStdString());
    std::string row, other;
    std::getline(rows, row);
    std::getline(filtered, other);
    EXPECT_EQ(row + "\n", DecodedColumn::header());
    qint64 k = 0, segments = 0;
    for (; std::getline(rows, row); ++k) {
        std::vector<std::string> fields;
        std::istringstream split(row);
        for (std::string f; std::getline(split, f, ',');)
            fields.push_back(f);
        ASSERT_GE(fields.size(), 8u);
        Transaction t;
        ASSERT_TRUE(TransactionReader::read(lease.store(), index, k, &t, 1 << 16));
        std::string expected;
        TransactionCsv::appendSegments(expected, t);
        EXPECT_EQ(fields[5], expected) << k;
        EXPECT_EQ(fields[0], std::to_string(k + 1));
        EXPECT_EQ(fields[1], std::to_string(t.firstLine));
        segments += qint64(t.segments.size());
        if (k % 2 == 0) {
            ASSERT_TRUE(std::getline(filtered, other));
            EXPECT_EQ(other, row);
        }
    }
    EXPECT_EQ(k, index.count());
    EXPECT_GT(segments, k);
    EXPECT_FALSE(std::getline(filtered, other));
    // A cancel stops it.
    QBuffer cancelled;
    cancelled.open(QIODevice::WriteOnly);
    EXPECT_TRUE(TransactionWriter::write(lease.store(), index, nullptr, cancelled, [](qint64) {
                    return false;
                }).cancelled);
}

TEST(DecodeCommand, EventsAndChannelChoice)
{
    const std::string events = run({"--sda=1", "--scl=0", "--assume-idle", kRtc}).second;
    EXPECT_EQ(events.substr(0, 36), "0 START\n2 ADDR D0\n18 ACK\n25 DATA 00\n");
    // Without the idle start, the START in the first sample is not seen.
    EXPECT_NE(run({"--sda=1", "--scl=0", kRtc}).second.substr(0, 8), "0 START\n");
    const std::string byDefault = run({kNacks}).second;
    EXPECT_EQ(std::count(byDefault.begin(), byDefault.end(), '\n'), 61015); // one line an event
    EXPECT_TRUE(run({"--pair=1", kNacks}).second != byDefault);             // the lines swapped
    EXPECT_TRUE(run({"--sda=SDA", "--scl=SCL", kEeprom}).second == run({kEeprom}).second);
    EXPECT_TRUE(run({"--pair=0", kEeprom}).first == 0 && run({"--pair=3", kEeprom}).first == 0);
    // Rates as sigrok writes them still load.
    for (const auto &[rate, at] :
         {std::pair("200000", "00.00.00.001.265.000"), std::pair("0.2 MHz", "00.00.00.001.265.000"),
          std::pair("2k", "00.00.00.126.500.000")})
        EXPECT_NE(run({"--format=lines", withMetadata("r.sr", "200 kHz", rate)}).second.find(at),
                  std::string::npos);
}

TEST(DecodeCommand, HealthIsOneCsvLinePerFindingWithTheRowItBelongsTo)
{
    const auto [status, health] = run({"--format=health", kNacks});
    EXPECT_EQ(status, 0);
    std::istringstream lines(health);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "time,sample,row,kind,severity,measured_ns,limit_ns,resolution_ns,detail");
    const std::string stored = run({"--format=lines", kNacks}).second;
    int cut = 0;
    while (std::getline(lines, line)) {
        if (line.find(",start-in-byte,error,,,63,") == std::string::npos)
            continue;
        ++cut;
        // The row, as --format=lines numbers it, is the START.
        const std::string row = line.substr(line.find(',', line.find(',') + 1) + 1);
        const std::string number = row.substr(0, row.find(','));
        EXPECT_NE(stored.find("\n" + number + ",START,"), std::string::npos) << line;
    }
    EXPECT_EQ(cut, 4);
    EXPECT_NE(health.find("0.383017437,6128279,2,start-in-byte,error,,,63,\"START inside a byte: "
                          "aborted after 1 bit\"\n"),
              std::string::npos);
    // Standard mode's short SCL highs meet Fast mode's limits.
    const std::string sht = kCaptures + "peer-suite/sensirion_sht2x/sensirion_sht21_humidity35.sr";
    EXPECT_NE(run({"--format=health", sht}).second.find(",t-high,error,2750,4000,125,"),
              std::string::npos);
    EXPECT_EQ(run({"--format=health", "--mode=fm", "--pec=0x40,64", sht}).second.find(",t-high,"),
              std::string::npos);
    for (const char *bad : {"--mode=hs", "--pec=128", "--pec=0x40,", "--pec=x"})
        EXPECT_EQ(run({"--format=health", bad, sht}).first, 2) << bad;
    EXPECT_EQ(run({"--mode=sm", sht}).first, 2) << "health options without the health format";
    // Without a sample rate the timing is off, said once.
    EXPECT_NE(
        run({"--format=health", kNoRate})
            .second.find(",undersampled,unresolved,,,,\"no sample rate: timing checks are off\""),
        std::string::npos);
}

TEST(DecodeCommand, BadArgumentsAndFailedWritesExitWithTheReason)
{
    ASSERT_TRUE(QDir().mkpath("p"));
    std::ofstream("p/bad.xml") << "<Nope/>";
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{}, 2, "no capture file given"},
        {{"--sda=1", kEeprom}, 2, "--sda and --scl go together"},
        {{"--pair=4", kEeprom}, 2, "--pair takes 0, 1, 2 or 3, not '4'"},
        {{"--pair=0", "--sda=1", "--scl=0", kEeprom}, 2, "exclude each other"},
        {{"--format=pdf", kEeprom}, 2, "unknown format 'pdf'"},
        {{"--bogus", kEeprom}, 2, "unknown option '--bogus'"},
        {{"--sda=", "--scl=0", kEeprom}, 2, "--sda needs a channel"},
        {{"--output=", kEeprom}, 2, "--output needs a file name"},
        {{"--device=80=lm75", kEeprom}, 2, "--device takes ADDR=ID with a 7-bit address in hex"},
        {{"--device=48", kEeprom}, 2, "not '48'"},
        {{"--device==lm75", kEeprom}, 2, "not '=lm75'"},
        {{"--device=4g=lm75", kEeprom}, 2, "not '4g=lm75'"},
        {{"--profiles=", kEeprom}, 2, "--profiles needs a folder"},
        {{"--device=48=nope", kEeprom}, 1, "no device profile 'nope'"},
        {{"--format=transactions", "--device=68=ds1307", kRtc},
         0,
         "labels,decoded\r\n1,0,13,00.00.00.001.265.000,1090000,68W:00|68R:30 35 23 01 10 03 13*,"
         "NACK 68R#7,closed,,DS1307 读 Seconds=30 Minutes=35 Hours=23 (24h) Day=1 Date=10 "
         "Month=03 Year=13\r\n"},
        {{"--profiles=p", "--device=7F=lm75", "--device=10=", kEeprom}, 0, "p/bad.xml: 第 1 行"},
        {{kEeprom, kEeprom}, 2, "only one capture file"},
        {{"no-such-capture.sr"}, 1, "no-such-capture.sr"},
        {{"--sda=SDA", "--scl=CLOCK", kNacks}, 1, "no channel named 'CLOCK'"},
        {{"--sda=3", "--scl=9", kNacks}, 1, "no logic channel 9"},
        {{"--sda=3", "--scl=3", kNacks}, 1, "the same channel"},
        // Metadata refused before libsigrok loads it (100,000 probes would take it seconds).
        {{withMetadata("many.sr", "total probes = 32", "total probes = 100000")},
         1,
         "many.sr: bad channel count '100000' (at most 512)"},
        {{withMetadata("unit.sr", "unitsize = 1", "unitsize = 1000000")}, 1, "unit size 1000000"},
        {{withMetadata("zero.sr", "200 kHz", "0 Hz")}, 1, "zero.sr: bad sample rate '0 Hz'"},
        {{withMetadata("negative.sr", "200 kHz", "-5 MHz")}, 1, "bad sample rate '-5 MHz'"},
        {{withMetadata("huge.sr", "200 kHz", "99999999999 GHz")}, 1, "rate '99999999999 GHz'"},
        {{"--format=lines", kNoRate}, 1, "the capture has no sample rate"},
        // Nothing written must not pass for success; a device takes the lines in order.
        {{"--format=events", "--output=no/such/dir", kEeprom}, 1, "cannot write no/such/dir"},
        {{"--format=events", "--output=/dev/full", kEeprom}, 1, "writing /dev/full failed"},
        {{"--format=lines", "--output=.", kEeprom}, 1, "cannot write ."},
        {{"--format=lines", "--output=/dev/full", kEeprom}, 1, "/dev/full failed: No space"},
        {{"--format=csv", "--output=/dev/full", kEeprom}, 1, "writing /dev/full failed"},
    };
    for (const auto &[args, status, message] : cases) {
        const auto [code, text] = run(args);
        EXPECT_EQ(code, status) << message;
        EXPECT_NE(text.find(message), std::string::npos) << text;
        EXPECT_EQ(text.find("usage:") != std::string::npos, status == 2) << message;
    }
    OutputFile output;
    EXPECT_EQ(makeFormatWriter("pdf", output), nullptr);
    // Standard output a pipe whose reader has gone.
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_TRUE(::pipe(fds) == 0 && ::close(fds[0]) == 0);
    const auto [code, text] = run({"--format=csv", kEeprom}, fds[1]);
    EXPECT_TRUE(code == 1 && text.find("writing standard output failed") != std::string::npos)
        << text;
    ::close(fds[1]);
}

// The names in directory `dir`, sorted.
std::vector<std::string> namesIn(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DecodeCommand, RunningOutOfMemoryAnywhereIsAMessageAndExitOne)
{
    ::mkdir("oom", 0755);
    const std::vector<std::string> args = {"--format=csv", "--output=oom/kept.csv", kRtc};
    ASSERT_EQ(run(args, -1, 0).first, 0);
    const long total = g_counted;
    ASSERT_GT(total, 30);
    for (long at = 1; at <= total; ++at) { // every allocation of the run in turn
        std::ofstream("oom/kept.csv") << "earlier";
        const auto [code, text] = run(args, -1, at);
        EXPECT_TRUE(code == 1 && text == "korvex-decode: out of memory\n") << at << ": " << text;
        EXPECT_EQ(fileText("oom/kept.csv"), "earlier") << at;
    }
    // GLib ends the process on its failed allocations: a message, exit 1, no temporary file.
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open("glib.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        run({"--help"});
        OutputFile output;
        if (output.open("oom/kept.csv", nullptr))
            g_log("GLib", G_LOG_LEVEL_ERROR, "failed to allocate %d bytes", 4194304);
        ::_exit(99);
    }
    int ended = -1;
    ASSERT_EQ(::waitpid(pid, &ended, 0), pid);
    EXPECT_TRUE(WIFEXITED(ended) && WEXITSTATUS(ended) == 1) << ended;
    EXPECT_EQ(fileText("glib.txt"), "korvex-decode: GLib: failed to allocate 4194304 bytes\n");
    EXPECT_EQ(fileText("oom/kept.csv"), "earlier");
    EXPECT_EQ(namesIn("oom"), std::vector<std::string>{"kept.csv"}); // no temporary file left
}

TEST(DecodeCommand, AnOutputFileIsReplacedOnlyWhenWhole)
{
    const std::string expected = run({"--format=csv", kNacks}).second;
    ::mkdir("out", 0755);
    // A file size limit in a child stands for a full disk (SIGXFSZ ignored: EFBIG).
    std::ofstream("out/full.csv") << "earlier";
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const auto [code, text] = run({"--format=csv", "--output=out/full.csv", kNacks});
        ::_exit(code == 1 && text.find("writing out/full.csv failed: File too large") !=
                                 std::string::npos
                    ? 0
                    : 10 + code);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(fileText("out/full.csv"), "earlier");
    // Damage found while decoding keeps the earlier file too.
    std::string damaged =
        fileText(kCaptures + "peer-suite/sensirion_sht3x/sensirion_sht31_25rh_28rh.sr");
    for (size_t i = 10900; i < 11000; ++i)
        damaged[i] ^= 0x55; // inside the first sample member
    std::ofstream("out/damaged.sr", std::ios::binary) << damaged;
    const auto [code, text] = run({"--format=csv", "--output=out/full.csv", "out/damaged.sr"});
    EXPECT_TRUE(code == 1 && text.find("out/damaged.sr: ") != std::string::npos) << text;
    EXPECT_EQ(fileText("out/full.csv"), "earlier");
    EXPECT_EQ(namesIn("out"), (std::vector<std::string>{"damaged.sr", "full.csv"}));
    // Written whole: a link stays a link to the replaced file, whose mode stays.
    ::chmod("out/full.csv", 0640);
    ::symlink("full.csv", "out/link.csv");
    EXPECT_EQ(run({"--format=csv", "--output=out/link.csv", kNacks}).first, 0);
    struct stat st;
    EXPECT_TRUE(::lstat("out/link.csv", &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_TRUE(::stat("out/full.csv", &st) == 0 && (st.st_mode & 0777) == 0640);
    EXPECT_TRUE(fileText("out/full.csv") == expected);
    EXPECT_EQ(namesIn("out").size(), 3u);
}

TEST(DecodeCommand, OutputNamingTheCaptureItselfIsRefusedNamesAreBytesAndGapsAreTold)
{
    const std::string capture = fileText(kRtc);
    std::ofstream("input.sr", std::ios::binary) << capture;
    ASSERT_EQ(::symlink("input.sr", "symlink.sr"), 0);
    ASSERT_EQ(::link("input.sr", "hardlink.sr"), 0);
    for (const std::string output : {"input.sr", "./symlink.sr", "hardlink.sr"}) {
        const auto [code, text] = run({"--format=lines", "--output=" + output, "input.sr"});
        const std::string refusal = "--output=" + output + " is the capture itself; nothing";
        EXPECT_TRUE(code == 1 && text.find(refusal + " was written") != std::string::npos) << text;
    }
    EXPECT_TRUE(fileText("input.sr") == capture);
    EXPECT_EQ(run({"--output=copy.sr", "symlink.sr"}).first, 0); // another file is fine
    // Names are bytes, whatever their encoding.
    const std::string latin1 = "caf\xe9.sr", output = "r\xe9sum\xe9.csv";
    std::ofstream(latin1, std::ios::binary) << capture;
    const auto [latin1Code, latin1Text] = run({"--format=csv", "--output=" + output, latin1});
    EXPECT_EQ(latin1Code, 0) << latin1Text;
    EXPECT_TRUE(fileText(output) == run({"--format=csv", kRtc}).second);
    EXPECT_TRUE(run({latin1}).second == run({kRtc}).second);
    // Sample members after a missing one are not silently dropped.
    std::ofstream("gap.sr", std::ios::binary) << fileText(kNacks);
    zip_t *archive = zip_open("gap.sr", 0, nullptr);
    ASSERT_EQ(zip_delete(archive, zip_uint64_t(zip_name_locate(archive, "logic-1-3", 0))), 0);
    ASSERT_EQ(zip_close(archive), 0);
    const auto [gapCode, gapText] = run({"--format=summary", "gap.sr"});
    EXPECT_EQ(gapCode, 1);
    EXPECT_EQ(gapText, "korvex-decode: gap.sr: logic-1-3 is missing, so logic-1-4 and 44 more "
                       "members after it would not be read\n");
}

} // namespace
} // namespace korvex
