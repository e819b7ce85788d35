#pragma once

#include <QString>

namespace kc::test {

// Sources with the everyday properties of files other programs write, each made at test
// time by the program that writes such files.
enum class RealWorld {
    TsLongGopX264,       // 6 s MPEG-TS: H.264 from the x264 command line (--keyint 250) + MP2
    TsGStreamer,         // 6 s MPEG-TS from GStreamer's mpegtsmux: x264enc + MP2
    Mp4LateStart,        // 13 s MP4 whose content starts at 3 s (an initial empty edit)
    MkvLateStart,        // 10 s Matroska whose times run from 100 s (written with them kept)
    WebmLive,            // 8 s WebM as browsers record it: VP8 + Opus, no length, no index
    SoundOutlastsPicture,// 4 s MKV whose sound is 5 ms longer than its 100 pictures
    Mp3SoundOnly,        // 2 s of MP3, no picture
    WavSoundOnly,        // 2 s of WAV, no picture
    DamagedAvi,          // 3 s AVI (MPEG-4 + MP3) with a few damaged bytes in its chunks and index
};

struct RealWorldClip {
    bool ok = false;
    QString skipReason; // set when a program needed for it is not installed
    QString log;        // the programs' output when making it failed
};

// Writes the clip to path (its extension is chosen by the caller to match the kind).
RealWorldClip MakeRealWorldClip(RealWorld kind, const QString &path);

// The file name extension that suits the kind ("ts", "mp4", ...).
QString RealWorldExtension(RealWorld kind);

// Whether a program is on the search path.
bool HaveProgram(const QString &name);

} // namespace kc::test
