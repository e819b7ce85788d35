#pragma once

#include <QString>
#include <QStringList>

namespace kc::test {

// A short generated clip: test pattern and tone, made by the ffmpeg command line.
struct ClipRecipe {
    double seconds = 3.0;
    int width = 320;
    int height = 240;
    QString rate = QStringLiteral("25");      // frame rate, e.g. "25", "30000/1001"
    QString videoCodec = QStringLiteral("mpeg4");
    QString audioCodec = QStringLiteral("libmp3lame"); // empty: no audio track
    int sampleRate = 44100;
    int channels = 2;
    int gop = 12;
    QStringList extraOutputArgs;               // e.g. {"-bf","2"}, {"-f","vob"}
};

// A recipe with the given codecs (audio empty: no sound), keyframe interval, extra output
// arguments and length; the rest as ClipRecipe has it.
ClipRecipe RecipeOf(const QString &videoCodec, const QString &audioCodec, int gop, const QStringList &extraOutputArgs = {},
                    double seconds = 3.0);

// Writes the clip to path (its extension picks the container unless extraOutputArgs set
// -f). Returns false, with the tool's output in *log, when ffmpeg fails.
bool MakeClip(const QString &path, const ClipRecipe &clipRecipe = ClipRecipe(), QString *log = nullptr);

// Runs ffmpeg quietly, overwriting its output, with these arguments. False, with what it
// said in *log, when it fails.
bool RunFfmpeg(const QStringList &args, QString *log = nullptr);

// Runs a program and returns its standard output; exit code in *exitCode.
QString RunTool(const QString &program, const QStringList &args, int *exitCode = nullptr,
                QString *stdErr = nullptr, int timeoutMs = 120000);

// ffprobe -v error -show_entries <entries> -of default=nw=1:nk=1, e.g.
// ProbeValue(f, "stream=codec_name", "v:0") -> "mpeg1video".
QString ProbeValue(const QString &file, const QString &entries, const QString &streams = QString());

// Number of decoded video frames (ffprobe -count_frames).
int CountVideoFrames(const QString &file);

// The program folder of the build (bin/), ending in "/".
QString BinDir();

} // namespace kc::test
