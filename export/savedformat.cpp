#include "savedformat.h"

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
