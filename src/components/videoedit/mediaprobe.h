#pragma once

#include <QString>

namespace kc {

// What the component knows about a source file without decoding it.
struct MediaFacts {
    bool readable = false;   // opened and holds at least one audio or video stream
    QString error;           // why not, when !readable
    double duration = 0;     // seconds of the timeline players show; 0 when unknown
    double startTime = 0;    // seconds of the file's time that players show as 0 (MPEG streams
                             // rarely start at 0; see sourcetimeline.h)
    bool hasVideo = false;
    bool hasAudio = false;
    int width = 0;           // the picture as players show it: turned upright, square pixels
    int height = 0;
    double frameRate = 0;    // average frames per second; 0 when unknown
    int sampleRate = 0;
    int channels = 0;
};

// Opens the file through libavformat and reads its facts. Never blocks for long on a damaged
// or non-media file (a deadline cuts the stream analysis short) and never throws.
MediaFacts ProbeMedia(const QString &path);

} // namespace kc
