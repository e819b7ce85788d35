#include "mediainfo.h"

#include "programfolder.h"
#include "timeparts.h"

#include <QFileInfo>
#include <QLibrary>

#include <string>

namespace kc {

namespace {

MediaInfoApi &api()
{
    static MediaInfoApi bound;
    return bound;
}

// Loaded once, kept for the whole run.
QLibrary *&module()
{
    static QLibrary *lib = nullptr;
    return lib;
}

QStringList candidatesFor(const QString &name)
{
    if (name.compare(QLatin1String("MediaInfo.dll"), Qt::CaseInsensitive) == 0)
        return {ProgramFolder() + QLatin1String("libmediainfo.so.0"), QStringLiteral("libmediainfo.so.0")};
    return {name};
}

template <typename Fn>
void bind(QLibrary *lib, Fn &slot, const char *symbol)
{
    slot = reinterpret_cast<Fn>(lib->resolve(symbol));
}

std::wstring toWide(const QString &s)
{
    return s.toStdWString();
}

QString trimmedText(const wchar_t *text)
{
    if (!text)
        return QString();
    // Blanks and control characters at both ends.
    QString s = QString::fromWCharArray(text);
    int begin = 0;
    int end = s.size();
    while (begin < end && s[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && s[end - 1].unicode() <= 0x20)
        --end;
    return s.mid(begin, end - begin);
}

} // namespace

bool LoadMediaInfo(const QString &name)
{
    QLibrary *&lib = module();
    if (!lib) {
        for (const QString &candidate : candidatesFor(name)) {
            if (candidate.contains(QLatin1Char('/')) && !QFileInfo::exists(candidate))
                continue;
            auto *attempt = new QLibrary(candidate);
            if (attempt->load()) {
                lib = attempt;
                break;
            }
            delete attempt;
        }
        if (!lib)
            return false;
    }
    MediaInfoApi &a = api();
    bind(lib, a.New, "MediaInfo_New");
    bind(lib, a.Delete, "MediaInfo_Delete");
    bind(lib, a.Open, "MediaInfo_Open");
    bind(lib, a.Close, "MediaInfo_Close");
    bind(lib, a.Inform, "MediaInfo_Inform");
    bind(lib, a.GetI, "MediaInfo_GetI");
    bind(lib, a.Get, "MediaInfo_Get");
    bind(lib, a.Option, "MediaInfo_Option");
    bind(lib, a.State_Get, "MediaInfo_State_Get");
    bind(lib, a.Count_Get, "MediaInfo_Count_Get");
    bind(lib, a.A_New, "MediaInfoA_New");
    bind(lib, a.A_Delete, "MediaInfoA_Delete");
    bind(lib, a.A_Open, "MediaInfoA_Open");
    bind(lib, a.A_Close, "MediaInfoA_Close");
    bind(lib, a.A_Inform, "MediaInfoA_Inform");
    bind(lib, a.A_GetI, "MediaInfoA_GetI");
    bind(lib, a.A_Get, "MediaInfoA_Get");
    bind(lib, a.A_Option, "MediaInfoA_Option");
    bind(lib, a.A_State_Get, "MediaInfoA_State_Get");
    bind(lib, a.A_Count_Get, "MediaInfoA_Count_Get");
    return true;
}

const MediaInfoApi &MediaInfo()
{
    return api();
}

void ResetMediaInfoBindingForTests()
{
    api() = MediaInfoApi();
}

std::optional<QStringList> QueryMediaInfo(const QString &path,
                                          const std::vector<std::pair<int, QString>> &fields)
{
    const MediaInfoApi &a = api();
    if (!a.probeReady())
        return std::nullopt;
    void *handle = a.New();
    if (!handle)
        return QStringList(QList<QString>(int(fields.size())));
    QStringList texts;
    const std::wstring widePath = toWide(path);
    a.Open(handle, widePath.c_str());
    for (const auto &field : fields) {
        const std::wstring parameter = toWide(field.second);
        texts << trimmedText(a.Get(handle, field.first, 0, parameter.c_str(), MiInfoText, MiSearchName));
    }
    a.Close(handle);
    if (a.Delete)
        a.Delete(handle);
    return texts;
}

double PlayTimeSeconds(const QString &generalPlayTime, const QString &videoPlayTime)
{
    // A play time of 0 or less is no length at all: it must not hide the other text or give
    // the source a negative duration.
    for (const QString &text : {generalPlayTime, videoPlayTime}) {
        qint64 ms = 0;
        if (ParseWholeNumber(text.trimmed(), &ms) && ms > 0)
            return double(ms) / 1000.0;
    }
    return 0.0;
}

} // namespace kc
