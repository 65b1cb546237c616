#include "search/searchquery.h"

#include "capture/capturerow.h"
#include "capture/healthfinding.h"
#include "capture/hexdigits.h"

#include <QStringList>

QStringList SearchQuery::splitWords(const QString &text)
{
    QStringList words;
    QString word;
    bool quoted = false, any = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (c.isSpace() && !quoted) {
            if (any)
                words << word;
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any)
        words << word;
    return words;
}

namespace {
// Length of a "0x" / "0X" prefix at text[at], as the CSV export writes before
// every address and byte: 2 or 0.
int hexPrefixLength(const QByteArray &text, int at)
{
    return at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')
               ? 2
               : 0;
}

// "12,34", "12 34", "1234", "5" or with "0x" before a group ("0x12,0x34") as
// "12 34" / "05"; false for anything else.
bool bytesFromText(const QString &value, std::string *out)
{
    out->clear();
    // Non-Latin-1 characters become '?', which is no hex digit.
    const QByteArray text = value.toLatin1();
    for (int i = 0; i <= text.size(); ++i) {
        const int prefix = hexPrefixLength(text, i);
        const int groupStart = i += prefix;
        while (i < text.size() && text[i] != ' ' && text[i] != ',') {
            if (hexDigitValue(text[i]) < 0)
                return false;
            ++i;
        }
        // A group of one digit is one byte; otherwise it must be whole bytes.
        // A prefix needs digits after it.
        const int digits = i - groupStart;
        if ((digits % 2 && digits != 1) || (prefix && !digits))
            return false;
        for (int k = groupStart; k < i; k += 2) {
            const int value = digits == 1
                                  ? hexDigitValue(text[k])
                                  : hexDigitValue(text[k]) << 4 | hexDigitValue(text[k + 1]);
            char pair[2];
            putHexByte(pair, uint8_t(value));
            if (!out->empty())
                *out += ' ';
            out->append(pair, 2);
        }
    }
    return !out->empty();
}

// "50", "5" or "0x50": a 7-bit address; -1 for anything else.
int addressFromText(const QString &value)
{
    const QByteArray text = value.toLatin1();
    const int prefix = hexPrefixLength(text, 0);
    const int digits = int(text.size()) - prefix;
    if (digits < 1 || digits > 2)
        return -1;
    int a = 0;
    for (int k = prefix; k < text.size(); ++k) {
        const int d = hexDigitValue(text[k]);
        if (d < 0)
            return -1;
        a = a << 4 | d;
    }
    return a <= 0x7F ? a : -1;
}

template <typename Enum> void setBit(uint8_t *mask, Enum value)
{
    *mask |= uint8_t(1u << unsigned(value));
}

template <typename Enum> bool inMask(uint8_t mask, Enum value)
{
    return (mask >> unsigned(value)) & 1u;
}
} // namespace

bool SearchQuery::parse(const QString &text, QString *error)
{
    *this = SearchQuery();
    const QStringList words = splitWords(text);
    if (words.isEmpty()) {
        *error = QStringLiteral("请输入查找条件");
        return false;
    }
    return parseWords(words, error);
}

bool SearchQuery::parseWords(const QStringList &words, QString *error)
{
    *this = SearchQuery();
    for (const QString &word : words) {
        if (!parseWord(word, error)) {
            *this = SearchQuery();
            return false;
        }
    }
    // The rarest text a line must hold: a byte sequence appears in the data
    // field as written; a label only inside it.
    m_needle = !m_bytes.empty() ? m_bytes : m_label;
    return true;
}

