#include "settingsfolder.h"

#include "common/programfolder.h"

#include <QDir>
#include <QFile>

namespace kc::test {

SettingsFolder::SettingsFolder()
    : m_previousFolder(ProgramFolder())
    , m_previousConfigHome(qgetenv("XDG_CONFIG_HOME"))
    , m_hadConfigHome(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
{
    QDir().mkpath(programFolder());
    SetProgramFolder(programFolder());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(userConfigHome()));
}

SettingsFolder::~SettingsFolder()
{
    SetProgramFolder(m_previousFolder);
    if (m_hadConfigHome)
        qputenv("XDG_CONFIG_HOME", m_previousConfigHome);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString SettingsFolder::programFolder() const
{
    return m_dir.path() + QStringLiteral("/program/");
}

QString SettingsFolder::userConfigHome() const
{
    return m_dir.path() + QStringLiteral("/config-home");
}

void SettingsFolder::writeIni(const QByteArray &text) const
{
    QFile file(besideProgram());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
}

QByteArray SettingsFolder::readIni() const
{
    QFile file(besideProgram());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SettingsFolder::blockIni() const
{
    QDir().mkpath(besideProgram());
}

} // namespace kc::test
