// The small XML file that remembers the start dialog's channel pair and
// sample rate between runs. Widget-free so tests drive it directly.
#pragma once

#include <QString>

#include <optional>

class QIODevice;

class StartSettingsFile
{
public:
    // Indices into the dialog's lists, not rates or pin numbers.
    struct Values
    {
        int channelIndex = 0;
        int sampleRateIndex = 0;
    };

    // "<application dir>/Setting/start_setting.xml"; needs a QCoreApplication.
    static QString defaultPath();
    // "<user configuration folder>/korvex/start_setting.xml".
    static QString userPath();

    // Where the settings are read and written: beside the program while that
    // can be written. Installed where the user may not write (/usr), the
    // writes go to the user's configuration folder instead, and so do the
    // reads once a file is there; until then the program's own file is read.
    struct Location
    {
        QString read;
        QString write;
    };
    static Location locate(const QString &besideProgram = defaultPath(),
                           const QString &inUserConfig = userPath());
    // Whether the file can be written: it, or else the nearest folder above
    // it that exists, is writable (and a folder).
    static bool canWrite(const QString &path);

    // Elements nested deeper than this are refused; the file needs two.
    static constexpr int kMaxDepth = 16;

    // Nothing when the path is not a regular file (a FIFO would block), is
    // missing or unreadable, is not XML or nests too deeply; the caller
    // keeps its defaults and *errorText says why. The root's children are
    // taken by position, so a file with them swapped swaps the values; a
    // text that is not a number reads as 0. Values are returned as stored,
    // without a range check.
    static std::optional<Values> read(const QString &path, QString *errorText = nullptr);
    // Same, from an open device (parsing only, without building a tree).
    static std::optional<Values> read(QIODevice *device, QString *errorText = nullptr);

    // Creates the file's directory if needed and replaces the file; an
    // existing path that is not a regular file is refused. On failure
    // returns false and, if errorText is given, the reason.
    static bool write(const QString &path, const Values &values, QString *errorText = nullptr);
};
