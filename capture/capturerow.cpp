#include "capture/capturerow.h"

#include "capture/hexdigits.h"

#include <cstdio>
#include <iterator>

namespace {
// Writes v (0..999) as `width` decimal digits.
inline void appendDigits(std::string &out, int64_t v, int width)
{
    if (v < 0) {
        // Negative fields only arise from negative timestamps; keep printf's look.
        char neg[24];
        std::snprintf(neg, sizeof neg, "%0*lld", width, static_cast<long long>(v));
        out += neg;
        return;
    }
    char buf[4];
    for (int i = width - 1; i >= 0; --i) {
        buf[i] = char('0' + v % 10);
        v /= 10;
    }
    out.append(buf, size_t(width));
}
} // namespace

CaptureRow CaptureRow::start(int64_t t)
{
    CaptureRow r;
    r.type = Type::Start;
    r.fieldCount = 6;
    r.timeNs = t;
    r.data = "--";
    return r;
}

CaptureRow CaptureRow::stop(int64_t t)
{
    CaptureRow r = start(t);
    r.type = Type::Stop;
    return r;
}

bool CaptureRow::addressFromText(std::string_view text, uint8_t *address)
{
    if (text.size() != 2)
        return false;
    int v = 0;
    for (char c : text) {
        const int d = hexDigitValue(c);
        if (d < 0)
            return false;
        v = v * 16 + d;
    }
    if (v > 0x7F)
        return false;
    *address = uint8_t(v);
    return true;
}

std::string_view CaptureRow::addressText(char *buf) const
{
    if (!hasAddress)
        return "--";
    putHexByte(buf, address & 0x7F);
    return std::string_view(buf, 2);
}

void CaptureRow::appendTimestampText(std::string &out, int64_t t)
{
    // Truncating division, as the "%02lld.%02lld..." text of the fields asks.
    appendDigits(out, (t / 3600000000000LL) % 24, 2);
    out += '.';
    appendDigits(out, (t / 60000000000LL) % 60, 2);
    out += '.';
    appendDigits(out, (t / 1000000000LL) % 60, 2);
    out += '.';
    appendDigits(out, (t / 1000000LL) % 1000, 3);
    out += '.';
    appendDigits(out, (t / 1000LL) % 1000, 3);
    out += '.';
    appendDigits(out, t % 1000, 3);
}

std::string CaptureRow::timestampText() const
{
    std::string s;
    appendTimestampText(s, timeNs);
    return s;
}

bool CaptureRow::timestampFromText(std::string_view text, int64_t *t)
{
    // Hours, minutes, seconds, ms, us, ns from the left; missing ones are 0.
    static constexpr int64_t kUnitNs[] = {3600000000000LL, 60000000000LL, 1000000000LL,
                                          1000000LL,       1000LL,        1LL};
    static constexpr int64_t kLimit[] = {24, 60, 60, 1000, 1000, 1000};
    // One pass over the characters: every transaction a filter judges reads
    // two timestamps.
    int64_t total = 0;
    size_t field = 0;
    int64_t v = 0;
    int digits = 0;
    for (size_t i = 0;; ++i) {
        const bool end = i == text.size();
        if (end || text[i] == '.') {
            if (digits == 0 || field >= std::size(kUnitNs) || v >= kLimit[field])
                return false;
            total += v * kUnitNs[field++];
            if (end)
                break;
            v = digits = 0;
            continue;
        }
        const char c = text[i];
        if (c < '0' || c > '9' || ++digits > 3)
            return false;
        v = v * 10 + (c - '0');
    }
    *t = total;
    return true;
}

QString CaptureRow::text(int field) const
{
    if (field < 0 || field >= fieldCount)
        return QString();
    char buf[2];
    std::string_view v;
    switch (field) {
    case TypeField:
        v = typeText();
        break;
    case AddressField:
        v = addressText(buf);
        break;
    case DirectionField:
        v = directionText();
        break;
    case DataField:
        return QString::fromStdString(data);
    case ResponseField:
        v = responseText();
        break;
    default:
        return QString::fromStdString(timestampText());
    }
    return QString::fromLatin1(v.data(), int(v.size()));
}

QStringList CaptureRow::toStringList() const
{
    QStringList l;
    for (int i = 0; i < fieldCount; ++i)
        l << text(i);
    return l;
}
