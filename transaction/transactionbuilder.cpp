#include "transaction/transactionbuilder.h"

#include "capture/hexdigits.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int64_t kDayNs = 24LL * 3600 * 1000000000;

int64_t timeOf(std::string_view text)
{
    int64_t t = 0;
    return CaptureRow::timestampFromText(text, &t) ? t : 0;
}
} // namespace

TransactionBuilder::TransactionBuilder(qint64 maxLines) : m_maxLines(std::max<qint64>(maxLines, 1))
{
}

CaptureRow::Type TransactionBuilder::typeOf(const StoredLine &line)
{
    CaptureRow::Type t;
    return CaptureRow::typeFromText(line.field(StoredLine::Type), &t) ? t : CaptureRow::Type::Start;
}

bool TransactionBuilder::begins(const StoredLine &line) const
{
    TransactionState state = m_state;
    return beginsTransaction(&state, typeOf(line));
}

void TransactionBuilder::start(qint64 number, qint64 firstLine)
{
    for (TransactionSegment &s : m_tx.segments) {
        s.bytes.clear();
        m_spareBytes.push_back(std::move(s.bytes));
    }
    m_tx.segments.clear();
    m_tx.labels.clear();
    m_tx.number = number;
    m_tx.firstLine = firstLine;
    m_tx.lineCount = 0;
    m_tx.startNs = m_tx.durationNs = 0;
    m_tx.status = Transaction::Closed;
    m_tx.cut = false;
    m_started = true;
    m_inSegment = false;
    m_lastTimeSize = 0;
}

void TransactionBuilder::reset()
{
    start(0, 0);
    m_started = false;
    m_state = TransactionState::Outside;
}

TransactionSegment &TransactionBuilder::newSegment()
{
    m_tx.segments.emplace_back();
    TransactionSegment &s = m_tx.segments.back();
    if (!m_spareBytes.empty()) {
        s.bytes = std::move(m_spareBytes.back());
        m_spareBytes.pop_back();
    }
    m_inSegment = true;
    return s;
}

void TransactionBuilder::add(const StoredLine &line)
{
    const CaptureRow::Type type = typeOf(line);
    beginsTransaction(&m_state, type);
    const std::string_view time = line.field(StoredLine::Timestamp);
    if (m_tx.lineCount == 0) {
        m_tx.startNs = timeOf(time);
        if (type != CaptureRow::Type::Start)
            m_tx.status |= Transaction::NoStart;
    }
    m_lastTimeSize = std::min(time.size(), sizeof m_lastTime);
    std::memcpy(m_lastTime, time.data(), m_lastTimeSize);
    m_lastType = type;
    if (++m_tx.lineCount > m_maxLines) {
        m_tx.cut = true;
        return;
    }
    const bool nacked = line.is(CaptureRow::Response::Nack);
    switch (type) {
    case CaptureRow::Type::Start:
    case CaptureRow::Type::Stop:
        m_inSegment = false;
        break;
    case CaptureRow::Type::Addr: {
        TransactionSegment &s = newSegment();
        CaptureRow::addressFromText(line.field(StoredLine::Address), &s.address);
        s.read = line.is(CaptureRow::Direction::Read);
        s.addressNacked = nacked;
        break;
    }
    case CaptureRow::Type::Data:
        // Bytes without their address row (a capture begun mid-transfer)
        // take the address and direction their own row names.
        if (!m_inSegment) {
            TransactionSegment &s = newSegment();
            CaptureRow::addressFromText(line.field(StoredLine::Address), &s.address);
            s.read = line.is(CaptureRow::Direction::Read);
        }
        break;
    }
    addData(line.field(StoredLine::Data),
            type == CaptureRow::Type::Data ? &m_tx.segments.back() : nullptr, nacked);
}

void TransactionBuilder::addData(std::string_view data, TransactionSegment *segment, bool nacked)
{
    // Bytes and " [name]" labels, in any order: a merge may add bytes after
    // a label the line already held.
    size_t i = 0;
    while (i < data.size()) {
        if (data[i] == ' ') {
            ++i;
            continue;
        }
        if (data[i] == '[') {
            // The name runs to the "]" that ends the field or precedes the
            // next word.
            size_t close = data.find("] ", i + 1);
            if (close == std::string_view::npos)
                close = data.back() == ']' ? data.size() - 1 : data.size();
            m_tx.labels.emplace_back(data.substr(i + 1, close - i - 1));
            i = close + 2;
            continue;
        }
        // Words are two characters, found in place faster than by find().
        size_t end = i;
        while (end < data.size() && data[end] != ' ')
            ++end;
        const int hi = end - i == 2 ? hexDigitValue(data[i]) : -1;
        const int lo = hi >= 0 ? hexDigitValue(data[i + 1]) : -1;
        if (lo >= 0 && segment) {
            if (nacked && segment->nackedByte < 0)
                segment->nackedByte = int(segment->bytes.size());
            segment->bytes.push_back(uint8_t(hi << 4 | lo));
        }
        i = end;
    }
}

const Transaction &TransactionBuilder::finish(bool nextBegun)
{
    if (m_tx.lineCount > 0) {
        int64_t d = timeOf(std::string_view(m_lastTime, m_lastTimeSize)) - m_tx.startNs;
        // The timestamp text wraps at 24 h: a later row may read earlier.
        if (d < 0)
            d += kDayNs;
        m_tx.durationNs = d;
        if (m_lastType != CaptureRow::Type::Stop)
            m_tx.status |= nextBegun ? Transaction::NoStop : Transaction::Open;
    }
    return m_tx;
}
