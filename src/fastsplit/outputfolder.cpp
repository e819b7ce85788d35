#include "outputfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kc {

QString WithTrailingSlash(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    if (!p.endsWith(QLatin1Char('/')))
        p += QLatin1Char('/');
    return p;
}

QString DefaultOutputFolder()
{
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QFileInfo(videos).isDir())
        return WithTrailingSlash(videos);
    return WithTrailingSlash(QDir::homePath());
}

} // namespace kc
