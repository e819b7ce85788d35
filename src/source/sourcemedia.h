#pragma once

#include <QString>

namespace kc {

// The current source: one record for the whole run, beside the main window.
struct SourceMediaRecord {
    QString FileName;     // full path as chosen, blanks trimmed; empty until the first load
    double Duration = 0;  // seconds; 0 when no duration could be found
    double CurTime = 0;   // last position the preview reported
    double StartTime = 0; // the stored custom range
    double EndTime = 0;
};

extern SourceMediaRecord TSourceMedia;

} // namespace kc
