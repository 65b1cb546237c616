#include "view/transactiontext.h"

#include "capture/capturerow.h"
#include "transaction/transaction.h"

#include <QStringList>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {
const QString kEllipsis = QStringLiteral("\u2026");

QString hexByte(uint8_t byte)
{
    static const char kDigits[] = "0123456789ABCDEF";
    const QChar digits[2] = {QLatin1Char(kDigits[byte >> 4]), QLatin1Char(kDigits[byte & 0xF])};
    return QString(digits, 2);
}

QString segmentName(const TransactionSegment &s)
{
    return hexByte(s.address) + (s.read ? QStringLiteral(" 读") : QStringLiteral(" 写"));
}

// The parts joined by sep, at most `max` of them in the text and the rest
// as "…"; the tooltip holds them all when the text is cut.
void setJoined(TransactionText::Cell &cell, const QStringList &parts, int max, const QString &sep,
               bool more)
{
    if (parts.size() <= max && !more) {
        cell.text = parts.join(sep);
        return;
    }
    cell.text = parts.mid(0, max).join(sep) + sep + kEllipsis;
    cell.toolTip = parts.join(sep) + (more ? sep + kEllipsis : QString());
}

// The bytes of the segments in one direction, a segment's bytes apart from
// the next one's by " | "; the cell lists kMaxCellBytes of them, the tooltip
// up to kMaxTipBytes.
void setBytes(TransactionText::Cell &cell, const Transaction &t, bool read)
{
    QString whole;
    int count = 0;
    int cellEnd = 0; // where the cell's text ends in whole
    bool cut = t.cut;
    for (const TransactionSegment &s : t.segments) {
        if (s.read != read || s.bytes.empty())
            continue;
        for (size_t i = 0; i < s.bytes.size(); ++i) {
            if (count == TransactionText::kMaxCellBytes)
                cellEnd = whole.size();
            if (count == TransactionText::kMaxTipBytes) {
                cut = true;
                break;
            }
            if (count > 0)
                whole += i == 0 ? QStringLiteral(" | ") : QStringLiteral(" ");
            whole += hexByte(s.bytes[i]);
            ++count;
        }
    }
    if (count == 0 && !cut) {
        cell.text = QStringLiteral("--");
        return;
    }
    cell.colour = RowStyle::Green;
    const bool cellCut = count > TransactionText::kMaxCellBytes;
    if (!cellCut && !cut) {
        cell.text = whole;
        return;
    }
    const QString more = QStringLiteral(" ") + kEllipsis;
    cell.text = (cellCut ? whole.left(cellEnd) : whole) + more;
    cell.toolTip = cut ? whole + more : whole;
}
} // namespace

QString TransactionText::durationText(int64_t ns)
{
    static const char *const kUnits[] = {"us", "ms", "s"};
    if (std::llabs(ns) < 1000)
        return QStringLiteral("%1 ns").arg(ns);
    double value = double(ns) / 1000;
    int unit = 0;
    while (unit < 2 && std::abs(value) >= 1000) {
        value /= 1000;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 3).arg(QLatin1String(kUnits[unit]));
}

TransactionText::Cells TransactionText::cells(const Transaction &t,
                                              const HealthLog::LineFlags &health,
                                              const TransactionDecoration::Output *decoded)
{
    Cells c;
    c[TransactionColumn::Number].text = QString::number(t.number + 1);
    c[TransactionColumn::FirstRow].text = QString::number(t.firstLine);
    std::string time;
    CaptureRow::appendTimestampText(time, t.startNs);
    c[TransactionColumn::Start].text = QString::fromLatin1(time.data(), int(time.size()));
    c[TransactionColumn::Duration].text = durationText(t.durationNs);

    QStringList segments, nacks;
    for (const TransactionSegment &s : t.segments) {
        segments << segmentName(s);
        if (s.addressNacked)
            nacks << QStringLiteral("地址 NACK（%1）").arg(segmentName(s));
        else if (s.nackedByte >= 0)
            nacks << QStringLiteral("第 %1 字节 NACK（%2）")
                         .arg(s.nackedByte + 1)
                         .arg(segmentName(s));
    }
    Cell &seg = c[TransactionColumn::Segments];
    if (segments.isEmpty() && !t.cut)
        seg.text = QStringLiteral("--");
    else
        setJoined(seg, segments, kMaxCellSegments, QStringLiteral(" → "), t.cut);
    seg.colour = segments.isEmpty() ? RowStyle::White : RowStyle::Orange;

    setBytes(c[TransactionColumn::Written], t, false);
    setBytes(c[TransactionColumn::Read], t, true);

    Cell &ack = c[TransactionColumn::Ack];
    if (nacks.isEmpty()) {
        ack.text = segments.isEmpty() ? QStringLiteral("--") : QStringLiteral("ACK");
        ack.colour = segments.isEmpty() ? RowStyle::White : RowStyle::LightGreen;
    } else {
        setJoined(ack, nacks, 1, QStringLiteral("，"), false);
        const bool address = nacks.first().startsWith(QStringLiteral("地址"));
        ack.colour = address ? RowStyle::Pink : RowStyle::OliveGreen;
    }

    QStringList labels;
    for (const std::string &label : t.labels)
        labels << QString::fromUtf8(label.data(), int(label.size()));
    if (labels.isEmpty())
        c[TransactionColumn::Labels].text = QStringLiteral("--");
    else
        setJoined(c[TransactionColumn::Labels], labels, kMaxCellSegments, QStringLiteral(" "),
                  false);

    QStringList status;
    if (t.status & Transaction::Open)
        status << QStringLiteral("未结束");
    if (t.status & Transaction::NoStart)
        status << QStringLiteral("无 START");
    if (t.status & Transaction::NoStop)
        status << QStringLiteral("无 STOP");
    for (int k = 0; k < HealthFinding::kKindCount; ++k) {
        const auto kind = HealthFinding::Kind(k);
        if (health.kinds & HealthFinding::kindBit(kind)) {
            const std::string_view name = HealthFinding::kindName(kind);
            status << QString::fromUtf8(name.data(), int(name.size()));
        }
    }
    const HealthFinding::Severity worst = HealthFinding::worstSeverity(health.severities);
    Cell &st = c[TransactionColumn::Status];
    st.text = status.isEmpty() ? QStringLiteral("--") : status.join(QStringLiteral("，"));
    st.colour = (t.status & (Transaction::NoStart | Transaction::NoStop)) ||
                        worst == HealthFinding::Severity::Error
                    ? RowStyle::Red
                : worst == HealthFinding::Severity::Warning
                    ? RowStyle::Orange
                    : ((t.status & Transaction::Open) ? RowStyle::Teal : RowStyle::White);

    if (decoded && !decoded->text.empty()) {
        Cell &cell = c[TransactionColumn::Decoded];
        const QString text = QString::fromStdString(decoded->text);
        cell.text = text.size() > kMaxDecodedChars ? text.left(kMaxDecodedChars) + kEllipsis : text;
        // The whole text, then each register's place, raw value and fields.
        cell.toolTip = decoded->details.empty() && text.size() <= kMaxDecodedChars
                           ? QString()
                           : text + QStringLiteral("\n\n") +
                                 QString::fromStdString(decoded->details).trimmed();
        // A value shown raw (out of its range, not BCD) stands out as a warning does.
        cell.colour = decoded->marked ? RowStyle::Orange : RowStyle::White;
    }
    return c;
}
