#include "startsettingsfile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

QString StartSettingsFile::defaultPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Setting/start_setting.xml");
}

std::optional<StartSettingsFile::Values> StartSettingsFile::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    return read(&file);
}

std::optional<StartSettingsFile::Values> StartSettingsFile::read(QIODevice *device)
{
    QDomDocument doc;
    if (!doc.setContent(device)) {
        qDebug() << "setcontent for do error";
        return std::nullopt;
    }
    if (doc.isNull()) {
        qDebug() << "document is null";
        return std::nullopt;
    }

    const QDomElement root = doc.documentElement();
    if (root.isNull())
        return std::nullopt;

    const QDomNodeList children = root.childNodes();
    Values values;
    values.channelIndex = children.at(0).toElement().text().toInt(nullptr, 10);
    values.sampleRateIndex = children.at(1).toElement().text().toInt(nullptr, 10);
    return values;
}

bool StartSettingsFile::write(const QString &path, const Values &values, QString *errorText)
{
    // An existing directory is fine; if it cannot be made, opening the file
    // below fails and says why.
    QDir().mkpath(QFileInfo(path).absolutePath());

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }

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
