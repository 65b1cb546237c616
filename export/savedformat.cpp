#include "export/savedformat.h"

#include <QRegularExpression>

SavedFormat savedFormatForSave(const QString &path)
{
    const QString lower = path.toLower();
    if (lower.contains(QLatin1String(".txt")))
        return SavedFormat::Text;
    if (lower.contains(QLatin1String(".csv")))
        return SavedFormat::Csv;
    if (lower.contains(QLatin1String(".html")))
        return SavedFormat::Html;
    return SavedFormat::None;
}

SavedFormat savedFormatForOpen(const QString &path)
{
    return path.toLower().contains(QLatin1String(".txt")) ? SavedFormat::Text : SavedFormat::Csv;
}

QString savedFileName(const QString &path, const QString &selectedFilter)
{
    if (savedFormatForSave(path) != SavedFormat::None)
        return path;
    static const QRegularExpression kPattern(QStringLiteral("\\(\\*(\\.\\w+)\\)"));
    const QRegularExpressionMatch m = kPattern.match(selectedFilter);
    return path + (m.hasMatch() ? m.captured(1) : QStringLiteral(".txt"));
}
