#include "capture/storedline.h"

#include <cstring>

namespace {
void appendNumber(std::string &out, int n)
{
    char buf[12];
    char *p = buf + sizeof buf;
    unsigned u = n < 0 ? 0u - unsigned(n) : unsigned(n);
    do {
        *--p = char('0' + u % 10);
        u /= 10;
    } while (u);
    if (n < 0)
        *--p = '-';
    out.append(p, size_t(buf + sizeof buf - p));
}
} // namespace

void StoredLine::append(std::string &out, int number, const CaptureRow &row)
{
    char addr[2];
    appendNumber(out, number);
    out += ',';
    out += row.typeText();
    out += ',';
    out += row.addressText(addr);
    out += ',';
    out += row.directionText();
    out += ',';
    out += row.data;
    appendTail(out, row);
}

void StoredLine::appendTail(std::string &out, const CaptureRow &row)
{
    out += ',';
    out += row.responseText();
    out += ',';
    CaptureRow::appendTimestampText(out, row.timeNs);
    out += '\n';
}

size_t StoredLine::tailLength(const CaptureRow &row)
{
    size_t ts = 20; // "HH.MM.SS.mmm.uuu.nnn" for every time that is not negative
    if (row.timeNs < 0) {
        std::string s;
        CaptureRow::appendTimestampText(s, row.timeNs);
        ts = s.size();
    }
    return 3 + row.responseText().size() + ts;
}

void StoredLine::appendFields(std::string &out, const std::string_view (&fields)[FieldCount])
{
    const size_t old = out.size();
    out.resize(old + fieldsLength(fields));
    writeFields(&out[old], fields);
}

bool StoredLine::toRow(CaptureRow *row) const
{
    CaptureRow r;
    r.fieldCount = 6;
    bool known = CaptureRow::typeFromText(m_fields[Type], &r.type);
    known = CaptureRow::directionFromText(m_fields[Direction], &r.direction) && known;
    if (!CaptureRow::responseFromText(m_fields[Response], &r.response))
        known = false;
    r.hasAddress = CaptureRow::addressFromText(m_fields[Address], &r.address);
    if (!r.hasAddress && m_fields[Address] != "--")
        known = false;
    r.data.assign(m_fields[Data].data(), m_fields[Data].size());
    if (!CaptureRow::timestampFromText(m_fields[Timestamp], &r.timeNs))
        r.timeNs = 0;
    *row = std::move(r);
    return known;
}
