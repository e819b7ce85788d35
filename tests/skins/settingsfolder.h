#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace kc::test {

// Points ProgramFolder() at a fresh temporary program folder and the user's configuration
// folder (XDG_CONFIG_HOME) at another, so that no test reads or writes a real Config.ini;
// puts both back when destroyed.
class SettingsFolder
{
public:
    SettingsFolder();
    ~SettingsFolder();

    bool isValid() const { return m_dir.isValid(); }
    QString programFolder() const;     // ending in "/"
    QString userConfigHome() const;    // what XDG_CONFIG_HOME points at
    QString besideProgram() const { return programFolder() + QStringLiteral("Config.ini"); }

    void writeIni(const QByteArray &text) const;
    QByteArray readIni() const;        // empty when there is no such file
    // A folder named Config.ini: a place no one, root included, can write the file to.
    void blockIni() const;

private:
    QTemporaryDir m_dir;
    QString m_previousFolder;
    QByteArray m_previousConfigHome;
    bool m_hadConfigHome = false;
};

} // namespace kc::test
