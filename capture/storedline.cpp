#include "capture/storedline.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

const char *StoredLine::split(const char *s, const char *e, bool atNewline, const char **lineEnd)
{
    // One pass over the bytes, sixteen at a time where the machine allows:
    // this runs for every line a filter or an export reads, and finding each
    // separator with its own memchr cost more than the rest of the scan.
    const char *fieldStart = s;
    int k = 0; // fields ended so far
    bool extra = false;
    const char *stop = e;
    // A separator at c: false once the line has ended.
    const auto separator = [&](const char *c) {
        if (*c == '\n') {
            if (!atNewline)
                return true;
            stop = c;
            return false;
        }
        if (k < Timestamp) {
            m_fields[k++] = std::string_view(fieldStart, size_t(c - fieldStart));
            fieldStart = c + 1;
        } else if (!extra) {
            m_fields[Timestamp] = std::string_view(fieldStart, size_t(c - fieldStart));
            extra = true;
        }
        return true;
    };
    const char *p = s;
#if defined(__SSE2__)
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i newline = _mm_set1_epi8(atNewline ? '\n' : ',');
    for (; e - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, newline))));
        for (; mask; mask &= mask - 1)
            if (!separator(p + __builtin_ctz(mask)))
                goto ended;
    }
#endif
    for (; p < e; ++p)
        if ((*p == ',' || (atNewline && *p == '\n')) && !separator(p))
            break;
ended:
    if (lineEnd)
        *lineEnd = stop;
    if (k < Timestamp) {
        *this = StoredLine();
        return nullptr;
    }
    if (!extra)
        m_fields[Timestamp] = std::string_view(fieldStart, size_t(stop - fieldStart));
    m_extraFields = extra;
    return stop;
}

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
