#include "capturepipeline.h"
#include "pagefiller.h"
#include "rowstyle.h"

#include <gtest/gtest.h>

#include <QStandardItemModel>
#include <QTemporaryDir>

#include <unistd.h>

namespace {
QStringList logged;
void keepLog(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    logged << msg;
}

CaptureRow row(CaptureRow::Type type, int addr, bool read, const char *data,
               CaptureRow::Response resp, int64_t t)
{
    CaptureRow r;
    r.type = type;
    r.hasAddress = addr >= 0;
    r.address = uint8_t(addr < 0 ? 0 : addr);
    r.direction = addr < 0 ? CaptureRow::Direction::None
                  : read   ? CaptureRow::Direction::Read
                           : CaptureRow::Direction::Write;
    r.data = data;
    r.response = resp;
    r.fieldCount = 6;
    r.timeNs = t;
    return r;
}

class PageFillTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        logged.clear();
        qInstallMessageHandler(keepLog);
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("I2CDataTemp.dat");
        ASSERT_TRUE(p.store().open(path));
        model.setColumnCount(8);
    }
    void TearDown() override { qInstallMessageHandler(nullptr); }

    void storeRows(int n)
    {
        std::vector<CaptureRow> rows;
        for (int i = 0; i < n; ++i) {
            switch (i % 4) {
            case 0:
                rows.push_back(CaptureRow::start(i));
                break;
            case 1:
                rows.push_back(
                    row(CaptureRow::Type::Addr, 0x50, false, "--", CaptureRow::Response::Ack, i));
                break;
            case 2:
                rows.push_back(
                    row(CaptureRow::Type::Data, 0x50, false, "41", CaptureRow::Response::Ack, i));
                break;
            default:
                rows.push_back(CaptureRow::stop(i));
            }
        }
        p.store().appendRows(rows, p.mergeEnabled, p.decodeEnabled, nullptr);
    }
    QString text(int r, int c) const
    {
        return model.item(r, c) ? model.item(r, c)->text() : "<none>";
    }
    QColor fg(int r, int c) const { return model.item(r, c)->foreground().color(); }

    QTemporaryDir dir;
    QString path;
    CapturePipeline p;
    QStandardItemModel model;
    PageFiller filler;
};
} // namespace

TEST_F(PageFillTest, ShowsStoredLinesWithAsciiAndColours)
{
    storeRows(10);
    ASSERT_TRUE(filler.fillPage(model, p, 1, 4));
    ASSERT_EQ(model.rowCount(), 4);
    const QStringList addr = {"1",  "ADDR", "50",  "WRITE",
                              "--", "--",   "ACK", "00.00.00.000.000.001"};
    const QStringList data = {"2", "DATA", "50", "WRITE", "41", "A", "ACK", "00.00.00.000.000.002"};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(text(0, c), addr[c]) << c; // no "\n" after the timestamp
        EXPECT_EQ(text(1, c), data[c]) << c;
        EXPECT_EQ(model.item(0, c)->background(), QBrush(Qt::black, Qt::SolidPattern));
    }
    // Row colours as RowStyle gives them; number and timestamp stay white.
    const QColor white(Qt::white);
    EXPECT_EQ(fg(1, 1), RowStyle::color(RowStyle::Green));
    EXPECT_EQ(fg(1, 6), RowStyle::color(RowStyle::LightGreen));
    EXPECT_EQ(fg(0, 2), RowStyle::color(RowStyle::Orange));
    EXPECT_EQ(fg(3, 1), RowStyle::color(RowStyle::Teal));
    EXPECT_EQ(fg(1, 0), white);
    EXPECT_EQ(fg(1, 7), white);
    EXPECT_TRUE(logged.isEmpty());
}

TEST_F(PageFillTest, KeepsItemsWhileThePageSizeStaysAndClampsToTheStore)
{
    storeRows(10);
    filler.fillPage(model, p, 0, 3);
    QStandardItem *kept = model.item(2, 7);
    filler.fillPage(model, p, 5, 3); // same size: texts change in place
    EXPECT_EQ(model.item(2, 7), kept);
    EXPECT_EQ(text(0, 0), "5");
    EXPECT_EQ(text(2, 0), "7");

    filler.fillPage(model, p, 8, 5); // only lines 8 and 9 exist
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(text(1, 0), "9");
    EXPECT_TRUE(logged.isEmpty()) << logged.join('|').toStdString();

    filler.fillPage(model, p, 0, 0); // no room on the page
    EXPECT_EQ(model.rowCount(), 0);
    filler.fillPage(model, p, 3, -2);
    EXPECT_EQ(model.rowCount(), 0);
    filler.fillPage(model, p, 10, 40); // past the end
    EXPECT_EQ(model.rowCount(), 0);
    p.store().resetStore();
    filler.fillPage(model, p, 0, 40);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(PageFillTest, SkipsWhenBusyAndLeavesBadLinesAlone)
{
    storeRows(2);
    ASSERT_TRUE(p.tryAcquireStore());
    EXPECT_FALSE(filler.fillPage(model, p, 0, 2)); // busy: nothing happens, nothing waits
    EXPECT_EQ(model.rowCount(), 0);
    p.releaseStore();
    ASSERT_TRUE(filler.fillPage(model, p, 0, 2));

    // Lines from Open with too few and too many fields, and a zero byte.
    ASSERT_TRUE(p.store().appendStoredLine("2,DATA,50,WRITE,41,ACK\n"));
    ASSERT_TRUE(p.store().appendStoredLine("3,DATA,50,WRITE,41,ACK,00.00.00.000.000.003,x\n"));
    ASSERT_TRUE(p.store().appendStoredLine(QByteArray("4,STOP,--,--,--,--,ts\0,a,b,c\n", 25)));
    filler.fillPage(model, p, 0, 5);
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(text(2, 0), ""); // just created and skipped: empty
    EXPECT_EQ(text(3, 0), "");
    EXPECT_EQ(text(4, 7), "ts"); // cut at the zero byte
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].startsWith("检测到异常数据"));
    EXPECT_TRUE(logged[0].contains("2,DATA,50,WRITE,41,ACK"));

    // A skipped row keeps what the previous tick gave it.
    ASSERT_TRUE(p.store().appendStoredLine("5,STOP,--,--,--,--,t5\n"));
    filler.fillPage(model, p, 0, 5);
    filler.fillPage(model, p, 1, 5); // same page size: items stay
    EXPECT_EQ(text(0, 0), "1");
    EXPECT_EQ(text(1, 0), "1"); // line 2 is bad: still line 1 from the tick before
    EXPECT_EQ(text(4, 0), "5");
    EXPECT_EQ(logged.size(), 3); // once per tick with the bad line on the page

    // Lines lost from the file under the index read as too short, no crash.
    ASSERT_EQ(::truncate(path.toLocal8Bit().constData(), 10), 0);
    logged.clear();
    filler.fillPage(model, p, 0, 6);
    EXPECT_EQ(logged.size(), 6);
}
