#include "transaction/transactioncsv.h"

#include "capture/capturerow.h"
#include "capture/hexdigits.h"

namespace {
void appendHex(std::string &out, uint8_t b)
{
    char pair[2];
    putHexByte(pair, b);
    out.append(pair, 2);
}

void appendNumber(std::string &out, long long n)
{
    out += std::to_string(n);
}

void appendAddress(std::string &out, const TransactionSegment &s)
{
    appendHex(out, s.address);
    out += s.read ? 'R' : 'W';
}
} // namespace

void TransactionCsv::appendField(std::string &out, std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void TransactionCsv::appendSegments(std::string &out, const Transaction &t)
{
    for (size_t k = 0; k < t.segments.size(); ++k) {
        const TransactionSegment &s = t.segments[k];
        if (k > 0)
            out += '|';
        appendAddress(out, s);
        if (s.addressNacked)
            out += '*';
        out += ':';
        for (size_t i = 0; i < s.bytes.size(); ++i) {
            if (i > 0)
                out += ' ';
            appendHex(out, s.bytes[i]);
            if (int(i) == s.nackedByte)
                out += '*';
        }
    }
}

void TransactionCsv::appendRow(std::string &out, const Transaction &t)
{
    appendNumber(out, t.number + 1);
    out += ',';
    appendNumber(out, t.firstLine);
    out += ',';
    appendNumber(out, t.lineCount);
    out += ',';
    CaptureRow::appendTimestampText(out, t.startNs);
    out += ',';
    appendNumber(out, t.durationNs);
    out += ',';
    // Hex, ':', '*', '|' and spaces only: never quoted.
    appendSegments(out, t);
    out += ',';
    for (const TransactionSegment &s : t.segments) {
        if (s.addressNacked || s.nackedByte >= 0) {
            out += "NACK ";
            appendAddress(out, s);
            if (!s.addressNacked) {
                out += '#';
                appendNumber(out, s.nackedByte + 1);
            }
            break;
        }
        if (&s == &t.segments.back())
            out += "ACK";
    }
    out += ',';
    static constexpr struct
    {
        uint8_t flag;
        std::string_view text;
    } kStatus[] = {{Transaction::Open, "open"},
                   {Transaction::NoStart, "no-start"},
                   {Transaction::NoStop, "no-stop"}};
    const size_t statusAt = out.size();
    for (const auto &s : kStatus) {
        if (t.status & s.flag) {
            if (out.size() > statusAt)
                out += ' ';
            out += s.text;
        }
    }
    if (t.cut)
        out += out.size() > statusAt ? " cut" : "cut";
    if (out.size() == statusAt)
        out += "closed";
    out += ',';
    std::string labels;
    for (const std::string &name : t.labels) {
        if (!labels.empty())
            labels += ' ';
        labels += '[';
        labels += name;
        labels += ']';
    }
    appendField(out, labels);
    out += "\r\n";
}
