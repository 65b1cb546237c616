// Every shipped profile against values its data sheet gives, and the decoder's pointer
// tracking: continuation across transactions, wraps at the size and within pages, 2-byte
// pointers, reads before any pointer write, unknown registers and values shown raw.
#include "device/profileassignment.h"
#include "device/profiledecoder.h"
#include "device/profilelibrary.h"

#include "capture/eventconverter.h"
#include "korvex/src/bussimulator.h"
#include "korvex/src/i2cdecoder.h"
#include "transaction/transactionbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <tuple>

namespace {

using Bytes = std::vector<uint8_t>;

TransactionSegment segment(uint8_t address, bool read, Bytes bytes)
{
    TransactionSegment s;
    std::tie(s.address, s.read, s.bytes) = std::tie(address, read, bytes);
    return s;
}

// A write of bytes, and a read of readBytes after a repeated START when there are any.
Transaction transaction(uint8_t address, Bytes written, Bytes readBytes = {})
{
    Transaction t;
    if (!written.empty() || readBytes.empty())
        t.segments.push_back(segment(address, false, std::move(written)));
    if (!readBytes.empty())
        t.segments.push_back(segment(address, true, std::move(readBytes)));
    return t;
}

const ProfileLibrary &shipped()
{
    static ProfileLibrary library;
    if (library.profiles().empty())
        library.addDirectory(QStringLiteral(KORVEX_PROFILE_DIR));
    return library;
}

struct Fixture
{
    ProfileDecoder decoder;
    ProfileDecoder::Output out;
    Fixture(const char *id, uint8_t address) { decoder.setProfile(address, shipped().find(id)); }
    std::string operator()(const Transaction &t, bool details = false)
    {
        decoder.decode(t, &out, details);
        return out.text;
    }
};

// Bytes from hex text: "10 20 *3" is 10 20 00 01 02.
Bytes hex(const std::string &text)
{
    Bytes out;
    std::istringstream in(text);
    for (std::string t; in >> t;) {
        if (t[0] != '*')
            out.push_back(uint8_t(std::stoi(t, nullptr, 16)));
        for (int i = 0, n = t[0] == '*' ? std::stoi(t.substr(1)) : 0; i < n; ++i)
            out.push_back(uint8_t(i));
    }
    return out;
}

TEST(ShippedProfiles, EachLoadsAndDecodesItsDataSheetValues)
{
    EXPECT_TRUE(shipped().failures().empty()) << shipped().failures()[0].file.toStdString()
                                              << shipped().failures()[0].reason.toStdString();
    EXPECT_EQ(shipped().profiles().size(), 23u);
    // Written bytes, then bytes read after a repeated START; "*n": n bytes counting from 00.
    const std::tuple<const char *, uint8_t, const char *, const char *, const char *> kCases[] = {
        {"ds3231", 0x68, "00", "45 30 12", "DS3231 读 Seconds=45 Minutes=30 Hours=12 (24h)"},
        {"ds3231", 0x68, "02 71", "", "DS3231 写 Hours=11 PM (12h)"},
        {"ds3231", 0x68, "11", "19 40", "DS3231 读 Temperature=25.25 °C"},
        {"ds1307", 0x68, "00 30 35 23 01 10 03 13", "",
         "DS1307 写 Seconds=30 Minutes=35 Hours=23 (24h) Day=1 Date=10 Month=03 Year=13"},
        {"ds1307", 0x68, "02 52", "", "DS1307 写 Hours=12 AM (12h)"},
        {"lm75", 0x48, "00", "1D 80", "LM75 读 Temperature=29.5 °C"},
        {"lm75", 0x4F, "00", "E7 00 FF 80", "LM75 读 Temperature=-25 °C Temperature=-0.5 °C"},
        {"24c02", 0x50, "10", "*16", "24C02 读 0x10..0x1F (16 字节)"},
        {"24c02", 0x50, "10 *8", "", "24C02 写 0x10..0x17 (8 字节)"},
        {"24c02", 0x57, "FC", "*6", "24C02 读 0xFC..0xFF, 0x00..0x01 (6 字节)"},
        {"24c02", 0x50, "1C *8", "", "24C02 写 0x1C..0x1F, 0x18..0x1B (8 字节)"},
        {"24c01", 0x50, "7F", "*2", "24C01 读 0x7F, 0x00 (2 字节)"},
        {"24c16", 0x53, "0E *3", "", "24C04/24C08/24C16 写 0x0E..0x0F, 0x00 (3 字节)"},
        {"24c32", 0x50, "0F F0 *32", "", "24C32 写 0x0FF0..0x0FFF, 0x0FE0..0x0FEF (32 字节)"},
        {"24c64", 0x50, "1F FF", "*2", "24C64 读 0x1FFF, 0x0000 (2 字节)"},
        {"24c128", 0x50, "00 3F *2", "", "24C128 写 0x003F, 0x0000 (2 字节)"},
        {"24c256", 0x50, "7F FF", "*2", "24C256 读 0x7FFF, 0x0000 (2 字节)"},
        {"24c512", 0x50, "FF 7F *2", "", "24C512 写 0xFF7F, 0xFF00 (2 字节)"},
        {"pcf8574", 0x20, "F0", "", "PCF8574 写 P=0xF0"},
        {"pcf8574a", 0x3F, "", "0F 0E", "PCF8574A 读 P=0x0F P=0x0E"},
        {"pca9555", 0x20, "02 AA 55 11", "", "PCA9555 写 Output0=0xAA Output1=0x55 Output0=0x11"},
        {"pca9555", 0x20, "00 01", "", "PCA9555 写 Input0=0x01 (只读)"},
        {"mcp23017", 0x27, "15", "01 02", "MCP23017 读 OLATB=0x01 IODIRA=0x02"},
        {"tca6408a", 0x21, "01 0F F0", "", "TCA6408A 写 Output=0x0F Output=0xF0"},
        {"pca9685", 0x40, "06 99 01 CC 04", "", "PCA9685 写 LED0_ON=409 LED0_OFF=1228"},
        {"ssd1306", 0x3C, "00 AE D5 80", "", "SSD1306 写 命令 AE D5 80"},
        {"ssd1306", 0x3D, "40 *16", "", "SSD1306 写 显示数据 (16 字节)"},
        {"sht3x", 0x44, "24 00", "66 66 93 80 00 A2",
         "SHT3x 写 单次测量 高重复性; SHT3x 读 Temperature=25.00 °C Humidity=50.00 %RH"},
        {"sht2x", 0x40, "E3", "63 52 64", "SHT2x 写 测温 保持主机; SHT2x 读 Temperature=21.32 °C"},
        {"bmp280", 0x76, "D0", "58", "BMP280/BME280 读 id=BMP280"},
        {"bmp280", 0x77, "88", "70 6B 43 67 18 FC",
         "BMP280/BME280 读 dig_T1=27504 dig_T2=26435 dig_T3=-1000"},
        {"bmp280", 0x76, "F7", "65 5A C0 7E ED 00", "BMP280/BME280 读 press=415148 temp=519888"},
        {"bmp280", 0x76, "F7", "65 5A", "BMP280/BME280 读 press=65 5A (不完整)"},
        {"mpu6050", 0x68, "3B", "40 00 C0 00 00 01 F8 30",
         "MPU-6050 读 ACCEL_XOUT=16384 ACCEL_YOUT=-16384 ACCEL_ZOUT=1 TEMP_OUT=30.65 °C"},
        {"mpu6050", 0x69, "75", "68", "MPU-6050 读 WHO_AM_I=0x68"},
        {"ina219", 0x40, "00 39 9F", "", "INA219 写 Configuration=0x399F"},
        {"ina219", 0x45, "02", "5D 98 5D 9A", "INA219 读 BusVoltage=11.98 V BusVoltage=11.98 V"},
        {"ina219", 0x45, "01", "FC 18", "INA219 读 ShuntVoltage=-10 mV"},
    };
    for (const auto &[id, address, written, readBytes, text] : kCases) {
        Fixture decode(id, address);
        ASSERT_NE(decode.decoder.profile(address), nullptr) << id;
        EXPECT_EQ(decode(transaction(address, hex(written), hex(readBytes))), text) << id;
        EXPECT_FALSE(decode.out.marked) << id;
    }
}

TEST(ProfileDecoder, FollowsThePointerAcrossTransactions)
{
    Fixture decode("ds1307", 0x68);
    // Unknown until first set: said, not guessed; and other addresses are not decoded.
    EXPECT_EQ(decode(transaction(0x68, {}, {0x45})), "DS1307 读 指针未知: 45");
    EXPECT_FALSE(decode.decoder.decode(transaction(0x50, {0x00}), &decode.out));
    EXPECT_EQ(decode.out.text, "");
    // A pointer written alone, then reads that continue where the last access ended.
    EXPECT_EQ(decode(transaction(0x68, {0x05})), "DS1307 写 指针=Month");
    EXPECT_EQ(decode(transaction(0x68, {}, {0x12, 0x26})), "DS1307 读 Month=12 Year=26");
    // RAM past the clock is unknown: its address and the raw bytes, in one run.
    EXPECT_EQ(decode(transaction(0x68, {}, {0x10, 0x00, 0xAB})),
              "DS1307 读 Control=0x10 0x08=00 AB");
    // Wrap at the size (3F to 00); the run of unknown bytes ends at the wrap.
    EXPECT_EQ(decode(transaction(0x68, {0x3E}, {0x01, 0x02, 0x59})),
              "DS1307 读 0x3E=01 02 Seconds=59");
    // A nacked address; a write without data.
    Transaction t = transaction(0x68, {});
    t.segments[0].addressNacked = true;
    EXPECT_EQ(decode(t), "DS1307 无应答");
    EXPECT_EQ(decode(transaction(0x68, {})), "DS1307 写 (无数据)");
    // Values shown raw and marked: not BCD, and out of an enumeration.
    EXPECT_EQ(decode(transaction(0x68, {0x01, 0x7A})), "DS1307 写 Minutes=0x7A (未定义)");
    EXPECT_TRUE(decode.out.marked);
    // Details: each register, its value, raw bits and fields; the registers touched.
    EXPECT_EQ(decode(transaction(0x68, {0x06, 0x25, 0x93}), true),
              "DS1307 写 Year=25 Control=0x93");
    EXPECT_FALSE(decode.out.marked);
    EXPECT_EQ(decode.out.details, "DS1307 写\nYear = 25 [0x25]\nControl = 0x93 [0x93]\n  OUT=1\n"
                                  "  SQWE=1\n  RS=32.768 kHz\n");
    EXPECT_EQ(decode.out.registers, (std::vector<std::string>{"Year", "Control"}));
    EXPECT_EQ(decode(transaction(0x68, {})), "DS1307 写 (无数据)");
    EXPECT_EQ(decode.out.details, "");
    // A transaction too long to read whole: where it left the pointer is not known.
    Transaction cut = transaction(0x68, {0x00, 0x01});
    cut.cut = true;
    EXPECT_EQ(decode(cut), "DS1307 写 Seconds=01 …");
    EXPECT_EQ(decode(transaction(0x68, {}, {0x01})), "DS1307 读 指针未知: 01");
    decode(transaction(0x68, {0x06, 0x25, 0x93}));
    // A snapshot brings the pointer back; reset forgets it.
    const ProfileDecoder::Snapshot saved = decode.decoder.snapshot();
    decode.decoder.reset();
    EXPECT_EQ(decode(transaction(0x68, {}, {0x01})), "DS1307 读 指针未知: 01");
    decode.decoder.restore(saved);
    EXPECT_EQ(decode(transaction(0x68, {}, {0x01})), "DS1307 读 0x08=01");
}

TEST(ProfileDecoder, PointerWidthsPagesCommandsAndPartialValues)
{
    Fixture decode("24c256", 0x50);
    decode.decoder.setProfile(0x44, shipped().find("sht3x"));
    decode.decoder.setProfile(0x48, shipped().find("lm75"));
    decode.decoder.setProfile(0x20, shipped().find("pca9555"));
    // A 2-byte pointer, half written: the part's pointer is no longer known.
    EXPECT_EQ(decode(transaction(0x50, {0x12, 0x34})), "24C256 写 指针=0x1234");
    EXPECT_EQ(decode(transaction(0x50, {}, {0xAA})), "24C256 读 0x1234 (1 字节)");
    EXPECT_EQ(decode(transaction(0x50, {0x12})), "24C256 写 指针不完整: 12");
    EXPECT_EQ(decode(transaction(0x50, {}, {0xAA})), "24C256 读 指针未知: AA");
    // Reads go on past a page; a pointer write on its own before the read stays silent.
    EXPECT_EQ(decode(transaction(0x50, {0x00, 0x3F}, {1, 2})), "24C256 读 0x003F..0x0040 (2 字节)");
    // Two devices in one transaction; a register cut short.
    Transaction t = transaction(0x48, {0x00}, {0x1D});
    t.segments.push_back(segment(0x20, false, {0x06, 0xFF, 0x00, 0x0F}));
    EXPECT_EQ(decode(t), "LM75 读 Temperature=1D (不完整); PCA9555 写 Config0=0xFF Config1=0x00 "
                         "Config0=0x0F");
    // The pointer moved as far as the bytes went: the next read starts at the other half.
    EXPECT_EQ(decode(transaction(0x48, {}, {0x1D, 0x80})), "LM75 读 Temperature=29.5 °C");
    // Commands: unknown, cut short, a read before any command, arguments past the table.
    EXPECT_EQ(decode(transaction(0x44, {}, {0x66})), "SHT3x 读 命令未知: 66");
    EXPECT_EQ(decode(transaction(0x44, {0x12, 0x34, 0x56})), "SHT3x 写 命令 0x1234 (未定义) 56");
    EXPECT_TRUE(decode.out.marked);
    EXPECT_EQ(decode(transaction(0x44, {0x24})), "SHT3x 写 命令不完整: 24");
    EXPECT_EQ(decode(transaction(0x44, {}, {0x66})), "SHT3x 读 命令未知: 66");
    EXPECT_EQ(decode(transaction(0x44, {0x30, 0x93, 0x01})), "SHT3x 写 停止周期测量 01");
    EXPECT_EQ(decode(transaction(0x44, {}, {0x66})), "SHT3x 读 66");
    EXPECT_EQ(decode(transaction(0x44, {0xE0, 0x00}, {0x66, 0x66, 0x93, 0x80})),
              "SHT3x 写 读取测量结果; SHT3x 读 Temperature=25.00 °C Humidity=80 (不完整)");
    EXPECT_EQ(decode(transaction(0x44, {}, {0x66, 0x66, 0x93, 0x80, 0x00, 0xA2, 0x07})),
              "SHT3x 读 Temperature=25.00 °C Humidity=50.00 %RH 07");
}

TEST(ProfileAssignment, TheChoiceElseTheOnlyClaimantOfAnAddressSeen)
{
    ProfileAssignment assignment(&shipped());
    ProfileDecoder decoder;
    Transaction t = transaction(0x39, {0x01});
    t.segments.push_back(segment(0x68, false, {0x00}));
    // 0x39 has one claimant (PCF8574A), 0x68 four; then 0x68 chosen, 0x39 chosen as none.
    assignment.apply(t, &decoder);
    EXPECT_TRUE(decoder.profile(0x39)->id == "pcf8574a" && !decoder.profile(0x68));
    assignment.choose(0x68, "ds1307");
    assignment.choose(0x39, "");
    assignment.apply(t, &decoder);
    EXPECT_TRUE(decoder.profile(0x68)->id == "ds1307" && !decoder.profile(0x39));
    // Seen addresses keep their profile (and pointer) until chosen anew or forgotten.
    decoder.setProfile(0x39, shipped().find("ds3231"));
    assignment.apply(t, &decoder);
    EXPECT_EQ(decoder.profile(0x39)->id, "ds3231");
    assignment.clearChoice(0x39);
    assignment.choose(0x68, "missing");
    assignment.forgetSeen();
    assignment.apply(t, &decoder);
    EXPECT_TRUE(decoder.profile(0x39)->id == "pcf8574a" && !decoder.profile(0x68));
}

// Transactions from bus events the way the program and korvex-decode build them: rows,
// stored lines, transactions.
std::vector<Transaction> transactions(const std::vector<I2CEvent> &events)
{
    const std::vector<CaptureRow> rows =
        EventConverter().convertEvents(events.data(), int(events.size()));
    TransactionBuilder builder;
    std::vector<Transaction> out;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string text;
        StoredLine::append(text, int(i), rows[i]);
        StoredLine line;
        line.parse(text);
        if (builder.begins(line)) {
            if (builder.started())
                out.push_back(builder.finish(true));
            builder.start(qint64(out.size()), qint64(i));
        }
        builder.add(line);
    }
    if (builder.started())
        out.push_back(builder.finish(false));
    return out;
}

