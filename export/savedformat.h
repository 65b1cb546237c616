// Formats of a saved capture and how a file name selects one.
#pragma once

#include <QString>

enum class SavedFormat {
    None, // no known extension: Save writes nothing at all
    Text, // fixed-width table
    Csv,
    Html, // written only; there is no reader for it
};

// Save: the lower-cased path containing ".txt" anywhere gives Text, else
// ".csv" gives Csv, else ".html" gives Html, else None.
SavedFormat savedFormatForSave(const QString &path);

// Open: the lower-cased path containing ".txt" anywhere gives Text; every
// other path is read as Csv.
SavedFormat savedFormatForOpen(const QString &path);

// The name Save writes to: `path` itself when it selects a format, else
// `path` with the extension of the chosen dialog filter (as "Text (*.txt)"),
// or ".txt", the first filter's, when the filter names none.
QString savedFileName(const QString &path, const QString &selectedFilter);
