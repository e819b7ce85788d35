#include "filetypefilter.h"

#include <QStringList>

namespace kc {

const QList<FileTypeFilter> &ModernContainerFilters()
{
    static const QList<FileTypeFilter> filters{
        {QStringLiteral("MP4 File(*.mp4;*.m4v)"), QStringLiteral("*.mp4;*.m4v")},
        {QStringLiteral("Matroska File(*.mkv)"), QStringLiteral("*.mkv")},
        {QStringLiteral("Quick Time File(*.mov)"), QStringLiteral("*.mov")},
        {QStringLiteral("MPEG-TS File(*.ts;*.m2ts;*.mts)"), QStringLiteral("*.ts;*.m2ts;*.mts")},
        {QStringLiteral("WebM File(*.webm)"), QStringLiteral("*.webm")},
        {QStringLiteral("Flash Video File(*.flv)"), QStringLiteral("*.flv")},
        {QStringLiteral("3GP File(*.3gp)"), QStringLiteral("*.3gp")},
    };
    return filters;
}

const FileTypeFilter &WindowsMediaFilter()
{
    static const FileTypeFilter filter{QStringLiteral("Media Player File(*.wmv;*.asf)"), QStringLiteral("*.wmv;*.asf")};
    return filter;
}

const FileTypeFilter &DvdVobFilter()
{
    static const FileTypeFilter filter{QStringLiteral("DVD VOB File(*.vob)"), QStringLiteral("*.vob")};
    return filter;
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