TEST(SimulatedBus, TheRtcEepromAndSensorDecodeToWhatTheSimulatorSent)
{
    // Two seconds of the simulator's bus: its clock started at 2025-01-01 08:30:00, a Wednesday.
    constexpr uint64_t kRate = 1000000;
    std::vector<uint8_t> samples;
    korvex::BusSimulator(kRate, 0, korvex::BusSimulator::kDefaultSeed).generate(2 * kRate, samples);
    korvex::I2CDecoder bus;
    std::vector<I2CEvent> events;
    ASSERT_TRUE(bus.configure({0, 1, 1, kRate, true}));
    bus.feed(samples.data(), samples.size(), events);
    Fixture decode("ds1307", 0x68);
    decode.decoder.setProfile(0x50, shipped().find("24c02"));
    decode.decoder.setProfile(0x40, shipped().find("sht2x"));
    std::map<std::string, int> kinds;
    for (const Transaction &t : transactions(events)) {
        const std::string text = decode(t);
        // The text up to its first address range, or up to its first register's name.
        const size_t range = text.find(" 0x"), value = text.find('=');
        const std::string kind = text.substr(0, std::min(range, value));
        ++kinds[value < range ? kind.substr(0, kind.rfind(' ')) : kind];
        EXPECT_FALSE(decode.out.marked) << text;
        if (text.find("DS1307") == 0) {
            EXPECT_EQ(text.substr(text.find(" Minutes")),
                      " Minutes=30 Hours=08 (24h) Day=3 Date=01 Month=01 Year=25");
        } else if (text.find("SHT2x 读 Temperature=") != std::string::npos) {
            EXPECT_NEAR(std::stod(text.substr(value + 1)), 25, 5) << text; // about 25 °C
        }
    }
    // Every kind of transaction seen, read after its pointer or command was set.
    for (const char *kind :
         {"DS1307 读", "24C02 写", "24C02 读", "24C02 无应答", "24C02 写 (无数据)",
          "SHT2x 写 测温 保持主机; SHT2x 读", "SHT2x 写 测湿 保持主机; SHT2x 读"})
        EXPECT_GT(kinds[kind], 0) << kind;
    EXPECT_EQ(kinds.count("24C02 读 指针未知:"), 0u);
}

} // namespace
