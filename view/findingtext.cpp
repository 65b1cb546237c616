#include "view/findingtext.h"

#include <korvex/korvexhealth.h>

#include <QRegularExpression>
#include <QStringList>

QString FindingText::severityText(HealthFinding::Severity s)
{
    switch (s) {
    case HealthFinding::Severity::Error:
        return QStringLiteral("错误");
    case HealthFinding::Severity::Warning:
        return QStringLiteral("警告");
    case HealthFinding::Severity::Info:
        return QStringLiteral("提示");
    case HealthFinding::Severity::Unresolved:
        return QStringLiteral("无法判断");
    default:
        return QString();
    }
}

QString FindingText::durationText(int64_t ns)
{
    if (ns < 0)
        return QStringLiteral("—");
    if (ns < 1000)
        return QStringLiteral("%1 ns").arg(ns);
    // Three significant digits are as many as one sample can vouch for.
    const double v = double(ns);
    const auto scaled = [](double x, const char *unit) {
        return QString::number(x, 'f',
                               x < 10    ? 2
                               : x < 100 ? 1
                                         : 0) +
               QLatin1Char(' ') + QString::fromUtf8(unit);
    };
    if (ns < 1000000)
        return scaled(v / 1e3, "µs");
    if (ns < 1000000000)
        return scaled(v / 1e6, "ms");
    return scaled(v / 1e9, "s");
}

QString FindingText::modeText(int mode)
{
    switch (mode) {
    case KORVEX_HEALTH_MODE_AUTO:
        return QStringLiteral("自动");
    case KORVEX_HEALTH_MODE_SM:
        return QStringLiteral("标准模式 (100 kHz)");
    case KORVEX_HEALTH_MODE_FM:
        return QStringLiteral("快速模式 (400 kHz)");
    case KORVEX_HEALTH_MODE_FMPLUS:
        return QStringLiteral("增强快速模式 (1 MHz)");
    case KORVEX_HEALTH_MODE_SMBUS:
        return QStringLiteral("SMBus");
    default:
        return QStringLiteral("未知");
    }
}

QString FindingText::describe(const HealthFinding &f)
{
    const std::string_view kind = HealthFinding::kindName(f.kind);
    QString text = severityText(f.severity) + QLatin1Char(' ') +
                   QString::fromLatin1(kind.data(), int(kind.size()));
    QStringList parts;
    if (f.measuredNs >= 0)
        parts << QStringLiteral("测得 %1").arg(durationText(f.measuredNs));
    if (f.limitNs >= 0)
        parts << QStringLiteral("限值 %1").arg(durationText(f.limitNs));
    if (!parts.isEmpty()) {
        text += QStringLiteral("：") + parts.join(QStringLiteral("，"));
        if (f.resolutionNs > 0)
            text += QStringLiteral("（±%1）").arg(durationText(f.resolutionNs));
    }
    if (!f.detail.empty())
        text += (parts.isEmpty() ? QStringLiteral("：") : QStringLiteral("；")) +
                QString::fromUtf8(f.detail.data(), int(f.detail.size()));
    return text;
}

QString FindingText::tooltip(const std::vector<HealthFinding> &findings, size_t first, size_t end)
{
    QStringList lines;
    for (size_t i = first; i < end && i < findings.size(); ++i) {
        if (size_t(lines.size()) == kMaxTipLines) {
            lines << QStringLiteral("…（共 %1 项）").arg(end - first);
            break;
        }
        lines << describe(findings[i]);
    }
    return lines.join(QLatin1Char('\n'));
}

QColor FindingText::markerColor(HealthFinding::Severity s)
{
    switch (s) {
    case HealthFinding::Severity::Error:
        return QColor(0xE5, 0x39, 0x35);
    case HealthFinding::Severity::Warning:
        return QColor(0xFB, 0x8C, 0x00);
    case HealthFinding::Severity::Info:
        return QColor(0x1E, 0x88, 0xE5);
    default:
        return QColor(0x9E, 0x9E, 0x9E);
    }
}

bool FindingText::addressListFromText(const QString &text, QVector<int> *out)
{
    QVector<int> addresses;
    for (const QString &word :
         text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int a = word.toInt(&ok, 16); // takes a "0x" before the digits too
        if (!ok || a < 0 || a > 0x7F)
            return false;
        addresses << a;
    }
    *out = addresses;
    return true;
}
