#include "transaction/transactionquery.h"

#include "capture/hexdigits.h"

#include <QStringList>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {
template <typename Enum> bool has(uint8_t mask, Enum value)
{
    return (mask >> unsigned(value)) & 1u;
}

bool anyNack(const Transaction &t)
{
    return std::any_of(t.segments.begin(), t.segments.end(), [](const TransactionSegment &s) {
        return s.addressNacked || s.nackedByte >= 0;
    });
}

bool anyBytes(const Transaction &t)
{
    return std::any_of(t.segments.begin(), t.segments.end(),
                       [](const TransactionSegment &s) { return !s.bytes.empty(); });
}
} // namespace

bool TransactionQuery::parse(const QString &text, QString *error)
{
    *this = TransactionQuery();
    const QStringList words = SearchQuery::splitWords(text);
    if (words.isEmpty()) {
        *error = QStringLiteral("请输入查找条件");
        return false;
    }
    QStringList rest;
    for (const QString &word : words) {
        int op = 0;
        while (op < word.size() && word[op] != QLatin1Char('<') && word[op] != QLatin1Char('>'))
            ++op;
        const QString key = word.left(op).toLower();
        const int eq = word.indexOf(QLatin1Char('='));
        const QString name = word.left(eq).toLower();
        if (eq > 0 && (name == QLatin1String("reg") || name == QStringLiteral("寄存器"))) {
            if (eq + 1 == word.size()) {
                *error = QStringLiteral("寄存器名不能为空，例如 reg=Seconds");
                *this = TransactionQuery();
                return false;
            }
            m_registers.push_back(word.mid(eq + 1).toLower().toStdString());
        } else if (op < word.size() &&
                   (key == QLatin1String("dur") || key == QStringLiteral("时长"))) {
            if (!parseDuration(key, word.mid(op), error)) {
                *this = TransactionQuery();
                return false;
            }
        } else {
            rest << word;
        }
    }
    if (!m_words.parseWords(rest, error)) {
        *this = TransactionQuery();
        return false;
    }
    for (size_t i = 0; i + 1 < m_words.bytes().size(); i += 3)
        m_bytes.push_back(uint8_t(hexDigitValue(m_words.bytes()[i]) << 4 |
                                  hexDigitValue(m_words.bytes()[i + 1])));
    return true;
}

bool TransactionQuery::parseDuration(const QString &key, const QString &limitText, QString *error)
{
    const bool longer = limitText[0] == QLatin1Char('>');
    const QString value = limitText.mid(1).toLower();
    static const struct
    {
        const char *unit;
        double ns;
    } kUnits[] = {{"ns", 1}, {"us", 1e3}, {"ms", 1e6}, {"s", 1e9}};
    double ns = -1;
    for (const auto &u : kUnits) {
        if (value.endsWith(QLatin1String(u.unit))) {
            bool ok = false;
            const double v = value.left(value.size() - int(qstrlen(u.unit))).toDouble(&ok);
            if (ok && v >= 0 && v * u.ns < 9.2e18)
                ns = v * u.ns;
            break;
        }
    }
    if (ns < 0) {
        *error = QStringLiteral("时长应为数字加单位（ns、us、ms、s），例如 dur>5ms：%1")
                     .arg(key + limitText);
        return false;
    }
    int64_t &limit = longer ? m_longerThanNs : m_shorterThanNs;
    if (limit >= 0) {
        *error = QStringLiteral("时长上限和下限各只能指定一次");
        return false;
    }
    limit = int64_t(std::llround(ns));
    return true;
}

