#include "eventconverter.h"
#include "storetestutil.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {
QStringList strings(const std::vector<CaptureRow> &rows, size_t i)
{
    return i < rows.size() ? rows[i].toStringList() : QStringList();
}

QStringList row(const char *a, const char *b, const char *c, const char *d, const char *e,
                int64_t t)
{
    return {a, b, c, d, e, QString::fromStdString(ts(t))};
}

// A mixed stream: transfers with repeated starts, NACKs, stray acknowledges,
// unknown codes and acknowledges that follow non-byte events.
std::vector<I2CEvent> mixedStream()
{
    std::vector<I2CEvent> e;
    int64_t t = 1000;
    auto add = [&](int type, int data = 0) { e.push_back(ev(type, data, t += 137)); };
    for (int k = 0; k < 12; ++k) {
        add(EventStart);
        add(EventAck); // ignored: no byte waiting
        add(EventAddr, 0xA0 | (k & 1));
        add(EventAck);
        for (int d = 0; d < k % 4; ++d) {
            add(EventData, 0x30 + d + k);
            add(d == 2 ? EventNack : EventAck);
            add(EventAck); // second acknowledge ignored
        }
        if (k % 3 == 0) {
            add(EventAddr, 0x51); // never acknowledged: overwritten
            add(EventStart);      // repeated START
            add(EventAddr, 0x52);
            add(EventNack);
        }
        add(99, 0x11); // unknown code
        add(EventData, 0x7E);
        add(EventStop); // DATA without acknowledge is dropped
        add(EventNack); // ignored after STOP
    }
    return e;
}
} // namespace

TEST(EventConverter, ConvertsTheBasicTransfer)
{
    EventConverter c;
    const std::vector<I2CEvent> e = {ev(EventAddr, 0xA1, 10), ev(EventAck, 0, 20),
                                     ev(EventData, 0x3C, 30), ev(EventNack, 0, 40),
                                     ev(EventStop, 0, 50)};
    const auto rows = c.convertEvents(e.data(), int(e.size()));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(strings(rows, 0), row("ADDR", "50", "READ", "--", "ACK", 10));
    EXPECT_EQ(strings(rows, 1), row("DATA", "50", "READ", "3C", "NACK", 30));
    EXPECT_EQ(strings(rows, 2), row("STOP", "--", "--", "--", "--", 50));

    const std::vector<I2CEvent> s = {ev(EventStart, 0, 5)};
    EXPECT_EQ(strings(c.convertEvents(s.data(), 1), 0), row("START", "--", "--", "--", "--", 5));
}

TEST(EventConverter, AddressAndDirectionComeFromTheLatestAddressByte)
{
    EventConverter c;
    // DATA before any ADDR since start-up: address 00, WRITE.
    std::vector<I2CEvent> e = {ev(EventData, 0x10, 1), ev(EventAck, 0, 2)};
    EXPECT_EQ(strings(c.convertEvents(e.data(), 2), 0), row("DATA", "00", "WRITE", "10", "ACK", 1));

    e = {ev(EventAddr, 0x00, 3), ev(EventAck, 0, 4), ev(EventAddr, 0xFF, 5), ev(EventNack, 0, 6)};
    auto rows = c.convertEvents(e.data(), 4);
    EXPECT_EQ(strings(rows, 0), row("ADDR", "00", "WRITE", "--", "ACK", 3));
    EXPECT_EQ(strings(rows, 1), row("ADDR", "7F", "READ", "--", "NACK", 5));

    // A later batch (or capture) still repeats the last address.
    e = {ev(EventStop, 0, 7), ev(EventData, 0xAB, 8), ev(EventAck, 0, 9)};
    rows = c.convertEvents(e.data(), 3);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(strings(rows, 1), row("DATA", "7F", "READ", "AB", "ACK", 8));
    EXPECT_EQ(c.lastAddressByte(), 0xFF);
}

