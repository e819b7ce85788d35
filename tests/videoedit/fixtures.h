#pragma once

#include "components/videoedit/tvideoedit.h"
#include "support/clips.h"
#include "support/mediachecks.h"

#include <QString>

namespace kc::test {

// Source clips made once per test process, in a folder whose name has a space and Chinese
// characters (the paths users have).
enum class Source {
    Avi,        // 3 s, 320x240, 25 fps, MPEG-4 + MP3 (44100 Hz stereo)
    MpegPs,     // 3 s, 320x240, 25 fps, MPEG-2 + MP2 program stream (starts at 0.5 s, no index)
    Mp4BFrames, // 3 s, 320x240, 25 fps, H.264 with B-frames + AAC
    AviNoSound, // 2 s, 320x240, 25 fps, MPEG-4 without sound
    AviNtsc,    // 3 s, 320x240, 30000/1001 fps, MPEG-4 + MP3
    Wide,       // 2 s, 320x180 (16:9), 25 fps, MPEG-4 + MP3
};
QString SourceClip(Source s);
// A clip made once per test process by the ffmpeg command line (args without the output
// path), in the same folder; empty (and a failure recorded) when ffmpeg fails.
QString MadeClip(const QString &name, const QStringList &ffmpegArgs);
// A fresh path for an output file in the test's own folder.
QString OutputPath(const QString &name);
QString WorkDir();

struct RenderOutcome {
    bool saved = false;       // Save returned true
    bool completed = false;   // OnComplete arrived
    bool succeeded = false;
    QString reason;
    int progressEvents = 0;
};

// Save, then wait (running the event loop) for OnComplete, at most timeoutMs.
RenderOutcome SaveAndWait(TVideoEdit &edit, const QString &output, int timeoutMs = 60000);
// SavePieces, then the same wait.
RenderOutcome SavePiecesAndWait(TVideoEdit &edit, const QStringList &outputs, int timeoutMs = 60000);

// One clip of the whole range [start, stop) of a file, video and sound.
void SetClip(TVideoEdit &edit, const QString &file, double start, double stop, int stretch = 0);

// The files in out's folder whose names begin with out's file name: the output itself and
// whatever the render wrote on the way to it.
QStringList FilesNamedAfter(const QString &out);

// The visible picture area, as ffmpeg's black-border detection finds it: "W:H:X:Y".
QString PictureArea(const QString &file);

// ffprobe helpers.
double ProbeDouble(const QString &file, const QString &entries, const QString &streams = QString());
int ProbeInt(const QString &file, const QString &entries, const QString &streams = QString());
// Frame rate as ffprobe writes it ("25/1", "30000/1001").
QString ProbeRate(const QString &file);
// Number of decoded audio samples of the first audio stream.
qint64 CountAudioSamples(const QString &file);
// Seconds of pictures (decoded frames times the stream's rate) and of sound (decoded samples).
double PictureSeconds(const QString &file);
double SoundSeconds(const QString &file);

} // namespace kc::test
