#include "naming.h"

#include <QFileInfo>

namespace kc {

namespace {

// Blanks and control characters, which a folder text may carry at either end.
bool IsTrimmed(QChar c)
{
    return c.unicode() <= 0x20 || c.unicode() == 0x7f || c.isSpace() || c.category() == QChar::Other_Control;
}

QString TrimBlanksAndControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsTrimmed(text.at(begin)))
        ++begin;
    while (end > begin && IsTrimmed(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

const QChar kSeparator = QLatin1Char('/');

} // namespace

bool defaultFileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString OutputExtension(int outType)
{
    switch (outType) {
    case 8:
        return QStringLiteral(".avi");
    case 9:
        return QStringLiteral(".wmv");
    default:
        return QStringLiteral(".mpg");
    }
}

QString SourceBaseName(const QString &inFileName)
{
    const QString name = inFileName.mid(inFileName.lastIndexOf(kSeparator) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString OutputFolder(const QString &outputFolderText, const QString &inFileName)
{
    QString folder = TrimBlanksAndControls(outputFolderText);
    // An empty folder would otherwise turn into "/", the file-system root.
    if (folder.isEmpty())
        folder = inFileName.left(inFileName.lastIndexOf(kSeparator) + 1);
    if (!folder.isEmpty() && !folder.endsWith(kSeparator))
        folder += kSeparator;
    return folder;
}

QString SourceExtension(const QString &inFileName)
{
    const QString name = inFileName.mid(inFileName.lastIndexOf(kSeparator) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString SetFileName(const QString &inFileName, TSplitMode mode, int i,
                    const QString &outputFolderText, int outType,
                    const std::function<bool(const QString &)> &fileExists)
{
    return SetFileNameWithExtension(inFileName, mode, i, outputFolderText, OutputExtension(outType), fileExists);
}

QString SetFileNameWithExtension(const QString &inFileName, TSplitMode mode, int i,
                                 const QString &outputFolderText, const QString &extension,
                                 const std::function<bool(const QString &)> &fileExists)
{
    const QString stem = OutputFolder(outputFolderText, inFileName) + SourceBaseName(inFileName);
    if (mode != smCustom)
        return stem + QStringLiteral("_new(") + QString::number(i) + QLatin1Char(')') + extension;

    // A custom cut never replaces an earlier one: take the first free number.
    for (qint64 j = 0;; ++j) {
        const QString candidate = stem + QStringLiteral("_new") + QString::number(j) + extension;
        if (!fileExists || !fileExists(candidate))
            return candidate;
    }
}

} // namespace kc
