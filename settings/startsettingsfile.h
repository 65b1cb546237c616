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

    // Nothing when the file is missing, unreadable or not XML; the caller
    // keeps its defaults. The root's children are taken by position, so a
    // file with them swapped swaps the values; a text that is not a number
    // reads as 0. Values are returned as stored, without a range check.
    static std::optional<Values> read(const QString &path);
    // Same, from an open device (parsing only).
    static std::optional<Values> read(QIODevice *device);

    // Creates the file's directory if needed and replaces the file. On
    // failure returns false and, if errorText is given, the system's reason.
    static bool write(const QString &path, const Values &values, QString *errorText = nullptr);
};
