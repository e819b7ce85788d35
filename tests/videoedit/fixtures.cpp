#include "fixtures.h"

#include <functional>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

namespace kc::test {

QString WorkDir()
{
    static std::unique_ptr<QTemporaryDir> dir;
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kc videoedit 测试-XXXXXX"));
        if (!dir->isValid())
            ADD_FAILURE() << "cannot create a temporary folder";
        // For looking at the outputs of a failing test.
        if (qEnvironmentVariableIsSet("KC_KEEP_TEST_FILES"))
            dir->setAutoRemove(false);
    }
    return dir->path();
}

QString OutputPath(const QString &name)
{
    return WorkDir() + QStringLiteral("/输出 ") + name;
}

QString SourceClip(Source s)
{
    static std::map<Source, QString> made;
    auto it = made.find(s);
    if (it != made.end())
        return it->second;
    ClipRecipe clipRecipe;
    QString name;
    switch (s) {
    case Source::Avi:
        name = QStringLiteral("源 clip.avi");
        break;
    case Source::MpegPs:
        name = QStringLiteral("源 clip.mpg");
        clipRecipe.videoCodec = QStringLiteral("mpeg2video");
        clipRecipe.audioCodec = QStringLiteral("mp2");
        clipRecipe.extraOutputArgs = {QStringLiteral("-f"), QStringLiteral("vob")};
        break;
    case Source::Mp4BFrames:
        name = QStringLiteral("源 clip.mp4");
        clipRecipe.videoCodec = QStringLiteral("libx264");
        clipRecipe.audioCodec = QStringLiteral("aac");
        clipRecipe.extraOutputArgs = {QStringLiteral("-bf"), QStringLiteral("2"), QStringLiteral("-preset"),
                                QStringLiteral("ultrafast"), QStringLiteral("-x264-params"),
                                QStringLiteral("bframes=2:b-adapt=0")};
        break;
    case Source::AviNoSound:
        name = QStringLiteral("源 silent.avi");
        clipRecipe.seconds = 2;
        clipRecipe.audioCodec.clear();
        break;
    case Source::AviNtsc:
        name = QStringLiteral("源 ntsc.avi");
        clipRecipe.rate = QStringLiteral("30000/1001");
        break;
    case Source::Wide:
        name = QStringLiteral("源 wide.avi");
        clipRecipe.seconds = 2;
        clipRecipe.width = 320;
        clipRecipe.height = 180;
        break;
    }
    const QString path = WorkDir() + QLatin1Char('/') + name;
    QString log;
    if (!MakeClip(path, clipRecipe, &log))
        ADD_FAILURE() << "cannot make " << path.toStdString() << ": " << log.toStdString();
    made[s] = path;
    return path;
}

QString MadeClip(const QString &name, const QStringList &ffmpegArgs)
{
    static std::map<QString, QString> made;
    auto it = made.find(name);
    if (it != made.end())
        return it->second;
    const QString path = WorkDir() + QLatin1Char('/') + name;
    int code = -1;
    QString err;
    RunTool(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error")} << ffmpegArgs << path, &code,
            &err);
    if (code != 0) {
        ADD_FAILURE() << "cannot make " << path.toStdString() << ": " << err.toStdString();
        return QString();
    }
    made[name] = path;
    return path;
}

void SetClip(TVideoEdit &edit, const QString &file, double start, double stop, int stretch)
{
    edit.InitControl();
    edit.AddVideo(file, start, stop, int16_t(stretch));
    edit.AddAudio(file, start, stop);
}

namespace {

RenderOutcome StartAndWait(TVideoEdit &edit, const std::function<bool()> &start, int timeoutMs)
{
    RenderOutcome out;
    QEventLoop loop;
    auto c1 = QObject::connect(&edit, &TVideoEdit::OnComplete, &loop, [&](bool ok, const QString &why) {
        out.completed = true;
        out.succeeded = ok;
        out.reason = why;
        loop.quit();
    });
    auto c2 = QObject::connect(&edit, &TVideoEdit::OnProcessing, &loop, [&](double, double) { ++out.progressEvents; });
    out.saved = start();
    if (!out.saved) {
        out.reason = edit.LastError();
    } else {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    return out;
}

} // namespace

RenderOutcome SaveAndWait(TVideoEdit &edit, const QString &output, int timeoutMs)
{
    return StartAndWait(edit, [&] { return edit.Save(output); }, timeoutMs);
}

RenderOutcome SavePiecesAndWait(TVideoEdit &edit, const QStringList &outputs, int timeoutMs)
{
    return StartAndWait(edit, [&] { return edit.SavePieces(outputs); }, timeoutMs);
}

QStringList FilesNamedAfter(const QString &out)
{
    const QFileInfo fi(out);
    QStringList found;
    for (const QString &name : QDir(fi.absolutePath()).entryList(QDir::Files | QDir::Hidden))
        if (name.startsWith(fi.fileName()))
            found << name;
    return found;
}

double ProbeDouble(const QString &file, const QString &entries, const QString &streams)
{
    return ProbeValue(file, entries, streams).split(QLatin1Char('\n')).value(0).toDouble();
}

int ProbeInt(const QString &file, const QString &entries, const QString &streams)
{
    return ProbeValue(file, entries, streams).split(QLatin1Char('\n')).value(0).toInt();
}

QString ProbeRate(const QString &file)
{
    return ProbeValue(file, QStringLiteral("stream=r_frame_rate"), QStringLiteral("v:0"));
}

qint64 CountAudioSamples(const QString &file)
{
    const QString out = RunTool(QStringLiteral("ffprobe"),
                                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                 QStringLiteral("a:0"), QStringLiteral("-show_entries"),
                                 QStringLiteral("frame=nb_samples"), QStringLiteral("-of"), QStringLiteral("csv=p=0"),
                                 file});
    qint64 total = 0;
    // Lines read "1152" or, with side data, "1536,".
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        total += line.section(QLatin1Char(','), 0, 0).trimmed().toLongLong();
    return total;
}

double PictureSeconds(const QString &file)
{
    const QStringList rate = ProbeRate(file).split(QLatin1Char('/'));
    const double fps = rate.value(0).toDouble() / std::max(1.0, rate.value(1).toDouble());
    return fps > 0 ? CountVideoFrames(file) / fps : 0;
}

double SoundSeconds(const QString &file)
{
    const int rate = ProbeInt(file, QStringLiteral("stream=sample_rate"), QStringLiteral("a:0"));
    return rate > 0 ? double(CountAudioSamples(file)) / rate : 0;
}

QString PictureArea(const QString &file)
{
    QString err;
    RunTool(QStringLiteral("ffmpeg"), {QStringLiteral("-i"), file, QStringLiteral("-vf"),
                                       QStringLiteral("cropdetect=limit=24:round=2:reset=0"), QStringLiteral("-f"),
                                       QStringLiteral("null"), QStringLiteral("-")},
            nullptr, &err);
    const int at = err.lastIndexOf(QStringLiteral("crop="));
    return at < 0 ? QString() : err.mid(at + 5).section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace kc::test
