#include "mediaprobe.h"

#include "common/mediainfo.h"

#include <QRegularExpression>

#include <cmath>

namespace kc {

namespace {

double FrameRateOf(const QString &text)
{
    if (text.isEmpty())
        return 0.0;
    // A text that is not a decimal number counts as no frame rate, so that the probe still
    // replaces the previous file's total time.
    static const QRegularExpression number(QStringLiteral(R"(^[+-]?(\d+(\.\d*)?|\.\d+)([eE][+-]?\d+)?$)"));
    if (!number.match(text).hasMatch())
        return 0.0;
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

} // namespace

FastSplitProbe EvaluateProbe(const QString &frameRateText, const QString &generalPlayTime,
                             const QString &videoPlayTime)
{
    FastSplitProbe probe;
    probe.frameRate = FrameRateOf(frameRateText);
    probe.totalTime = PlayTimeSeconds(generalPlayTime, videoPlayTime);
    probe.unrecognised = probe.totalTime == 0.0 && probe.frameRate == 0.0;
    probe.parts = DecodeSeconds(probe.totalTime);
    return probe;
}

FastSplitProbe ProbeMediaFile(const QString &path)
{
    const std::optional<QStringList> texts = QueryMediaInfo(path, {{MiVideo, QStringLiteral("FrameRate")},
                                                                   {MiGeneral, QStringLiteral("PlayTime")},
                                                                   {MiVideo, QStringLiteral("PlayTime")}});
    if (!texts || texts->size() != 3)
        return EvaluateProbe(QString(), QString(), QString());
    return EvaluateProbe(texts->at(0), texts->at(1), texts->at(2));
}

QString FileTimeLabel(const TimeParts &parts)
{
    return QStringLiteral("[%1时%2分%3秒%4毫秒]").arg(parts.hour).arg(parts.minute).arg(parts.second).arg(parts.msec);
}

QString UnrecognisedFileMessage(const QString &path)
{
    return QStringLiteral("无法识别的视频文件!") + QChar(13) + path;
}

} // namespace kc
