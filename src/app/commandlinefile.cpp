#include "commandlinefile.h"

#include <QDir>
#include <QUrl>

namespace kc {

QString CommandLineFile(const QStringList &arguments, const QString &currentFolder)
{
    QString named;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (!optionsEnded && argument == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        if (argument.isEmpty() || (!optionsEnded && argument.startsWith(QLatin1Char('-'))))
            continue;
        named = argument;
        break;
    }
    if (named.isEmpty())
        return QString();
    if (named.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
        QUrl url(named);
        // A file of another machine cannot be opened here.
        if (url.host() == QStringLiteral("localhost"))
            url.setHost(QString());
        else if (!url.host().isEmpty())
            return QString();
        named = url.toLocalFile();
        if (named.isEmpty())
            return QString();
    }
    return QDir::cleanPath(QDir(currentFolder).absoluteFilePath(named));
}

} // namespace kc