bool TransactionQuery::matches(const Transaction &t,
                               const TransactionDecoration::Output *decoded) const
{
    if (!m_registers.empty() &&
        (!decoded || std::none_of(decoded->registers.begin(), decoded->registers.end(),
                                  [this](const std::string &name) { return asked(name); })))
        return false;
    if (m_longerThanNs >= 0 && !(t.durationNs > m_longerThanNs))
        return false;
    if (m_shorterThanNs >= 0 && !(t.durationNs < m_shorterThanNs))
        return false;
    if (const uint8_t types = m_words.types()) {
        const bool ok =
            (has(types, CaptureRow::Type::Start) && !(t.status & Transaction::NoStart)) ||
            (has(types, CaptureRow::Type::Stop) &&
             !(t.status & (Transaction::Open | Transaction::NoStop))) ||
            (has(types, CaptureRow::Type::Addr) && !t.segments.empty()) ||
            (has(types, CaptureRow::Type::Data) && anyBytes(t));
        if (!ok)
            return false;
    }
    if (const uint8_t directions = m_words.directions()) {
        const bool ok = std::any_of(
            t.segments.begin(), t.segments.end(), [directions](const TransactionSegment &s) {
                return has(directions,
                           s.read ? CaptureRow::Direction::Read : CaptureRow::Direction::Write);
            });
        if (!ok)
            return false;
    }
    if (const uint8_t responses = m_words.responses()) {
        const bool nack = anyNack(t);
        if (!((has(responses, CaptureRow::Response::Nack) && nack) ||
              (has(responses, CaptureRow::Response::Ack) && !nack && !t.segments.empty())))
            return false;
    }
    if (!m_words.anyAddress() &&
        std::none_of(t.segments.begin(), t.segments.end(),
                     [this](const TransactionSegment &s) { return m_words.hasAddress(s.address); }))
        return false;
    if (!m_bytes.empty() &&
        std::none_of(t.segments.begin(), t.segments.end(),
                     [this](const TransactionSegment &s) { return bytesMatch(s.bytes); }))
        return false;
    const std::string &label = m_words.label();
    return label.empty() ||
           std::any_of(t.labels.begin(), t.labels.end(),
                       [&label](const std::string &name) {
                           return name.find(label) != std::string::npos;
                       }) ||
           (decoded && decoded->text.find(label) != std::string::npos);
}

bool TransactionQuery::asked(const std::string &name) const
{
    // Register names are ASCII: compared without case, as typed.
    return std::any_of(m_registers.begin(), m_registers.end(), [&name](const std::string &r) {
        return r.size() == name.size() &&
               std::equal(r.begin(), r.end(), name.begin(), [](char a, char b) {
                   return a == char(std::tolower(static_cast<unsigned char>(b)));
               });
    });
}

bool TransactionQuery::onlyNacks() const
{
    return m_words.responses() == 1u << unsigned(CaptureRow::Response::Nack) && !m_words.types() &&
           !m_words.directions() && m_words.anyAddress() && m_bytes.empty() &&
           m_words.label().empty() && m_registers.empty() && !m_words.needsHealth() &&
           m_longerThanNs < 0 && m_shorterThanNs < 0;
}

bool TransactionQuery::bytesMatch(const std::vector<uint8_t> &bytes) const
{
    return std::search(bytes.begin(), bytes.end(), m_bytes.begin(), m_bytes.end()) != bytes.end();
}

bool TransactionQuery::mayMatch(const BlockSummary &rows) const
{
    // What rows a match needs: a segment needs an address or data row, a
    // byte a data row, START and STOP their rows, "all acknowledged" an ACK.
    using T = CaptureRow::Type;
    uint8_t types = m_words.types();
    if (has(types, T::Addr))
        types |= uint8_t(1u << unsigned(T::Data));
    if (!m_bytes.empty() && !(rows.types & (1u << unsigned(T::Data))))
        return false;
    const uint64_t(&a)[2] = m_words.addresses();
    return (!types || (types & rows.types)) &&
           (!m_words.directions() || (m_words.directions() & rows.directions)) &&
           (!m_words.responses() || (m_words.responses() & rows.responses)) &&
           (m_words.anyAddress() || (a[0] & rows.addresses[0]) || (a[1] & rows.addresses[1]));
}
