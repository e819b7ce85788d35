#include "realworldclips.h"

#include "clips.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace kc::test {

namespace {

RealWorldClip Missing(const QString &program)
{
    RealWorldClip m;
    m.skipReason = QStringLiteral("%1 is not installed").arg(program);
    return m;
}

RealWorldClip Run(const QString &program, const QStringList &args)
{
    RealWorldClip m;
    int code = -1;
    RunTool(program, args, &code, &m.log);
    m.ok = code == 0;
    return m;
}

RealWorldClip FromRecipe(const QString &path, const ClipRecipe &recipe)
{
    RealWorldClip m;
    m.ok = MakeClip(path, recipe, &m.log);
    return m;
}

QStringList Lavfi(const QString &graph)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), graph};
}

QStringList Quiet()
{
    return {QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error")};
}

// x264's own command line, fed raw pictures by ffmpeg, then muxed into TS with sound.
RealWorldClip TsFromX264(const QString &path)
{
    if (!HaveProgram(QStringLiteral("x264")))
        return Missing(QStringLiteral("x264"));
    const QString h264 = path + QStringLiteral(".264");
    QProcess source, encoder;
    source.setStandardOutputProcess(&encoder);
    source.start(QStringLiteral("ffmpeg"), Quiet() + Lavfi(QStringLiteral("testsrc2=size=320x240:rate=25:duration=6"))
                                               + QStringList{QStringLiteral("-f"), QStringLiteral("yuv4mpegpipe"),
                                                             QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                                                             QStringLiteral("-")});
    encoder.start(QStringLiteral("x264"), {QStringLiteral("--quiet"), QStringLiteral("--demuxer"), QStringLiteral("y4m"),
                                           QStringLiteral("--keyint"), QStringLiteral("250"), QStringLiteral("--preset"),
                                           QStringLiteral("ultrafast"), QStringLiteral("-o"), h264, QStringLiteral("-")});
    RealWorldClip m;
    if (!source.waitForFinished(60000) || !encoder.waitForFinished(60000) || source.exitCode() != 0
        || encoder.exitCode() != 0) {
        m.log = QString::fromUtf8(source.readAllStandardError() + encoder.readAllStandardError());
        return m;
    }
    m = Run(QStringLiteral("ffmpeg"),
            Quiet() + QStringList{QStringLiteral("-framerate"), QStringLiteral("25"), QStringLiteral("-i"), h264}
                + Lavfi(QStringLiteral("sine=frequency=440:sample_rate=48000:duration=6"))
                + QStringList{QStringLiteral("-c:v"), QStringLiteral("copy"), QStringLiteral("-c:a"), QStringLiteral("mp2"),
                              QStringLiteral("-f"), QStringLiteral("mpegts"), path});
    QFile::remove(h264);
    return m;
}

RealWorldClip TsFromGStreamer(const QString &path)
{
    if (!HaveProgram(QStringLiteral("gst-launch-1.0")))
        return Missing(QStringLiteral("gst-launch-1.0"));
    // 150 pictures at 25 fps and 6 s of sound (MP2 frames of 1152 samples at 48 kHz).
    const QString pipeline = QStringLiteral(
        "videotestsrc num-buffers=150 ! video/x-raw,width=320,height=240,framerate=25/1 ! x264enc ! h264parse ! "
        "mpegtsmux name=mux ! filesink location=%1 "
        "audiotestsrc num-buffers=250 samplesperbuffer=1152 ! audio/x-raw,rate=48000 ! audioconvert ! avenc_mp2 ! mux.");
    QStringList args{QStringLiteral("-q")};
    args << QProcess::splitCommand(pipeline.arg(QStringLiteral("PATH_PLACEHOLDER")));
    // gst-launch joins its arguments and parses them again: the path goes in quotes.
    args.replaceInStrings(QStringLiteral("PATH_PLACEHOLDER"), QLatin1Char('"') + path + QLatin1Char('"'));
    RealWorldClip m = Run(QStringLiteral("gst-launch-1.0"), args);
    if (m.ok && !QFile::exists(path))
        m.ok = false;
    return m;
}

// A corrupted copy: a chunk id in the middle of the data and the file offset of one index
// entry, as a bad sector or a broken download leaves them.
RealWorldClip DamagedAvi(const QString &path)
{
    RealWorldClip m = Run(QStringLiteral("ffmpeg"),
                     Quiet() + Lavfi(QStringLiteral("testsrc2=size=160x120:rate=25:duration=3"))
                         + Lavfi(QStringLiteral("sine=frequency=440:sample_rate=22050:duration=3"))
                         + QStringList{QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-g"),
                                       QStringLiteral("12"), QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), path});
    if (!m.ok)
        return m;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) {
        m.ok = false;
        m.log = f.errorString();
        return m;
    }
    QByteArray data = f.readAll();
    // The 22nd index entry (sound near the start) claims half a gigabyte, and a picture chunk
    // in the second half has lost the last letter of its id.
    const int index = data.indexOf("idx1");
    const int entryEnd = index + 8 + 16 * 22;
    const int chunk = data.indexOf("00dc", data.size() / 2);
    if (index < 0 || entryEnd > data.size() || chunk < 0) {
        m.ok = false;
        m.log = QStringLiteral("ffmpeg wrote an AVI without the expected chunks");
        return m;
    }
    data[entryEnd - 1] = char(0x20);
    data[chunk + 3] = 'X';
    f.seek(0);
    m.ok = f.write(data) == data.size();
    return m;
}

} // namespace

