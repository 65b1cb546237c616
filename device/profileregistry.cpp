#include "device/profileregistry.h"

#include "device/profilereader.h"
#include "fileio/regularfile.h"
#include "fileio/xmlwalker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamWriter>

namespace {
// The choices file nests two levels.
constexpr int kChoicesMaxDepth = 4;
} // namespace

QString ProfileRegistry::defaultConfigDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/korvex");
}

ProfileRegistry::ProfileRegistry(const QString &configDir, const QString &shippedDir,
                                 QObject *parent)
    : QObject(parent), m_configDir(configDir)
{
    if (!shippedDir.isEmpty())
        m_library.addDirectory(shippedDir);
    m_library.addDirectory(userDir());
    readChoices();
}

QString ProfileRegistry::userDir() const
{
    return m_configDir + QStringLiteral("/device-profiles");
}

QString ProfileRegistry::choicesPath() const
{
    return m_configDir + QStringLiteral("/device_choices.xml");
}

bool ProfileRegistry::choose(uint8_t address, const QString &id, QString *errorText)
{
    m_assignment.choose(address, id.toStdString());
    emit changed();
    return saveChoices(errorText);
}

bool ProfileRegistry::clearChoice(uint8_t address, QString *errorText)
{
    m_assignment.clearChoice(address);
    emit changed();
    return saveChoices(errorText);
}

bool ProfileRegistry::addFile(const QString &path, QString *errorText)
{
    DeviceProfile probe;
    QString why;
    if (!ProfileReader::read(path, &probe, &why)) {
        *errorText = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    // Named after the id, so a second copy of one part replaces the first.
    const QString target =
        userDir() + QLatin1Char('/') + QString::fromStdString(probe.id) + QStringLiteral(".xml");
    QFile in(path);
    QSaveFile out;
    out.setFileName(target);
    if (!QDir().mkpath(userDir()) || !in.open(QIODevice::ReadOnly) ||
        RegularFile::openForReplace(out, {}, &why) != RegularFile::Status::Opened ||
        out.write(in.readAll()) < 0 || !out.commit()) {
        *errorText = QStringLiteral("%1: %2").arg(target, why.isEmpty() ? out.errorString() : why);
        return false;
    }
    if (!m_library.addFile(target)) {
        *errorText = QStringLiteral("%1: %2").arg(target, m_library.failures().back().reason);
        return false;
    }
    m_assignment.forgetSeen();
    emit changed();
    return true;
}

void ProfileRegistry::readChoices()
{
    QFile file;
    if (RegularFile::open(file, choicesPath(), QIODevice::ReadOnly) != RegularFile::Status::Opened)
        return; // none yet: every address automatic
    XmlWalker xml(&file, kChoicesMaxDepth);
    while (xml.next()) {
        if (xml.node() != XmlWalker::Node::Start || xml.depth() != 1 ||
            xml.name() != QLatin1String("Choice"))
            continue;
        bool ok = false;
        const uint address = xml.attribute(QLatin1String("address")).toUInt(&ok, 16);
        if (ok && address <= 0x7F)
            m_assignment.choose(uint8_t(address),
                                xml.attribute(QLatin1String("profile")).toString().toStdString());
    }
}

bool ProfileRegistry::saveChoices(QString *errorText)
{
    QString why;
    QSaveFile file;
    file.setFileName(choicesPath());
    if (!QDir().mkpath(m_configDir) ||
        RegularFile::openForReplace(file, {}, &why) != RegularFile::Status::Opened) {
        if (errorText)
            *errorText = QStringLiteral("%1: %2").arg(choicesPath(), why);
        return false;
    }
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("DeviceChoices"));
    for (int a = 0; a < 128; ++a) {
        if (!m_assignment.hasChoice(uint8_t(a)))
            continue;
        xml.writeEmptyElement(QStringLiteral("Choice"));
        xml.writeAttribute(QStringLiteral("address"),
                           QStringLiteral("%1").arg(a, 2, 16, QLatin1Char('0')).toUpper());
        xml.writeAttribute(QStringLiteral("profile"),
                           QString::fromStdString(m_assignment.choice(uint8_t(a))));
    }
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit()) {
        if (errorText)
            *errorText = QStringLiteral("%1: %2").arg(choicesPath(), file.errorString());
        return false;
    }
    return true;
}
