#include "settings/startsettingsfile.h"

#include "fileio/regularfile.h"
#include "fileio/xmlwalker.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

QString StartSettingsFile::defaultPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Setting/start_setting.xml");
}

QString StartSettingsFile::userPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/korvex/start_setting.xml");
}

bool StartSettingsFile::canWrite(const QString &path)
{
    // Reached only through "does not exist", a folder above is a folder.
    for (QString at = QFileInfo(path).absoluteFilePath();;) {
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(at).constData(), &st) == 0)
            return ::access(QFile::encodeName(at).constData(), W_OK) == 0;
        const QString up = QFileInfo(at).path();
        if (errno != ENOENT || up == at)
            return false; // a file where a folder would have to be made, say
        at = up;
    }
}

StartSettingsFile::Location StartSettingsFile::locate(const QString &besideProgram,
                                                      const QString &inUserConfig)
{
    if (canWrite(besideProgram))
        return {besideProgram, besideProgram};
    return {QFileInfo::exists(inUserConfig) ? inUserConfig : besideProgram, inUserConfig};
}

std::optional<StartSettingsFile::Values> StartSettingsFile::read(const QString &path,
                                                                 QString *errorText)
{
    QFile file;
    if (RegularFile::open(file, path, QIODevice::ReadOnly | QIODevice::Text, errorText) !=
        RegularFile::Status::Opened) {
        if (QFileInfo::exists(path))
            qDebug() << "Open file error" << path << (errorText ? *errorText : QString());
        return std::nullopt;
    }
    return read(&file, errorText);
}

std::optional<StartSettingsFile::Values> StartSettingsFile::read(QIODevice *device,
                                                                 QString *errorText)
{
    // The root's first two child nodes by position; a child that is not an
    // element (a comment, non-blank text) takes its place and reads as 0.
    XmlWalker xml(device, kMaxDepth);
    QString texts[2];
    int child = -1; // position of the root's current child node
    bool inElement = false;
    while (xml.next()) {
        const int depth = xml.depth(); // the root is at 0
        switch (xml.node()) {
        case XmlWalker::Node::Start:
            if (depth == 1) {
                ++child;
                inElement = true;
            }
            break;
        case XmlWalker::Node::End:
            if (depth == 1)
                inElement = false;
            break;
        case XmlWalker::Node::Text:
            if (inElement && child < 2)
                texts[child] += xml.text();
            else if (depth == 1)
                ++child;
            break;
        case XmlWalker::Node::Other:
            if (depth == 1)
                ++child;
            break;
        }
    }
    QString why;
    if (!xml.succeeded(&why)) {
        qDebug() << "setcontent for do error" << why;
        if (errorText)
            *errorText = why;
        return std::nullopt;
    }
    Values values;
    values.channelIndex = texts[0].toInt(nullptr, 10);
    values.sampleRateIndex = texts[1].toInt(nullptr, 10);
    return values;
}

bool StartSettingsFile::write(const QString &path, const Values &values, QString *errorText)
{
    // An existing directory is fine; if it cannot be made, opening the file
    // below fails and says why.
    QDir().mkpath(QFileInfo(path).absolutePath());

    QFile file;
    if (RegularFile::open(file, path, QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text,
                          errorText) != RegularFile::Status::Opened)
        return false;

    QDomDocument doc;
    doc.appendChild(doc.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
    QDomElement root = doc.createElement(QStringLiteral("StartSettings"));
    doc.appendChild(root);
    QDomElement channel = doc.createElement(QStringLiteral("ChannelIndex"));
    channel.appendChild(doc.createTextNode(QString::asprintf("%d", values.channelIndex)));
    root.appendChild(channel);
    QDomElement rate = doc.createElement(QStringLiteral("SamleRate"));
    rate.appendChild(doc.createTextNode(QString::asprintf("%d", values.sampleRateIndex)));
    root.appendChild(rate);

    QTextStream out(&file);
    // The declaration promises UTF-8, whatever the process's locale codec is.
    out.setCodec("UTF-8");
    doc.save(out, 4, QDomNode::EncodingFromTextStream);
    out.flush();
    // A full disk shows only when the buffered bytes reach the device.
    const bool written = out.status() == QTextStream::Ok && file.flush();
    if (!written && errorText)
        *errorText = file.errorString();
    file.close();
    return written;
}
