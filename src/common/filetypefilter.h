#pragma once

#include <QList>
#include <QString>

namespace kc {

// One entry of an open dialog's file-type list: the text shown and what it matches.
struct FileTypeFilter {
    QString description;
    QString patterns; // "*.avi;*.mpg"
};

// The containers of today's video files that both splitting engines cut and the stream
// copy writes back unchanged: MP4 (also M4V), Matroska, QuickTime, MPEG transport streams
// (also the Blu-ray and camera kinds), WebM, Flash video and 3GP. One entry each, in that order.
const QList<FileTypeFilter> &ModernContainerFilters();

// Windows Media (ASF) and DVD title files, which both open dialogs offer too.
const FileTypeFilter &WindowsMediaFilter();
const FileTypeFilter &DvdVobFilter();

// All patterns of filters, in order, without repeats, joined by ";".
QString JoinedPatterns(const QList<FileTypeFilter> &filters);

// A filter in Qt's "text (pattern pattern)" form: the description as given, then the
// patterns separated by blanks. A file dialog told to hide filter details shows exactly
// the description, and filters by the patterns.
QString QtNameFilter(const FileTypeFilter &filter);

} // namespace kc
