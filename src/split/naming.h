#pragma once

#include "common/planning.h"

#include <QString>
#include <functional>

namespace kc {

// Whether anything (file, folder, link, even a dangling one) is at the path.
bool defaultFileExists(const QString &path);

QString OutputExtension(int outType);          // ".avi" for 8, ".wmv" for 9, ".mpg" otherwise

// The output folder as a path prefix: blanks and control characters trimmed, "/" appended
// unless it ends with one. An empty text gives the source's own folder.
QString OutputFolder(const QString &outputFolderText, const QString &inFileName);

// The source's file name without its last extension ("trip.2010.avi" gives "trip.2010").
QString SourceBaseName(const QString &inFileName);

// The piece's output path. fileExists is asked for the custom mode's "_newN" search.
QString SetFileName(const QString &inFileName, TSplitMode mode, int i,
                    const QString &outputFolderText, int outType,
                    const std::function<bool(const QString &)> &fileExists = defaultFileExists);

// The same name with the given extension (".mp4"; empty for none), for pieces that keep the
// source's container.
QString SetFileNameWithExtension(const QString &inFileName, TSplitMode mode, int i,
                                 const QString &outputFolderText, const QString &extension,
                                 const std::function<bool(const QString &)> &fileExists = defaultFileExists);

// The source's extension with its dot (".mkv"), or empty when its name has none.
QString SourceExtension(const QString &inFileName);

} // namespace kc
