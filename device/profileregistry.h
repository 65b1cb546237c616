// The program's device profiles: the shipped ones and the user's own (a
// folder in the user's configuration, where "add profile file" copies a
// file once it loads), and which profile decodes which address, remembered
// in a small XML file beside that folder for the next start. GUI thread
// only; decoders on other threads take copies of what they need.
#pragma once

#include "device/profileassignment.h"
#include "device/profilelibrary.h"

#include <QObject>
#include <QString>

class ProfileRegistry : public QObject
{
    Q_OBJECT

public:
    // "<user configuration folder>/korvex".
    static QString defaultConfigDir();

    // Loads the shipped profiles, then configDir/device-profiles/*.xml (a
    // user's profile with a shipped id replaces it), then the choices in
    // configDir/device_choices.xml.
    explicit ProfileRegistry(const QString &configDir = defaultConfigDir(),
                             const QString &shippedDir = ProfileLibrary::shippedDirectory(),
                             QObject *parent = nullptr);

    const ProfileLibrary &library() const { return m_library; }
    ProfileAssignment &assignment() { return m_assignment; }
    const ProfileAssignment &assignment() const { return m_assignment; }
    QString userDir() const;
    QString choicesPath() const;

    // The user's choice for address (id, or empty for none), remembered at
    // once; false with *errorText when the file could not be written (the
    // choice holds for this run all the same).
    bool choose(uint8_t address, const QString &id, QString *errorText = nullptr);
    bool clearChoice(uint8_t address, QString *errorText = nullptr);

    // Reads path as a profile and, when it loads, copies it into the user's
    // folder and adds it. False with *errorText ("file: 第 n 行: reason" or
    // why it could not be copied) otherwise.
    bool addFile(const QString &path, QString *errorText);

signals:
    // The choices or the profiles changed: decoders should start again.
    void changed();

private:
    bool saveChoices(QString *errorText);
    void readChoices();

    QString m_configDir;
    ProfileLibrary m_library;
    ProfileAssignment m_assignment{&m_library};
};
