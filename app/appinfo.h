// Contact and version details shown by Help and About. Kept in one place so
// a rebranded build changes them here only.
#pragma once

#include <QString>

namespace AppInfo {
inline constexpr char kWebAddress[] = "https://korvex.example.com";
inline constexpr char kSupportContact[] = "400-820-0000";
inline constexpr char kVersionText[] = "v1.1.6";

// The Help box's rich text: the web site and the support contact.
inline QString helpText()
{
    const QString web = QString::fromLatin1(kWebAddress);
    return QStringLiteral("官方网站") + QStringLiteral("<span style=\"font-size:12px;\"></span>") +
           QStringLiteral("：") + QStringLiteral("<a href=\"%1\">%1</a>").arg(web) +
           QStringLiteral("<br>") + QStringLiteral("技术支持：") +
           QString::fromLatin1(kSupportContact) + QStringLiteral("<br>");
}

// The About box's: the same, then the version.
inline QString aboutText()
{
    return helpText() + QStringLiteral("版本信息：") + QString::fromLatin1(kVersionText);
}
} // namespace AppInfo
