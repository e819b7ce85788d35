#include "filetypefilter.h"

#include <QStringList>

namespace kc {

const QList<FileTypeFilter> &ModernContainerFilters()
{
    static const QList<FileTypeFilter> filters{
        {QStringLiteral("MP4 File(*.mp4)"), QStringLiteral("*.mp4")},
        {QStringLiteral("Matroska File(*.mkv)"), QStringLiteral("*.mkv")},
        {QStringLiteral("Quick Time File(*.mov)"), QStringLiteral("*.mov")},
        {QStringLiteral("MPEG-TS File(*.ts;*.m2ts)"), QStringLiteral("*.ts;*.m2ts")},
        {QStringLiteral("WebM File(*.webm)"), QStringLiteral("*.webm")},
        {QStringLiteral("Flash Video File(*.flv)"), QStringLiteral("*.flv")},
        {QStringLiteral("3GP File(*.3gp)"), QStringLiteral("*.3gp")},
    };
    return filters;
}

QString JoinedPatterns(const QList<FileTypeFilter> &filters)
{
    QStringList all;
    for (const FileTypeFilter &filter : filters) {
        for (const QString &pattern : filter.patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!all.contains(pattern, Qt::CaseInsensitive))
                all << pattern;
        }
    }
    return all.join(QLatin1Char(';'));
}

QString QtNameFilter(const FileTypeFilter &filter)
{
    const QStringList patterns = filter.patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return filter.description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

} // namespace kc
