// The device profiles in force: the ones shipped with the program and those
// the user added, each file read once. A file that fails to load is kept
// out with its reason; the others work as before.
#pragma once

#include "device/deviceprofile.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class ProfileLibrary
{
public:
    struct Failure
    {
        QString file;
        QString reason; // "第 n 行: reason", or why it did not open
    };

    // The shipped profiles: share/korvex/device-profiles beside the
    // program's bin folder (build tree and installed program alike); empty
    // when there is none.
    static QString shippedDirectory();

    // Adds every *.xml of dir, sorted by name. Returns the number added.
    int addDirectory(const QString &dir);
    // Adds one file; a profile with the id of one already there replaces it
    // (the user's copy of a shipped part wins). False when it failed.
    bool addFile(const QString &path);

    const std::vector<std::shared_ptr<const DeviceProfile>> &profiles() const { return m_profiles; }
    const std::vector<Failure> &failures() const { return m_failures; }
    std::shared_ptr<const DeviceProfile> find(const std::string &id) const;
    // The profiles that claim address, sorted by name.
    std::vector<std::shared_ptr<const DeviceProfile>> claimants(uint8_t address) const;

private:
    std::vector<std::shared_ptr<const DeviceProfile>> m_profiles;
    std::vector<Failure> m_failures;
};
