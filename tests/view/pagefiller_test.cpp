#include "capture/capturepipeline.h"
#include "capture/visiblerows.h"
#include "rowtestutil.h"
#include "view/allrows.h"
#include "view/findingtext.h"
#include "view/pagefiller.h"
#include "view/pagegeometry.h"
#include "view/rowstyle.h"

#include <gtest/gtest.h>

#include <QStandardItemModel>
#include <QTemporaryDir>

#include <korvex/korvexhealth.h>

#include <unistd.h>

namespace {
QStringList logged;

class PageFillTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        logged.clear();
        qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &msg) { logged << msg; });
        path = dir.filePath("I2CDataTemp.dat");
        ASSERT_TRUE(p.leaseStore()->open(path));
        model.setColumnCount(PageGeometry::kColumnCount);
        // START, ADDR 50 WRITE ACK, DATA 41 ACK, STOP, ... numbered 0..9.
        std::vector<CaptureRow> rows;
        for (int i = 0; i < 10; ++i)
            rows.push_back(i % 4 == 0   ? CaptureRow::start(i)
                           : i % 4 == 1 ? addrRow(0x50, false, true, i)
                           : i % 4 == 2 ? dataRow(0x50, false, "41", true, i)
                                        : CaptureRow::stop(i));
        p.leaseStore()->appendRows(rows, p.mergeEnabled, p.decodeEnabled, nullptr);
    }
    void TearDown() override { qInstallMessageHandler(nullptr); }
    QString text(int r, int c) const { return model.item(r, c)->text(); }
    QColor fg(int r, int c) const { return model.item(r, c)->foreground().color(); }

    QTemporaryDir dir;
    QString path;
    CapturePipeline p;
    QStandardItemModel model;
    PageFiller filler;
    AllRows all{p.store()};
    bool fillPage(qint64 first, int count) { return filler.fillRows(model, p, all, first, count); }
};

struct OddLines : VisibleRows // lines 1, 3, 5, ...
{
    qint64 rows = 5;
    qint64 count() const override { return rows; }
    qint64 storedLine(qint64 row) const override { return 2 * row + 1; }
    qint64 rowAtOrAfter(qint64 line) const override { return line / 2; }
};
struct Listed : VisibleRows
{
    std::vector<qint64> lines{0, 0, 1, 31, 32, 33, 95, 130, 131, 299, 299};
    qint64 count() const override { return qint64(lines.size()); }
    qint64 storedLine(qint64 row) const override { return lines[size_t(row)]; }
    qint64 rowAtOrAfter(qint64) const override { return 0; }
};
} // namespace

TEST_F(PageFillTest, FindsLinesBetweenTheIndexsKeptOffsets)
{
    for (int i = 10; i < 300; ++i)
        ASSERT_TRUE(p.leaseStore()->appendStoredLine(QByteArray::number(i) + ",STOP,--,--," +
                                                     QByteArray(i % 50, 'x') + ",--,t"));
    Listed rows;
    ASSERT_TRUE(filler.fillRows(model, p, rows, 0, 11));
    for (int r = 0; r < 11; ++r)
        EXPECT_EQ(text(r, 0), QString::number(rows.lines[size_t(r)]));
    EXPECT_EQ(text(9, 4), QString(299 % 50, 'x'));
}

