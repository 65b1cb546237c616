#include "capture/eventconverter.h"

#include "capture/hexdigits.h"

namespace {
void setAddressFrom(CaptureRow &row, int32_t addressByte)
{
    row.hasAddress = true;
    row.address = uint8_t((addressByte >> 1) & 0x7F);
    row.direction = (addressByte & 1) ? CaptureRow::Direction::Read : CaptureRow::Direction::Write;
}

void setHexByte(std::string &s, uint8_t b)
{
    char digits[2];
    putHexByte(digits, b);
    s.assign(digits, 2);
}
} // namespace

void EventConverter::convertEvents(const I2CEvent *events, int count, std::vector<CaptureRow> &out)
{
    if (!events || count <= 0)
        return;
    CaptureRow &row = m_rowUnderConstruction;
    for (const I2CEvent *e = events, *end = events + count; e != end; ++e) {
        if (e->type != EventAck && e->type != EventNack)
            m_carriedTimeNs = e->timestamp + m_timeOffsetNs;
        const int64_t t = m_carriedTimeNs;
        switch (e->type) {
        case EventStart:
            row = CaptureRow::start(t);
            out.push_back(row);
            break;
        case EventStop:
            row = CaptureRow::stop(t);
            out.push_back(row);
            break;
        case EventAddr:
            m_lastAddressByte = e->data;
            row.type = CaptureRow::Type::Addr;
            setAddressFrom(row, m_lastAddressByte);
            row.data.assign("--");
            row.response = CaptureRow::Response::None;
            row.fieldCount = 4;
            break;
        case EventData:
            row.type = CaptureRow::Type::Data;
            setAddressFrom(row, m_lastAddressByte);
            setHexByte(row.data, e->data);
            row.response = CaptureRow::Response::None;
            row.fieldCount = 4;
            break;
        case EventNack:
        case EventAck:
            if (row.fieldCount == 4) {
                row.response =
                    e->type == EventAck ? CaptureRow::Response::Ack : CaptureRow::Response::Nack;
                row.timeNs = t;
                row.fieldCount = 6;
                out.push_back(row);
            }
            break;
        default:
            break;
        }
    }
}

std::vector<CaptureRow> EventConverter::convertEvents(const I2CEvent *events, int count)
{
    std::vector<CaptureRow> rows;
    convertEvents(events, count, rows);
    return rows;
}
