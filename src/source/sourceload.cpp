#include "sourceload.h"

#include "common/mediainfo.h"
#include "common/timeparts.h"
#include "sourcemedia.h"

#include <atomic>
#include <climits>
#include <cmath>
#include <future>
#include <memory>
#include <thread>

namespace kc {

namespace {

bool isBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

QString trimBlanks(const QString &s)
{
    int begin = 0;
    int end = int(s.size());
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

} // namespace


SourceDuration ResolveSourceDuration(double componentSeconds, const PlayTimeQuery &queryPlayTimes,
                                     bool componentFoundOnlySound)
{
    SourceDuration result;
    if (componentFoundOnlySound) {
        result.unrecognised = true;
        return result;
    }
    if (std::isfinite(componentSeconds) && componentSeconds > 0) {
        result.seconds = componentSeconds;
        return result;
    }
    result.askedMediaInfo = true;
    const std::optional<QStringList> texts = queryPlayTimes ? queryPlayTimes() : std::nullopt;
    if (texts)
        result.seconds = PlayTimeSeconds(texts->value(0), texts->value(1));
    result.unrecognised = result.seconds == 0;
    return result;
}

namespace {
std::atomic<int> g_runningQueries{0};
} // namespace

std::optional<QStringList> MediaInfoPlayTimes(const QString &path, std::chrono::milliseconds limit)
{
    auto answer = std::make_shared<std::promise<std::optional<QStringList>>>();
    std::future<std::optional<QStringList>> result = answer->get_future();
    ++g_runningQueries;
    std::thread([answer, path] {
        answer->set_value(
            QueryMediaInfo(path, {{MiGeneral, QStringLiteral("PlayTime")}, {MiVideo, QStringLiteral("PlayTime")}}));
        --g_runningQueries;
    }).detach();
    if (result.wait_for(limit) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

bool MediaInfoQueryStillRunning()
{
    return g_runningQueries.load() > 0;
}

QString ChosenSourcePath(const QString &chosen, const std::function<bool(const QString &)> &fileExists)
{
    const QString trimmed = trimBlanks(chosen);
    if (trimmed != chosen && fileExists && fileExists(chosen) && !fileExists(trimmed))
        return chosen;
    return trimmed;
}

void SetCurrentSource(const QString &path, double duration)
{
    TSourceMedia.FileName = path;
    TSourceMedia.Duration = duration;
    TSourceMedia.CurTime = 0;
    TSourceMedia.StartTime = 0;
    TSourceMedia.EndTime = duration;
}

int WholeSeconds(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return seconds >= double(INT_MAX) ? INT_MAX : int(seconds);
}

const QList<SourceFileFilter> &SourceFileFilters()
{
    static const QList<SourceFileFilter> filters = [] {
        QList<SourceFileFilter> each{
            {QStringLiteral("AVI File(*.avi)"), QStringLiteral("*.avi")},
            {QStringLiteral("MPEG File(*.mpg;*.mpeg;*.mpe)"), QStringLiteral("*.mpg;*.mpeg;*.mpe")},
            {QStringLiteral("DAT File(*.dat)"), QStringLiteral("*.dat")},
            WindowsMediaFilter(),
            {QStringLiteral("Quick Time File(*.mov;*.qt)"), QStringLiteral("*.mov;*.qt")},
            {QStringLiteral("Real Media File(*.rm;*.rmvb)"), QStringLiteral("*.rm;*.rmvb")},
            DvdVobFilter(),
        };
        // QuickTime has its entry above already.
        for (const FileTypeFilter &modern : ModernContainerFilters()) {
            if (modern.patterns != QStringLiteral("*.mov"))
                each << modern;
        }
        const QString all = JoinedPatterns(each);
        each.prepend({QStringLiteral("All Support Format(") + all + QLatin1Char(')'), all});
        return each;
    }();
    return filters;
}

} // namespace kc