TEST_F(PageFillTest, ShowsStoredLinesInPlaceAndClampsToTheStore)
{
    ASSERT_TRUE(fillPage(1, 3));
    ASSERT_EQ(model.rowCount(), 3);
    const QStringList data = {"2", "DATA", "50", "WRITE", "41", "A", "ACK", "00.00.00.000.000.002"};
    for (int c = 0; c < PageGeometry::kColumnCount; ++c)
        EXPECT_EQ(text(1, c), data[c]) << c; // no "\n" after the timestamp
    EXPECT_EQ(text(0, 5), "--");             // ASCII only for DATA
    EXPECT_EQ(model.item(0, 3)->background(), QBrush(Qt::black, Qt::SolidPattern));
    // Colours as RowStyle gives them (its own test holds which).
    EXPECT_TRUE(fg(1, 1) == RowStyle::color(RowStyle::Green) &&
                fg(1, 6) == RowStyle::color(RowStyle::LightGreen));
    QStandardItem *kept = model.item(2, 7);
    fillPage(5, 3); // same size: texts change in place
    EXPECT_EQ(model.item(2, 7), kept);
    EXPECT_EQ(text(2, 0), "7");
    fillPage(8, 5); // only lines 8 and 9 exist
    EXPECT_EQ(text(0, 0) + text(1, 0) + QString::number(model.rowCount()), "892");
    for (auto [first, count] : {std::pair{0, 0}, {3, -2}, {10, 40}, {-1, 5}}) {
        fillPage(first, count);
        EXPECT_EQ(model.rowCount(), 0) << first << " " << count;
    }
    EXPECT_TRUE(logged.isEmpty()) << logged.join('|').toStdString();
}

TEST_F(PageFillTest, SkipsWhenBusyAndLeavesBadLinesAlone)
{
    {
        const StoreLease other = p.leaseStore();
        EXPECT_FALSE(fillPage(0, 2)); // busy: nothing happens, nothing waits
        EXPECT_EQ(model.rowCount(), 0);
    }
    p.leaseStore()->resetStore();
    // Lines from Open with too few and too many fields, and a zero byte.
    ASSERT_TRUE(p.leaseStore()->appendStoredLine("0,DATA,50,WRITE,41,ACK,t0\n"));
    ASSERT_TRUE(p.leaseStore()->appendStoredLine("1,DATA,50,WRITE,41,ACK\n"));
    ASSERT_TRUE(p.leaseStore()->appendStoredLine("2,DATA,50,WRITE,41,ACK,t2,x\n"));
    ASSERT_TRUE(
        p.leaseStore()->appendStoredLine(QByteArray("3,STOP,--,--,--,--,ts\0,a,b,c\n", 25)));
    ASSERT_TRUE(fillPage(0, 4));
    EXPECT_EQ(text(1, 0) + text(2, 0), ""); // just created and skipped: empty
    EXPECT_EQ(text(3, 7), "ts");            // cut at the zero byte
    ASSERT_EQ(logged.size(), 1);
    EXPECT_EQ(logged[0], "检测到异常数据 1,DATA,50,WRITE,41,ACK");
    // A skipped row keeps what the previous tick gave it.
    fillPage(0, 3);
    fillPage(1, 3);
    EXPECT_EQ(text(0, 0), "0");
    // Lines lost from the file under the index read as too short, no crash.
    ASSERT_EQ(::truncate(path.toLocal8Bit().constData(), 10), 0);
    logged.clear();
    fillPage(0, 4);
    EXPECT_EQ(logged.size(), 4);
}

