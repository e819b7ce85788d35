#include "clips.h"

#include <QProcess>

namespace kc::test {

QString RunTool(const QString &program, const QStringList &args, int *exitCode, QString *stdErr,
                int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        if (exitCode)
            *exitCode = -1;
        if (stdErr)
            *stdErr = p.errorString();
        return QString();
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    if (exitCode)
        *exitCode = (p.exitStatus() == QProcess::NormalExit) ? p.exitCode() : -1;
    if (stdErr)
        *stdErr = QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput());
}

ClipRecipe RecipeOf(const QString &videoCodec, const QString &audioCodec, int gop, const QStringList &extraOutputArgs,
                    double seconds)
{
    ClipRecipe r;
    r.seconds = seconds;
    r.videoCodec = videoCodec;
    r.audioCodec = audioCodec;
    r.gop = gop;
    r.extraOutputArgs = extraOutputArgs;
    return r;
}

bool MakeClip(const QString &path, const ClipRecipe &clipRecipe, QString *log)
{
    const QString dur = QString::number(clipRecipe.seconds, 'f', 3);
    QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("testsrc2=size=%1x%2:rate=%3:duration=%4")
                         .arg(clipRecipe.width).arg(clipRecipe.height).arg(clipRecipe.rate, dur)};
    if (!clipRecipe.audioCodec.isEmpty()) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2").arg(clipRecipe.sampleRate).arg(dur);
    }
    args << QStringLiteral("-c:v") << clipRecipe.videoCodec << QStringLiteral("-g") << QString::number(clipRecipe.gop);
    if (clipRecipe.videoCodec == QLatin1String("mpeg4") || clipRecipe.videoCodec == QLatin1String("mpeg2video")
        || clipRecipe.videoCodec == QLatin1String("mpeg1video"))
        args << QStringLiteral("-q:v") << QStringLiteral("4");
    if (!clipRecipe.audioCodec.isEmpty())
        args << QStringLiteral("-c:a") << clipRecipe.audioCodec << QStringLiteral("-ac") << QString::number(clipRecipe.channels);
    args << clipRecipe.extraOutputArgs << QStringLiteral("-shortest") << path;
    return RunFfmpeg(args, log);
}

bool RunFfmpeg(const QStringList &args, QString *log)
{
    int code = -1;
    QString err;
    RunTool(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error")} + args,
            &code, &err);
    if (log)
        *log = err;
    return code == 0;
}

QString ProbeValue(const QString &file, const QString &entries, const QString &streams)
{
    QStringList args{QStringLiteral("-v"), QStringLiteral("error")};
    if (!streams.isEmpty())
        args << QStringLiteral("-select_streams") << streams;
    args << QStringLiteral("-show_entries") << entries << QStringLiteral("-of")
         << QStringLiteral("default=nw=1:nk=1") << file;
    return RunTool(QStringLiteral("ffprobe"), args).trimmed();
}

int CountVideoFrames(const QString &file)
{
    const QString out = RunTool(QStringLiteral("ffprobe"),
                                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                                 QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                                 QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_frames"),
                                 QStringLiteral("-of"), QStringLiteral("default=nw=1:nk=1"), file});
    bool ok = false;
    // Transport streams list the stream again under their program: the first answer counts.
    const int n = out.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed().toInt(&ok);
    return ok ? n : -1;
}

QString BinDir()
{
    return QStringLiteral(KC_BIN_DIR "/");
}

} // namespace kc::test
