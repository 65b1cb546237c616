#include "eventconverter.h"
#include "storetestutil.h"

#include <gtest/gtest.h>

namespace {
// The rows' stored lines without numbers, one per line.
std::string texts(const std::vector<CaptureRow> &rows)
{
    std::string out;
    for (const CaptureRow &r : rows) {
        std::string line;
        StoredLine::append(line, 0, r);
        out += line.substr(2);
    }
    return out;
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
        add(EventAck);
        add(EventAddr, 0xA0 | (k & 1));
        add(EventAck);
        for (int d = 0; d < k % 4; ++d) {
            add(EventData, 0x30 + d + k);
            add(d == 2 ? EventNack : EventAck);
            add(EventAck);
        }
        if (k % 3 == 0) {
            add(EventAddr, 0x51);
            add(EventStart);
            add(EventAddr, 0x52);
            add(EventNack);
        }
        add(99, 0x11);
        add(EventData, 0x7E);
        add(EventStop);
        add(EventNack);
    }
    return e;
}
} // namespace

TEST(EventConverter, ConvertsCompletedBytesAndIgnoresTheRest)
{
    EventConverter c;
    // DATA before any ADDR: address 00, WRITE. Acknowledges that complete
    // nothing, an ADDR overwritten before its acknowledge, unknown codes and
    // a DATA that a STOP ends unacknowledged give no row.
    const std::vector<I2CEvent> e = {ev(EventData, 0x10, 1),
                                     ev(EventAck, 0, 2),
                                     ev(EventStart, 0, 3),
                                     ev(EventAck, 0, 4),
                                     ev(EventAddr, 0x20, 5),
                                     ev(EventAddr, 0xA1, 6),
                                     ev(EventAck, 0, 7),
                                     ev(EventNack, 0, 8),
                                     ev(0, 0, 9),
                                     ev(7, 0, 10),
                                     ev(-1, 0, 11),
                                     ev(EventData, 0x3C, 12),
                                     ev(EventNack, 0, 13),
                                     ev(EventAddr, 0xFF, 14),
                                     ev(EventNack, 0, 15),
                                     ev(EventData, 0x55, 15),
                                     ev(EventStop, 0, 16),
                                     ev(EventNack, 0, 17),
                                     ev(EventData, 0xAB, 18)};
    EXPECT_EQ(texts(c.convertEvents(e.data(), int(e.size()))),
              "DATA,00,WRITE,10,ACK," + ts(1) + "\n" +      //
                  "START,--,--,--,--," + ts(3) + "\n" +     //
                  "ADDR,50,READ,--,ACK," + ts(6) + "\n" +   //
                  "DATA,50,READ,3C,NACK," + ts(12) + "\n" + //
                  "ADDR,7F,READ,--,NACK," + ts(14) + "\n" + //
                  "STOP,--,--,--,--," + ts(16) + "\n");
    EXPECT_EQ(c.lastAddressByte(), 0xFF);
    // The DATA waiting at the end of the batch completes in the next one,
    // with its own time, and still carries the last address.
    const std::vector<I2CEvent> ack = {ev(EventAck, 0, 99)};
    EXPECT_EQ(texts(c.convertEvents(ack.data(), 1)), "DATA,7F,READ,AB,ACK," + ts(18) + "\n");

    // Empty and negative counts, and a null pointer, change nothing.
    std::vector<CaptureRow> out;
    c.convertEvents(e.data(), 0, out);
    c.convertEvents(e.data(), -5, out);
    c.convertEvents(nullptr, 3, out);
    EXPECT_TRUE(out.empty());
}

TEST(EventConverter, RowsDoNotDependOnWhereBatchesSplit)
{
    const std::vector<I2CEvent> e = mixedStream();
    EventConverter whole;
    const auto expected = whole.convertEvents(e.data(), int(e.size()));
    ASSERT_GT(expected.size(), 40u);
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
}

TEST(EventConverter, FormatsTimestamps)
{
    const int64_t s = 1000000000LL, ms = 1000000, us = 1000;
    const std::pair<int64_t, const char *> cases[] = {
        {0, "00.00.00.000.000.000"},
        {3600 * s + 2 * 60 * s + 3 * s + 4 * ms + 5 * us + 6, "01.02.03.004.005.006"},
        {25 * 3600 * s + 61 * s + ms + us + 1, "01.01.01.001.001.001"}, // the day is dropped
        {23 * 3600 * s + 59 * 60 * s + 59 * s + 999 * ms + 999 * us + 999, "23.59.59.999.999.999"},
        {-1001, "00.00.00.000.-01.-01"}, // negative times keep printf's look
    };
    for (const auto &[t, text] : cases)
        EXPECT_EQ(ts(t), text);
    // The row's fields as texts, for logs and symbols.
    const CaptureRow r = addrRow(0x50, true, false, 5);
    EXPECT_EQ(r.toStringList(),
              QStringList({"ADDR", "50", "READ", "--", "NACK", QString::fromStdString(ts(5))}));
    EXPECT_EQ(r.text(-1), QString());
    EXPECT_EQ(r.text(6), QString());
}