TEST_F(PageFillTest, FiltersCapsCellsAndLeavesAnUnchangedPageAlone)
{
    OddLines odd;
    ASSERT_TRUE(filler.fillRows(model, p, odd, 1, 3));
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(text(0, 0) + text(1, 0) + text(2, 0), "357");
    EXPECT_EQ(text(1, 1), "ADDR");
    model.item(1, 1)->setText("x");
    ASSERT_TRUE(filler.fillRows(model, p, odd, 1, 3));
    EXPECT_EQ(text(1, 1), "x"); // the same lines and bytes: nothing rewritten
    filler.invalidate();
    filler.fillRows(model, p, odd, 1, 3);
    EXPECT_EQ(text(1, 1), "ADDR");
    filler.fillRows(model, p, odd, 3, 9); // clamped to the rows there are
    EXPECT_EQ(text(1, 0) + QString::number(model.rowCount()), "92");
    // A merge grows the last line: its page is rewritten.
    std::vector<CaptureRow> more{dataRow(0x50, false, "42", true, 10)};
    p.mergeEnabled = true;
    p.leaseStore()->appendRows(more, p.mergeEnabled, p.decodeEnabled, nullptr);
    ASSERT_EQ(p.store().lineCount(), 11);
    more = {dataRow(0x50, false, "43", true, 11)};
    p.leaseStore()->appendRows(more, p.mergeEnabled, p.decodeEnabled, nullptr);
    fillPage(9, 2);
    EXPECT_EQ(text(1, 4), "42 43");
    more = {dataRow(0x50, false, "44", true, 12)};
    p.leaseStore()->appendRows(more, p.mergeEnabled, p.decodeEnabled, nullptr);
    fillPage(9, 2);
    EXPECT_EQ(text(1, 5), "BCD");
    // A 1 MB data field shows its first few KB, whole characters only.
    const std::string huge = "\xe4\xb8\xad" + std::string(1 << 20, 'x');
    ASSERT_TRUE(p.leaseStore()->appendStoredLine(QByteArray::fromStdString(
        "11,DATA,50,WRITE," + std::string(3000, ' ') + huge + ",ACK,t\n")));
    fillPage(11, 1);
    const QString data = text(0, 4);
    EXPECT_EQ(data.size(), PageFiller::kMaxCellBytes - 2 + 1); // 3 bytes in one character
    EXPECT_TRUE(data.endsWith(QChar(0x2026)) && data.contains(QChar(0x4e2d)));
    EXPECT_EQ(text(0, 5), QString(3000, '.') + QChar(0x2026)); // the cut piece is left out
    EXPECT_EQ(text(0, 7), "t");
    EXPECT_EQ(PageFiller::cellText("abc"), "abc");
    EXPECT_EQ(PageFiller::cellText(std::string(PageFiller::kMaxCellBytes, 'a')).size(),
              PageFiller::kMaxCellBytes);
}

// Rows with findings get a marker of their worst severity and the findings as the number
// cell's tooltip; their texts stay, and other rows get neither (also after a page moves).
TEST_F(PageFillTest, MarksRowsWithBusHealthFindings)
{
    using K = HealthFinding::Kind;
    using S = HealthFinding::Severity;
    const auto finding = [this](int64_t event, K kind, S severity, const char *detail) {
        HealthFinding h = healthFinding(event, kind, severity, 1000, 1300);
        h.resolutionNs = 250;
        h.detail = detail;
        p.onHealthFinding(h);
    };
    p.beginCapture();
    finding(0, K::TLow, S::Warning, "");
    finding(0, K::Spike, S::Error, "SCL");
    finding(3, K::Pec, S::Info, "");
    const std::vector<I2CEvent> events = {ev(EventStart, 0, 20), ev(EventAddr, 0xA0, 21),
                                          ev(EventAck, 0, 22), ev(EventStop, 0, 23)};
    p.onI2CEvents(events.data(), int(events.size())); // lines 10, 11, 12
    ASSERT_TRUE(fillPage(9, 4));
    const auto marker = [this](int r) {
        return model.item(r, RecordColumn::Number)->data(Qt::DecorationRole).value<QColor>();
    };
    const auto tip = [this](int r) {
        return model.item(r, RecordColumn::Number)->data(Qt::ToolTipRole).toString();
    };
    EXPECT_EQ(text(1, 0), "10");
    EXPECT_EQ(marker(1), FindingText::markerColor(S::Error));
    EXPECT_EQ(tip(1), QStringLiteral("警告 t-low：测得 1.00 µs，限值 1.30 µs（±250 ns）\n"
                                     "错误 spike：测得 1.00 µs，限值 1.30 µs（±250 ns）；SCL"));
    EXPECT_EQ(marker(3), FindingText::markerColor(S::Info));
    for (const int r : {0, 2})
        EXPECT_TRUE(!marker(r).isValid() && tip(r).isEmpty()) << r;
    // The page moves on: the rows showing other lines lose their markers.
    ASSERT_TRUE(fillPage(10, 4));
    EXPECT_TRUE(marker(0).isValid() && !marker(1).isValid() && marker(2).isValid());
    // A finding that reaches a shown line at the capture's end shows at once.
    finding(99, K::StuckLow, S::Error, "SDA");
    p.endCapture();
    ASSERT_TRUE(fillPage(10, 4));
    EXPECT_TRUE(tip(2).endsWith(
        QStringLiteral("错误 stuck-low：测得 1.00 µs，限值 1.30 µs（±250 ns）；SDA")));
    EXPECT_EQ(marker(2), FindingText::markerColor(S::Error));
    // A filtered page: each shown line read on its own, the lines between never shown.
    finding(1, K::Pec, S::Warning, "");
    p.onI2CEvents(events.data(), 2); // line 13: its START; every odd line shown
    OddLines odd;
    odd.rows = 7;
    ASSERT_TRUE(filler.fillRows(model, p, odd, 4, 3)); // lines 9, 11, 13
    EXPECT_TRUE(!marker(0).isValid() && !marker(1).isValid() && marker(2).isValid());
    EXPECT_EQ(tip(2), QStringLiteral("警告 pec：测得 1.00 µs，限值 1.30 µs（±250 ns）"));
}

