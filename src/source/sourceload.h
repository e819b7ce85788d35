#pragma once

#include "common/filetypefilter.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

namespace kc {

// The "PlayTime" texts of the general part and of the first video stream, in that order,
// or nothing when the MediaInfo library is not bound (then nothing was called).
using PlayTimeQuery = std::function<std::optional<QStringList>()>;

struct SourceDuration {
    double seconds = 0;
    bool askedMediaInfo = false; // the editing component could not tell
    bool unrecognised = false;   // nobody could: the user is told, loading goes on with 0
};

// The editing component's answer counts when it is a finite number above 0; only then is
// MediaInfo not asked. Otherwise the general play time wins over the video stream's, each
// taken only when it is a whole number of milliseconds above 0. A file the component found
// to hold only sound is unrecognised at once: it has no picture to split, whatever its length.
SourceDuration ResolveSourceDuration(double componentSeconds, const PlayTimeQuery &queryPlayTimes,
                                     bool componentFoundOnlySound = false);

// Both play times of a file through the bound MediaInfo library. The library can take
// minutes over a damaged file, and the caller waits for it (the window on its user-interface
// thread), so it is given a few seconds: after that the answer is "nothing", and the query
// is left to finish on its own thread.
std::optional<QStringList> MediaInfoPlayTimes(const QString &path,
                                              std::chrono::milliseconds limit = std::chrono::seconds(8));

// A query given up on is still running: a program ending now must not run the library's
// teardown under it (std::_Exit rather than a return from main).
bool MediaInfoQueryStillRunning();

// The dialog's path with the blanks at both ends removed, unless they belong to the name
// of an existing file (a Linux file name may end in a blank) and the trimmed one does not.
QString ChosenSourcePath(const QString &chosen, const std::function<bool(const QString &)> &fileExists);

// Makes path the current source: its duration, position 0, the range the whole file.
void SetCurrentSource(const QString &path, double duration);

// Seconds truncated toward zero, held within 0 .. INT_MAX (a track bar's units).
int WholeSeconds(double seconds);

// The source dialog's filter list: first every format at once (its description names each
// pattern it matches), then the long-standing entries, then today's containers.
using SourceFileFilter = FileTypeFilter;
const QList<SourceFileFilter> &SourceFileFilters();

} // namespace kc
