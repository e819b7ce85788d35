#include "programfolder.h"

#include <QCoreApplication>

namespace kc {

namespace {
QString &storedFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString ProgramFolder()
{
    QString &folder = storedFolder();
    if (folder.isEmpty() && QCoreApplication::instance())
        SetProgramFolder(QCoreApplication::applicationDirPath());
    return folder;
}

void SetProgramFolder(const QString &folder)
{
    QString f = folder;
    if (!f.endsWith(QLatin1Char('/')))
        f += QLatin1Char('/');
    storedFolder() = f;
}

} // namespace kc
