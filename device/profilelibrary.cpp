#include "device/profilelibrary.h"

#include "device/profilereader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {
const char kShippedPath[] = "/../share/korvex/device-profiles";
} // namespace

QString ProfileLibrary::shippedDirectory()
{
    // korvex-decode runs without a QCoreApplication: its own file tells where it is.
    const QString bin = QCoreApplication::instance()
                            ? QCoreApplication::applicationDirPath()
                            : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QDir dir(bin + QLatin1String(kShippedPath));
    return dir.exists() ? dir.canonicalPath() : QString();
}

int ProfileLibrary::addDirectory(const QString &path)
{
    const QDir dir(path);
    int added = 0;
    for (const QString &name : dir.entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
        added += addFile(dir.filePath(name)) ? 1 : 0;
    return added;
}

bool ProfileLibrary::addFile(const QString &path)
{
    auto profile = std::make_shared<DeviceProfile>();
    QString why;
    if (!ProfileReader::read(path, profile.get(), &why)) {
        m_failures.push_back({path, why});
        return false;
    }
    const auto same = std::find_if(m_profiles.begin(), m_profiles.end(),
                                   [&](const auto &p) { return p->id == profile->id; });
    if (same != m_profiles.end())
        *same = std::move(profile);
    else
        m_profiles.push_back(std::move(profile));
    return true;
}

std::shared_ptr<const DeviceProfile> ProfileLibrary::find(const std::string &id) const
{
    for (const auto &p : m_profiles)
        if (p->id == id)
            return p;
    return nullptr;
}

std::vector<std::shared_ptr<const DeviceProfile>> ProfileLibrary::claimants(uint8_t address) const
{
    std::vector<std::shared_ptr<const DeviceProfile>> out;
    for (const auto &p : m_profiles)
        if (std::find(p->addresses.begin(), p->addresses.end(), address) != p->addresses.end())
            out.push_back(p);
    // By name, then by id (unique), so equal names keep one order.
    std::sort(out.begin(), out.end(), [](const auto &a, const auto &b) {
        return a->name != b->name ? a->name < b->name : a->id < b->id;
    });
    return out;
}