bool SearchQuery::parseWord(const QString &word, QString *error)
{
    const int eq = word.indexOf(QLatin1Char('='));
    if (eq < 0) {
        const std::string upper = word.toUpper().toStdString();
        CaptureRow::Type type;
        CaptureRow::Direction direction;
        CaptureRow::Response response;
        if (CaptureRow::typeFromText(upper, &type))
            setBit(&m_types, type);
        else if (upper != "--" && CaptureRow::directionFromText(upper, &direction))
            setBit(&m_directions, direction);
        else if (upper != "--" && CaptureRow::responseFromText(upper, &response))
            setBit(&m_responses, response);
        else if (upper == "ERR")
            setBit(&m_severities, HealthFinding::Severity::Error);
        else if (upper == "WARN")
            setBit(&m_severities, HealthFinding::Severity::Warning);
        else {
            *error = QStringLiteral("无法识别的查找条件：%1").arg(word);
            return false;
        }
        return true;
    }
    const QString key = word.left(eq).toLower();
    const QString value = word.mid(eq + 1);
    if (key == QLatin1String("addr") || key == QStringLiteral("地址")) {
        const int a = addressFromText(value);
        if (a < 0) {
            *error = QStringLiteral("地址应为 00 到 7F 的十六进制数：%1").arg(value);
            return false;
        }
        m_anyAddress = false;
        m_addresses[a >> 6] |= uint64_t(1) << (a & 63);
        return true;
    }
    if (key == QLatin1String("data") || key == QStringLiteral("数据")) {
        if (!m_bytes.empty()) {
            *error = QStringLiteral("数据只能指定一次");
            return false;
        }
        if (!bytesFromText(value, &m_bytes)) {
            *error = QStringLiteral("数据应为十六进制字节，例如 data=12,34：%1").arg(value);
            return false;
        }
        return true;
    }
    if (key == QLatin1String("label") || key == QStringLiteral("标签")) {
        if (!m_label.empty()) {
            *error = QStringLiteral("标签只能指定一次");
            return false;
        }
        if (value.isEmpty()) {
            *error = QStringLiteral("标签文字不能为空");
            return false;
        }
        m_label = value.toStdString();
        return true;
    }
    if (key == QLatin1String("flag") || key == QStringLiteral("问题")) {
        HealthFinding::Kind kind;
        if (!HealthFinding::kindFromName(value.toLower().toStdString(), &kind)) {
            *error = QStringLiteral("未知的总线问题类型：%1（例如 flag=t-low）").arg(value);
            return false;
        }
        m_healthKinds |= HealthFinding::kindBit(kind);
        return true;
    }
    if (key == QLatin1String("reg") || key == QStringLiteral("寄存器")) {
        // Registers are decoded per transaction, which single rows are not.
        *error =
            QStringLiteral("reg= 只能在事务视图中使用（操作 → 事务视图，Ctrl+T）：%1").arg(word);
        return false;
    }
    *error = QStringLiteral("无法识别的查找条件：%1").arg(word);
    return false;
}

bool SearchQuery::matches(std::string_view line) const
{
    StoredLine fields;
    return fields.parse(line) && matches(fields);
}

bool SearchQuery::matches(const StoredLine &line) const
{
    // The same readings of the fields as the block summaries, so a skipped
    // block never held a match.
    if (m_types) {
        CaptureRow::Type t;
        if (!CaptureRow::typeFromText(line.field(StoredLine::Type), &t) || !inMask(m_types, t))
            return false;
    }
    if (m_directions) {
        CaptureRow::Direction d;
        if (!CaptureRow::directionFromText(line.field(StoredLine::Direction), &d) ||
            !inMask(m_directions, d))
            return false;
    }
    if (m_responses) {
        CaptureRow::Response r;
        if (!CaptureRow::responseFromText(line.field(StoredLine::Response), &r) ||
            !inMask(m_responses, r))
            return false;
    }
    if (!m_anyAddress) {
        uint8_t a;
        if (!CaptureRow::addressFromText(line.field(StoredLine::Address), &a) ||
            !((m_addresses[a >> 6] >> (a & 63)) & 1u))
            return false;
    }
    const std::string_view data = line.field(StoredLine::Data);
    return (m_bytes.empty() || dataMatches(data)) && (m_label.empty() || labelMatches(data));
}

bool SearchQuery::mayMatch(const BlockSummary &block) const
{
    return (!m_types || (m_types & block.types)) &&
           (!m_directions || (m_directions & block.directions)) &&
           (!m_responses || (m_responses & block.responses)) &&
           (m_anyAddress || (m_addresses[0] & block.addresses[0]) ||
            (m_addresses[1] & block.addresses[1])) &&
           healthMatches(block.healthKinds, block.healthSeverities);
}

bool SearchQuery::dataMatches(std::string_view data) const
{
    // Bytes end where the labels begin; the sequence must stand on whole
    // bytes ("12 34" is not in "112 345").
    const std::string_view bytes = data.substr(0, data.find(" ["));
    for (size_t at = bytes.find(m_bytes); at != std::string_view::npos;
         at = bytes.find(m_bytes, at + 1)) {
        const size_t end = at + m_bytes.size();
        if ((at == 0 || bytes[at - 1] == ' ') && (end == bytes.size() || bytes[end] == ' '))
            return true;
    }
    return false;
}

bool SearchQuery::labelMatches(std::string_view data) const
{
    // Labels are " [name]" each, after the bytes: the text must lie within
    // one name.
    size_t open = data.find(" [");
    while (open != std::string_view::npos) {
        const size_t next = data.find("] [", open + 2);
        const size_t close = next != std::string_view::npos ? next : data.rfind(']');
        if (close == std::string_view::npos || close < open + 2)
            return false;
        if (data.substr(open + 2, close - open - 2).find(m_label) != std::string_view::npos)
            return true;
        open = next != std::string_view::npos ? next + 1 : std::string_view::npos;
    }
    return false;
}
