// Reads a device profile file: XML, root element DeviceProfile (the format
// is documented in the README). The reader is strict, because a profile
// that loads wrongly decodes wrongly without a word: an unknown element or
// attribute, a number that does not parse or is out of range, a bit range
// outside its register, two registers at one address are all refused with
// the line and the reason.
#pragma once

#include "device/deviceprofile.h"

#include <QString>

class QIODevice;

class ProfileReader
{
public:
    // A profile nests five levels (an enumeration item of a response's
    // field); deeper files are refused before they cost anything.
    static constexpr int kMaxDepth = 8;

    // Reads path into *profile (its file set to path). False, *profile
    // untouched, with *errorText "第 n 行: reason" or why the file did not open.
    static bool read(const QString &path, DeviceProfile *profile, QString *errorText);
    static bool read(QIODevice *device, DeviceProfile *profile, QString *errorText);
};
