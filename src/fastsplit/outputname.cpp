#include "outputname.h"

#include <QFileInfo>

namespace kc {

namespace {

bool FileBlocksName(const QString &path)
{
    const QFileInfo info(path);
    // A dangling link still occupies the name; a folder does not count.
    return (info.exists() || info.isSymLink()) && !info.isDir();
}

} // namespace

QString FastSplitOutputPath(const QString &inputPath, const QString &outputFolder, const FileExistsFn &fileExists)
{
    const FileExistsFn exists = fileExists ? fileExists : FileExistsFn(FileBlocksName);

    const int lastSeparator = inputPath.lastIndexOf(QLatin1Char('/'));
    const QString name = inputPath.mid(lastSeparator + 1);
    const int lastDot = inputPath.lastIndexOf(QLatin1Char('.'));
    const QString extension = lastDot > lastSeparator ? inputPath.mid(lastDot) : QString();
    const QString base = name.left(name.size() - extension.size()) + QLatin1String("_new");

    QString candidate = outputFolder + base + extension;
    for (qint64 n = 0; exists(candidate); ++n)
        candidate = outputFolder + base + QString::number(n) + extension;
    return candidate;
}

} // namespace kc
