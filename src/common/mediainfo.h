#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace kc {

// The MediaInfo library's C interface, bound at run time. A slot stays empty when the
// library does not export that name.
struct MediaInfoApi {
    using NewFn = void *(*)();
    using DeleteFn = void (*)(void *);
    using OpenFn = size_t (*)(void *, const wchar_t *);
    using CloseFn = void (*)(void *);
    using InformFn = const wchar_t *(*)(void *, size_t);
    using GetIFn = const wchar_t *(*)(void *, int, size_t, size_t, int);
    using GetFn = const wchar_t *(*)(void *, int, size_t, const wchar_t *, int, int);
    using OptionFn = const wchar_t *(*)(void *, const wchar_t *, const wchar_t *);
    using StateGetFn = size_t (*)(void *);
    using CountGetFn = size_t (*)(void *, int, size_t);

    using ANewFn = void *(*)();
    using ADeleteFn = void (*)(void *);
    using AOpenFn = size_t (*)(void *, const char *);
    using ACloseFn = void (*)(void *);
    using AInformFn = const char *(*)(void *, size_t);
    using AGetIFn = const char *(*)(void *, int, size_t, size_t, int);
    using AGetFn = const char *(*)(void *, int, size_t, const char *, int, int);
    using AOptionFn = const char *(*)(void *, const char *, const char *);
    using AStateGetFn = size_t (*)(void *);
    using ACountGetFn = size_t (*)(void *, int, size_t);

    NewFn New = nullptr;
    DeleteFn Delete = nullptr;
    OpenFn Open = nullptr;
    CloseFn Close = nullptr;
    InformFn Inform = nullptr;
    GetIFn GetI = nullptr;
    GetFn Get = nullptr;
    OptionFn Option = nullptr;
    StateGetFn State_Get = nullptr;
    CountGetFn Count_Get = nullptr;

    ANewFn A_New = nullptr;
    ADeleteFn A_Delete = nullptr;
    AOpenFn A_Open = nullptr;
    ACloseFn A_Close = nullptr;
    AInformFn A_Inform = nullptr;
    AGetIFn A_GetI = nullptr;
    AGetFn A_Get = nullptr;
    AOptionFn A_Option = nullptr;
    AStateGetFn A_State_Get = nullptr;
    ACountGetFn A_Count_Get = nullptr;

    // The four entry points the probes use are all bound.
    bool probeReady() const { return New && Open && Get && Close; }
};

// Stream kinds and info kinds of MediaInfo_Get.
enum MediaInfoStreamKind { MiGeneral = 0, MiVideo = 1, MiAudio = 2 };
enum MediaInfoInfoKind { MiInfoText = 1 };
enum MediaInfoSearchKind { MiSearchName = 0 };

// Binds the library. The first call loads the module (a name of "MediaInfo.dll" maps to
// the program folder's libmediainfo.so.0, else the system's); without a module it returns
// false. Every call (re)looks up all entry points; the module is never unloaded.
bool LoadMediaInfo(const QString &name);

// The entry points bound so far (all empty before a successful LoadMediaInfo).
const MediaInfoApi &MediaInfo();

// For tests: forget the bound entry points, as before the first call.
void ResetMediaInfoBindingForTests();

// One probe: New, Open, then MediaInfo_Get of each (stream kind, parameter) in order
// (stream number 0, text, by name), each text with blanks and control characters trimmed;
// Close and Delete whatever happens. Empty optional when the probe's entry points are
// not bound (nothing is called then).
std::optional<QStringList> QueryMediaInfo(const QString &path,
                                          const std::vector<std::pair<int, QString>> &fields);

// Play time texts in whole milliseconds to seconds: the general text when it is a whole
// number above 0, else the video text under the same rule, else 0.
double PlayTimeSeconds(const QString &generalPlayTime, const QString &videoPlayTime);

} // namespace kc