bool HaveProgram(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

QString RealWorldExtension(RealWorld kind)
{
    switch (kind) {
    case RealWorld::TsLongGopX264:
    case RealWorld::TsGStreamer:
        return QStringLiteral("ts");
    case RealWorld::Mp4LateStart:
        return QStringLiteral("mp4");
    case RealWorld::MkvLateStart:
    case RealWorld::SoundOutlastsPicture:
        return QStringLiteral("mkv");
    case RealWorld::WebmLive:
        return QStringLiteral("webm");
    case RealWorld::DamagedAvi:
        return QStringLiteral("avi");
    case RealWorld::Mp3SoundOnly:
        return QStringLiteral("mp3");
    case RealWorld::WavSoundOnly:
        return QStringLiteral("wav");
    }
    return QStringLiteral("bin");
}

RealWorldClip MakeRealWorldClip(RealWorld kind, const QString &path)
{
    if (!HaveProgram(QStringLiteral("ffmpeg")))
        return Missing(QStringLiteral("ffmpeg"));
    switch (kind) {
    case RealWorld::TsLongGopX264:
        return TsFromX264(path);
    case RealWorld::TsGStreamer:
        return TsFromGStreamer(path);
    case RealWorld::Mp4LateStart:
        return Run(QStringLiteral("ffmpeg"),
                   Quiet() + Lavfi(QStringLiteral("testsrc2=size=320x240:rate=25:duration=10"))
                       + Lavfi(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=10"))
                       + QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                                     QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("aac"),
                                     QStringLiteral("-output_ts_offset"), QStringLiteral("3"), path});
    case RealWorld::MkvLateStart:
        return FromRecipe(path, RecipeOf(QStringLiteral("libx264"), QStringLiteral("aac"), 25,
                                         {QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                                          QStringLiteral("-output_ts_offset"), QStringLiteral("100")},
                                         10));
    case RealWorld::WebmLive: {
        ClipRecipe recipe = RecipeOf(QStringLiteral("libvpx"), QStringLiteral("libopus"), 60,
                                     {QStringLiteral("-deadline"), QStringLiteral("realtime"), QStringLiteral("-live"),
                                      QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("webm")},
                                     8);
        recipe.rate = QStringLiteral("30");
        recipe.sampleRate = 48000;
        return FromRecipe(path, recipe);
    }
    case RealWorld::SoundOutlastsPicture:
        return Run(QStringLiteral("ffmpeg"),
                   Quiet() + Lavfi(QStringLiteral("testsrc2=size=320x240:rate=25:duration=4"))
                       + Lavfi(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=4.005"))
                       + QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                                     QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), path});
    case RealWorld::Mp3SoundOnly:
        return Run(QStringLiteral("ffmpeg"), Quiet() + Lavfi(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=2"))
                                                 + QStringList{QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), path});
    case RealWorld::WavSoundOnly:
        return Run(QStringLiteral("ffmpeg"), Quiet() + Lavfi(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=2"))
                                                 + QStringList{path});
    case RealWorld::DamagedAvi:
        return DamagedAvi(path);
    }
    return RealWorldClip();
}

} // namespace kc::test
