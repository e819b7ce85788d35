#pragma once

#include "common/timeparts.h"

#include <QString>

namespace kc {

// What one probe of a file tells the fast split window.
struct FastSplitProbe {
    double frameRate = 0.0;  // 0 when the text is empty or not a number
    double totalTime = 0.0;  // seconds; 0 when neither play time is a whole number
    bool unrecognised = false; // both are exactly 0: the user is told
    TimeParts parts;          // totalTime split for the label and the end fields
};

// The probe's rules on the three texts the library gave (already trimmed): the video's
// "FrameRate", the general and the video "PlayTime" in milliseconds.
FastSplitProbe EvaluateProbe(const QString &frameRateText, const QString &generalPlayTime,
                             const QString &videoPlayTime);

// Asks the MediaInfo library, in this order, for the video frame rate, the general and the
// video play time of path, and evaluates them. An unbound library calls nothing and gives
// the result of a file it could not read.
FastSplitProbe ProbeMediaFile(const QString &path);

// "[h时m分s秒ms毫秒]" in plain decimal.
QString FileTimeLabel(const TimeParts &parts);

// The text the user sees when a file yields neither play time nor frame rate.
QString UnrecognisedFileMessage(const QString &path);

} // namespace kc
