// How bus health findings read in the window: severities, durations, modes
// and one finding as a line of text (the row tooltip, the panel), and the
// colour of a row's marker.
#pragma once

#include "capture/healthfinding.h"

#include <QColor>
#include <QString>
#include <QVector>

#include <vector>

class FindingText
{
public:
    // "错误", "警告", "提示", "无法判断".
    static QString severityText(HealthFinding::Severity s);
    // "850 ns", "1.30 µs", "65.0 ms", "2.50 s"; "—" for a negative (none).
    static QString durationText(int64_t ns);
    // "自动", "标准模式 (100 kHz)", ... for KORVEX_HEALTH_MODE_*.
    static QString modeText(int mode);
    static constexpr int kModeCount = 5;
    // "错误 t-low：测得 1.00 µs，限值 1.30 µs（±250 ns）；detail".
    static QString describe(const HealthFinding &f);
    // One line per finding, for a row's tooltip; at most kMaxTipLines, then "…".
    static QString tooltip(const std::vector<HealthFinding> &findings, size_t first, size_t end);
    static constexpr size_t kMaxTipLines = 12;
    // "0B,50" or "0x0b 50": 7-bit addresses (hex) separated by commas or
    // spaces, in *out; false (out unchanged) for anything else. "" is none.
    static bool addressListFromText(const QString &text, QVector<int> *out);
    // The marker of a row whose worst finding has this severity.
    static QColor markerColor(HealthFinding::Severity s);
};
