// Opens a file only when it is a regular file. A FIFO blocks open() until a
// writer (or reader) comes and a device may never end, so either would
// freeze the window that asked; both are refused before anything waits.
#pragma once

#include <QString>

class QFile;

class RegularFile
{
public:
    // The reason given when the path names something other than a regular file.
    static QString notRegularText();

    // Opens file (not yet open) on path read-only in text mode. On failure
    // returns false and sets *errorString to the system's reason or
    // notRegularText().
    static bool openForReading(QFile &file, const QString &path, QString *errorString = nullptr);
    // Opens file on path write-only in text mode, replacing its content;
    // creates it when missing. Refuses, leaving it as it was, anything that
    // exists but is not a regular file.
    static bool openForWriting(QFile &file, const QString &path, QString *errorString = nullptr);
};