TEST(FindingTextTest, DurationsFindingsAndLongTips)
{
    const std::pair<int64_t, const char *> durations[] = {{-1, "—"},
                                                          {0, "0 ns"},
                                                          {999, "999 ns"},
                                                          {1000, "1.00 µs"},
                                                          {65432, "65.4 µs"},
                                                          {999999, "1000 µs"},
                                                          {1000000, "1.00 ms"},
                                                          {25000000, "25.0 ms"},
                                                          {1500000000, "1.50 s"},
                                                          {10000, "10.0 µs"},
                                                          {100000, "100 µs"},
                                                          {1000000000, "1.00 s"}};
    for (const auto &[ns, text] : durations)
        EXPECT_EQ(FindingText::durationText(ns), QString::fromUtf8(text)) << ns;
    HealthFinding f;
    f.kind = HealthFinding::Kind::GeneralCall;
    f.severity = HealthFinding::Severity::Unresolved;
    EXPECT_EQ(FindingText::describe(f), QStringLiteral("无法判断 general-call"));
    f.detail = "x";
    f.limitNs = 5;
    EXPECT_EQ(FindingText::describe(f), QStringLiteral("无法判断 general-call：限值 5 ns；x"));
    f.limitNs = 0;
    f.measuredNs = 0;
    EXPECT_EQ(FindingText::describe(f),
              QStringLiteral("无法判断 general-call：测得 0 ns，限值 0 ns；x"));
    f.measuredNs = -1;
    f.limitNs = -1;
    EXPECT_EQ(FindingText::describe(f), QStringLiteral("无法判断 general-call：x"));
    const std::vector<HealthFinding> many(FindingText::kMaxTipLines + 1, f);
    const QString tip = FindingText::tooltip(many, 0, many.size());
    EXPECT_EQ(tip.count('\n'), int(FindingText::kMaxTipLines));
    EXPECT_TRUE(tip.endsWith(QStringLiteral("…（共 13 项）")));
    EXPECT_EQ(FindingText::tooltip(many, 1, many.size()).count('\n'),
              int(FindingText::kMaxTipLines) - 1);
    EXPECT_EQ(FindingText::tooltip(many, 0, 2).count('\n'), 1);
    EXPECT_EQ(FindingText::modeText(KORVEX_HEALTH_MODE_FM), QStringLiteral("快速模式 (400 kHz)"));
    QVector<int> pec{1};
    EXPECT_TRUE(FindingText::addressListFromText(QStringLiteral(" 0x0b,50  7F 0"), &pec));
    EXPECT_EQ(pec, (QVector<int>{0x0B, 0x50, 0x7F, 0}));
    for (const char *bad : {"80", "5g", "0b,-1"})
        EXPECT_FALSE(FindingText::addressListFromText(QString::fromLatin1(bad), &pec)) << bad;
    EXPECT_TRUE(FindingText::addressListFromText(QString(), &pec) && pec.isEmpty());
}
