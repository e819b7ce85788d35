#include "configini.h"

#include "common/programfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

namespace kc {

namespace {

const QString kFileName = QStringLiteral("Config.ini");
const QString kSkinKey = QStringLiteral("Config/Skin");

QString userConfigFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// A decimal 32-bit integer with blanks around it; anything else (a list written with
// commas, a fraction, a number out of range, text) is not one. A value this process wrote
// comes back from QSettings' cache as the int it was, the rest as text.
int skinValue(const QVariant &value)
{
    if (!value.isValid() || value.userType() == QMetaType::QStringList)
        return kDefaultSkinIndex;
    bool ok = false;
    const int index = value.toString().trimmed().toInt(&ok, 10);
    return ok ? index : kDefaultSkinIndex;
}

} // namespace

QString ConfigIniPath()
{
    const QString programFolder = ProgramFolder();
    // QSettings writes through a lock file and a temporary file beside the target, so a
    // writable Config.ini in a read-only folder could not be written either: only the
    // folder decides.
    const QFileInfo folder(programFolder);
    if (folder.isDir() && folder.isWritable())
        return programFolder + kFileName;
    return userConfigFolder() + kFileName;
}

int ReadSkinIndex()
{
    const QSettings settings(ConfigIniPath(), QSettings::IniFormat);
    return skinValue(settings.value(kSkinKey));
}

bool WriteSkinIndex(int index, QString *error)
{
    const QString path = ConfigIniPath();
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(kSkinKey, index);
    settings.sync();
    // A format error in the old file is not a failure: the file is rewritten all the same.
    // A read-only file or folder, or a folder in the file's place, gives AccessError.
    if (settings.status() != QSettings::AccessError)
        return true;
    if (error)
        *error = QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(path);
    return false;
}

} // namespace kc
