#include "capture/eventconverter.h"
#include "rowtestutil.h"

#include <gtest/gtest.h>

namespace {
// DATA before any ADDR (address 00, WRITE); acknowledges that complete nothing; an ADDR overwritten
// before its acknowledge and one cut off by a repeated START; unknown codes; a DATA that a STOP
// ends unacknowledged; and a DATA still waiting for its acknowledge at the end.
const std::vector<I2CEvent> kStream = [] { // type, data, ...: 1 ns apart from 1
    const int codes[] = {EventData, 0x10, EventAck,  0,    EventStart, 0, EventAck,  0,
                         EventAddr, 0x20, EventAddr, 0xA1, EventAck,   0, EventNack, 0,
                         0,         0,    7,         0,    -1,         0, EventData, 0x3C,
                         EventNack, 0,    EventAddr, 0x51, EventStart, 0, EventAddr, 0xFF,
                         EventNack, 0,    EventData, 0x55, EventStop,  0, EventNack, 0,
                         EventData, 0xAB};
    std::vector<I2CEvent> e;
    for (size_t i = 0; i < std::size(codes); i += 2)
        e.push_back(ev(codes[i], codes[i + 1], int64_t(i / 2 + 1)));
    return e;
}();

// The rows' stored lines without numbers.
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
} // namespace

TEST(EventConverter, ConvertsCompletedBytesIgnoresTheRestAndSplitsNothing)
{
    EventConverter c;
    EXPECT_EQ(texts(c.convertEvents(kStream.data(), int(kStream.size()))),
              "DATA,00,WRITE,10,ACK," + ts(1) + "\n" +      //
                  "START,--,--,--,--," + ts(3) + "\n" +     //
                  "ADDR,50,READ,--,ACK," + ts(6) + "\n" +   //
                  "DATA,50,READ,3C,NACK," + ts(12) + "\n" + //
                  "START,--,--,--,--," + ts(15) + "\n" +    //
                  "ADDR,7F,READ,--,NACK," + ts(16) + "\n" + //
                  "STOP,--,--,--,--," + ts(19) + "\n");
    EXPECT_EQ(c.lastAddressByte(), 0xFF);
    // The waiting DATA completes in the next batch with its own time and the last address.
    const std::vector<I2CEvent> ack = {ev(EventAck, 0, 99)};
    EXPECT_EQ(texts(c.convertEvents(ack.data(), 1)), "DATA,7F,READ,AB,ACK," + ts(21) + "\n");
    // Empty and negative counts, and a null pointer, change nothing.
    std::vector<CaptureRow> out;
    c.convertEvents(kStream.data(), 0, out);
    c.convertEvents(kStream.data(), -5, out);
    c.convertEvents(nullptr, 3, out);
    EXPECT_TRUE(out.empty());
    // Rows do not depend on where batches split.
    std::vector<I2CEvent> e;
    for (int k = 0; k < 4; ++k) // later copies start with the previous one's state
        e.insert(e.end(), kStream.begin(), kStream.end());
    const auto expected = EventConverter().convertEvents(e.data(), int(e.size()));
    for (size_t cut = 0; cut <= e.size(); ++cut) {
        EventConverter split;
        std::vector<CaptureRow> rows;
        split.convertEvents(e.data(), int(cut), rows);
        split.convertEvents(e.data() + cut, int(e.size() - cut), rows);
        ASSERT_EQ(rows, expected) << "split at " << cut;
    }
    EventConverter single;
    for (const I2CEvent &x : e)
        single.convertEvents(&x, 1, out);
    EXPECT_EQ(out, expected);
}

TEST(EventConverter, FormatsTimestampsAndFields)
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
    const CaptureRow r = addrRow(0x50, true, false, 5);
    EXPECT_EQ(r.toStringList(),
              QStringList({"ADDR", "50", "READ", "--", "NACK", QString::fromStdString(ts(5))}));
    EXPECT_EQ(r.text(-1), QString());
    EXPECT_EQ(r.text(6), QString());
}
