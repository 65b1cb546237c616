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
