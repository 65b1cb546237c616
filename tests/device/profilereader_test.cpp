// Profile files: what the format carries, bad files refused with their line and reason
// while the others load, and the user's files and choices kept for the next start.
#include "device/decodedcolumn.h"
#include "device/profilelibrary.h"
#include "device/profilereader.h"
#include "device/profileregistry.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>

namespace {

const char kHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<DeviceProfile id=\"part\" name=\"Part\">\n"
                     "<Address>10</Address>\n";

// Reads a document, or kHead + body + the closing tag; the error text, or "ok".
std::string read(const std::string &body, DeviceProfile *profile = nullptr, bool close = true)
{
    const bool whole = body.rfind("<Dev", 0) == 0;
    QByteArray bytes = whole ? QByteArray(body.c_str())
                             : kHead + QByteArray(body.c_str()) + (close ? "</DeviceProfile>" : "");
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    DeviceProfile p;
    QString why;
    return ProfileReader::read(&buffer, profile ? profile : &p, &why) ? "ok" : why.toStdString();
}

TEST(ProfileReader, ReadsWhatTheFormatCarries)
{
    DeviceProfile p;
    ASSERT_EQ(
        read("<Address>0x20-22</Address><Address>21</Address>\n"
             "<Pointer bytes=\"2\" increment=\"false\" size=\"400\" page=\"4\" writePage=\"16\"/>\n"
             "<Register address=\"0x12C\" name=\"B\" width=\"2\" order=\"lsb\" access=\"w\" "
             "hidden=\"true\" bits=\"11:4\" format=\"scale\" signed=\"true\" scale=\"0.5\" "
             "offset=\"-1\" decimals=\"2\" unit=\"V\"/>\n"
             "<Register address=\"05\" name=\"A\" format=\"enum\"><Item value=\"2\">two</Item>"
             "<Item value=\"1\">&#10;one&#9;x </Item><Field name=\"F\" bits=\"3\" inline=\"true\"/>"
             "<Case whenMask=\"80\" whenValue=\"80\"/></Register>\n",
             &p),
        "ok");
    EXPECT_EQ(p.id, "part");
    EXPECT_EQ(p.addresses, (std::vector<uint8_t>{0x10, 0x20, 0x21, 0x22}));
    EXPECT_EQ(std::make_tuple(p.pointerBytes, p.increment, p.size, p.page, p.writePage),
              std::make_tuple(2, false, 400u, 4u, 16u));
    ASSERT_EQ(p.registers.size(), 2u);
    const ProfileRegister *a = p.registerAt(5), *b = p.registerAt(0x12C);
    ASSERT_TRUE(a && b && !p.registerAt(6) && !p.registerAt(0x12B) && p.registerNamed("B") == b);
    EXPECT_EQ(a->value.items,
              (std::vector<std::pair<uint32_t, std::string>>{{1, "one x"}, {2, "two"}}));
    EXPECT_TRUE(a->fields[0].inlineShown && a->cases[0].whenMask == 0x80 && !a->hidden);
    EXPECT_EQ(std::make_tuple(b->width, b->littleEndian, b->access, b->hidden),
              std::make_tuple(uint8_t(2), true, uint8_t(ProfileRegister::WriteOnly), true));
    EXPECT_EQ(std::make_tuple(b->value.lowBit, b->value.bitCount, b->value.isSigned,
                              b->value.decimals, b->value.unit),
              std::make_tuple(uint8_t(4), uint8_t(8), true, 2, std::string("V")));
    std::string text;
    b->appendText(text, 0x0FF0); // bits 11:4 = -1: -1 * 0.5 - 1
    ProfileValue huge, tiny;
    huge.format = tiny.format = ProfileValue::Format::Scale;
    tiny.isSigned = true;
    huge.scale = 1e300;
    tiny.scale = 1e-9;
    huge.append(text += ' ', 3, 8);
    tiny.append(text += ' ', 0xFF, 8); // -1e-9 at six decimals: 0, not -0
    EXPECT_EQ(text, "-1.50 V 3e+300 0");
    ASSERT_EQ(read("<Commands bytes=\"2\"><Command code=\"E000\" name=\"Fetch\" data=\"count\">"
                   "<Argument name=\"X\"/><Response name=\"T\" width=\"2\"/></Command></Commands>",
                   &p),
              "ok");
    ASSERT_TRUE(p.command(0xE000) && !p.command(0xE001) && !p.isMemory());
    EXPECT_EQ(p.command(0xE000)->data, ProfileCommand::Data::Count);
    EXPECT_EQ(p.command(0xE000)->response[0].width, 2);
}

TEST(ProfileReader, BadFilesAreRefusedWithLineAndReason)
{
    // "@" stands for a register's start tag without its end.
    const std::pair<std::string, std::string> kCases[] = {
        {"@ bits=\"8\"/>", "第 4 行: bits=\"8\" 不在寄存器的 8 位之内"},
        {"@ width=\"2\" bits=\"3:4\"/>", "第 4 行: bits=\"3:4\""},
        {"@ widht=\"2\"/>", "第 4 行: <Register> 不认识属性 widht"},
        {"@ width=\"5\"/>", "第 4 行: width=\"5\" 不是 1..4"},
        {"@ width=\"0\"/>", "第 4 行: width=\"0\" 不是 1..4"},
        {"@ format=\"float\"/>", "未知的格式 \"float\""},
        {"@ format=\"enum\"/>", "枚举 A 没有 <Item>"},
        {"@ scale=\"x\"/>", "scale=\"x\" 不是数"},
        {"@ signed=\"yes\"/>", "signed 只能是 true 或 false"},
        {"@ order=\"big\"/>", "order 只能是 msb 或 lsb"},
        {"@ access=\"x\"/>", "access 只能是 r、w 或 rw"},
        {"<Register address=\"1\"/>", "寄存器没有名称"},
        {"@/>\n<Register address=\"01\" name=\"B\"/>", "第 5 行: 两个寄存器同在地址 0x01"},
        {"<Register address=\"100\" name=\"A\"/>", "有寄存器在指针够不到的地址"},
        {"<Pointer bytes=\"0\"/>@/>", "有寄存器在指针够不到的地址"},
        {"<Pointer bytes=\"3\"/>", "bytes=\"3\" 不是 0..2"},
        {"<Pointer size=\"257\"/>", "超出指针的范围"},
        {"<Pointer writePage=\"512\"/>", "超出指针的范围"},
        {"@><Item value=\"1\">x</Item><Field bits=\"1\"/></Register>", "位段没有名称"},
        {"@><Item>x</Item></Register>", "<Item> 没有 value"},
        {"@><Field name=\"F\"><Item value=\"1\"><Item value=\"2\"/></Item></Field></Register>",
         "此处不能有 <Item>"},
        {"<Address>80</Address>", "地址 \"80\" 不是 00..7F"},
        {"<Address>20-1F</Address>", "地址 \"20-1F\""},
        {"<Address>20-21-22</Address>", "地址 \"20-21-22\""},
        {"<Commands><Command code=\"100\" name=\"A\"/></Commands>", "code=\"100\" 不是 0..255"},
        {"<Commands><Command code=\"1\"/></Commands>", "命令要有 code 和 name"},
        {"<Commands><Command code=\"1\" name=\"A\"/><Command code=\"01\" name=\"B\"/></Commands>",
         "两个命令同为 0x01"},
        {"<Commands><Command code=\"1\" name=\"A\" data=\"x\"/></Commands>", "data 只能是 hex"},
        {"<Commands/>@/><Commands><Command code=\"1\" name=\"A\"/></Commands>", "不能同在一个文件"},
        {"<Field name=\"A\"/>", "此处不能有 <Field>"},
        {"text", "此处不能有文本"},
        {"@>", "第 4 行"},
        {"<DeviceProfile id=\"Part\" name=\"P\"><Address>1</Address></DeviceProfile>", "id 要用"},
        {"<DeviceProfile id=\"a{\" name=\"P\"><Address>1</Address></DeviceProfile>", "id 要用"},
        {"<DeviceProfile id=\"/:`\" name=\"P\"><Address>1</Address></DeviceProfile>", "id 要用"},
        {"<DeviceProfile id=\"p\"><Address>1</Address></DeviceProfile>", "没有 name"},
        {"<DeviceProfile id=\"p\" name=\"P\"/>", "没有 <Address>"},
        {"<DeviceProfile id=\"p\" name=\"P\" vendor=\"x\"/>", "不认识属性 vendor"},
        {"<Device/>", "第 1 行: 此处不能有 <Device>"},
    };
    for (auto [body, error] : kCases) {
        for (size_t at; (at = body.find('@')) != std::string::npos;)
            body.replace(at, 1, "<Register address=\"1\" name=\"A\"");
        EXPECT_NE(read(body).find(error), std::string::npos) << body << " -> " << read(body);
    }
    EXPECT_NE(read("", nullptr, false).find("第 4 行"), std::string::npos);
    DeviceProfile p;
    p.id = "kept";
    EXPECT_NE(read("<Register/>", &p), "ok");
    EXPECT_EQ(p.id, "kept");
    EXPECT_EQ(read("<DeviceProfile id=\"az09-_\" name=\"P\"><Address>1</Address></DeviceProfile>"),
              "ok");
}

TEST(ProfileRegistry, RemembersChoicesAndAddsTheUsersFilesOnceTheyLoad)
{
    const QString config = QDir::currentPath() + "/config";
    const QString shippedDir = QStringLiteral(KORVEX_PROFILE_DIR);
    QFile bad("bad.xml"), good("mine.xml");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && good.open(QIODevice::WriteOnly));
    bad.write("<DeviceProfile id=\"x\">\n<Nope/></DeviceProfile>");
    good.write(
        "<DeviceProfile id=\"lm75\" name=\"Mi,&quot;ne\"><Address>48</Address></DeviceProfile>");
    bad.close();
    good.close();
    ASSERT_TRUE(QDir().mkpath(config + "/device-profiles") &&
                QFile::copy("bad.xml", config + "/device-profiles/bad.xml"));
    {
        // The bad file is refused with its line and reason; the others load.
        ProfileRegistry registry(config, shippedDir);
        int changes = 0;
        QObject::connect(&registry, &ProfileRegistry::changed, [&] { ++changes; });
        ASSERT_EQ(registry.library().failures().size(), 1u);
        EXPECT_EQ(registry.library().failures()[0].file, config + "/device-profiles/bad.xml");
        EXPECT_EQ(registry.library().failures()[0].reason, "第 2 行: 此处不能有 <Nope>");
        EXPECT_EQ(registry.library().profiles().size(), 23u);
        EXPECT_TRUE(registry.choose(0x68, "ds1307") && registry.choose(0x39, ""));
        EXPECT_TRUE(registry.choose(0x20, "pcf8574") && registry.clearChoice(0x20));
        QString why;
        EXPECT_FALSE(registry.addFile("bad.xml", &why));
        EXPECT_EQ(why, "bad.xml: 第 2 行: 此处不能有 <Nope>");
        EXPECT_TRUE(registry.addFile("mine.xml", &why)) << why.toStdString();
        EXPECT_EQ(registry.library().find("lm75")->name, "Mi,\"ne");
        EXPECT_EQ(changes, 5);
    }
    ProfileRegistry again(config, shippedDir);
    EXPECT_EQ(again.assignment().choice(0x68), "ds1307");
    EXPECT_TRUE(again.assignment().hasChoice(0x39) && again.assignment().choice(0x39).empty());
    EXPECT_FALSE(again.assignment().hasChoice(0x20));
    EXPECT_EQ(again.library().find("lm75")->name, "Mi,\"ne");
    EXPECT_EQ(again.library().find("lm75")->file,
              (config + "/device-profiles/lm75.xml").toStdString());
    EXPECT_EQ(again.library().find("nothing"), nullptr);
    // The CSV column of decoded text, quoted where the text needs it.
    ProfileAssignment choices = again.assignment();
    choices.choose(0x48, "lm75");
    DecodedColumn column(choices);
    std::string row;
    Transaction t;
    t.segments.resize(1);
    t.segments[0].bytes = {0x00, 0x01};
    for (const uint8_t address : {0x48, 0x3A, 0x10}) {
        t.segments[0].address = address;
        column.append(row, t);
    }
    EXPECT_EQ(row, ",\"Mi,\"\"ne 写 0x00 (1 字节)\",PCF8574A 写 P=0x00 P=0x01,");
    row = "x\r\n";
    column.append(row, t);
    EXPECT_EQ(row, "x,\r\n");
    EXPECT_EQ(DecodedColumn::header(),
              "number,first_row,rows,start,duration_ns,segments,ack,status,labels,decoded\r\n");
    // A hand-edited file: addresses beyond 7 bits or not hex are left out.
    QFile edited(again.choicesPath());
    ASSERT_TRUE(edited.open(QIODevice::WriteOnly));
    edited.write("<DeviceChoices><Choice address=\"7F\" profile=\"a\"/><Choice address=\"80\" "
                 "profile=\"b\"/><Choice address=\"zz\"/></DeviceChoices>");
    edited.close();
    ProfileRegistry third(config, shippedDir);
    EXPECT_TRUE(third.assignment().choice(0x7F) == "a" && !third.assignment().hasChoice(0));
    // A choices file where a folder should be is reported, not taken for saved.
    ASSERT_TRUE(QFile::remove(again.choicesPath()) && QDir().mkdir(again.choicesPath()));
    QString why;
    EXPECT_FALSE(again.choose(0x68, "ds3231", &why));
    EXPECT_TRUE(why.startsWith(again.choicesPath())) << why.toStdString();
}

} // namespace