TEST(EventConverter, IgnoresEventsThatCompleteNothing)
{
    EventConverter c;
    std::vector<I2CEvent> e = {ev(EventStart, 0, 1),
                               ev(EventAck, 0, 2), // ACK after START
                               ev(EventAddr, 0x20, 3),
                               ev(EventAddr, 0x22, 4),
                               ev(EventAck, 0, 5), // first ADDR lost
                               ev(EventAck, 0, 6),
                               ev(EventNack, 0, 7), // row already complete
                               ev(0, 0, 8),
                               ev(7, 0, 9),
                               ev(-1, 0, 10), // unknown codes
                               ev(EventStop, 0, 11),
                               ev(EventNack, 0, 12)}; // NACK after STOP
    const auto rows = c.convertEvents(e.data(), int(e.size()));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(strings(rows, 0)[0], "START");
    EXPECT_EQ(strings(rows, 1), row("ADDR", "11", "WRITE", "--", "ACK", 4));
    EXPECT_EQ(strings(rows, 2), row("STOP", "--", "--", "--", "--", 11));

    // Empty and negative counts, and a null pointer, change nothing.
    const std::vector<I2CEvent> a = {ev(EventAddr, 0x40, 20)};
    c.convertEvents(a.data(), 1);
    std::vector<CaptureRow> out;
    c.convertEvents(a.data(), 0, out);
    c.convertEvents(a.data(), -5, out);
    c.convertEvents(nullptr, 3, out);
    EXPECT_TRUE(out.empty());
    const std::vector<I2CEvent> ack = {ev(EventAck, 0, 30)};
    c.convertEvents(ack.data(), 1, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(strings(out, 0), row("ADDR", "20", "WRITE", "--", "ACK", 20));
}

TEST(EventConverter, RowsDoNotDependOnWhereBatchesSplit)
{
    const std::vector<I2CEvent> e = mixedStream();
    EventConverter whole;
    const auto expected = whole.convertEvents(e.data(), int(e.size()));
    ASSERT_GT(expected.size(), 40u);

    // Every single split point, and a split after every event.
    for (size_t cut = 0; cut <= e.size(); ++cut) {
        EventConverter c;
        std::vector<CaptureRow> rows;
        c.convertEvents(e.data(), int(cut), rows);
        c.convertEvents(e.data() + cut, int(e.size() - cut), rows);
        ASSERT_EQ(rows, expected) << "split at " << cut;
    }
    EventConverter single;
    std::vector<CaptureRow> rows;
    for (const I2CEvent &x : e)
        single.convertEvents(&x, 1, rows);
    EXPECT_EQ(rows, expected);

    // An acknowledge opening a batch takes its byte's time from the batch before.
    EventConverter c;
    const std::vector<I2CEvent> a = {ev(EventStart, 0, 100), ev(EventAddr, 0xA0, 200)};
    const std::vector<I2CEvent> b = {ev(EventAck, 0, 999)};
    EXPECT_TRUE(c.convertEvents(a.data(), 2).size() == 1);
    const auto r = c.convertEvents(b.data(), 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].timeNs, 200);
}

TEST(EventConverter, FormatsTimestamps)
{
    const int64_t s = 1000000000LL, ms = 1000000, us = 1000;
    EXPECT_EQ(ts(0), "00.00.00.000.000.000");
    EXPECT_EQ(ts(3600 * s + 2 * 60 * s + 3 * s + 4 * ms + 5 * us + 6), "01.02.03.004.005.006");
    // The day is dropped.
    EXPECT_EQ(ts(25 * 3600 * s + 61 * s + ms + us + 1), "01.01.01.001.001.001");
    EXPECT_EQ(ts(23 * 3600 * s + 59 * 60 * s + 59 * s + 999 * ms + 999 * us + 999),
              "23.59.59.999.999.999");
    EXPECT_EQ(ts(1234567890), "00.00.01.234.567.890");
    // Negative times keep printf's look: negative fields.
    EXPECT_EQ(ts(-1001), "00.00.00.000.-01.-01");
}
