#include "support/mediachecks.h"

#include "support/clips.h"

#include <algorithm>

namespace kc::test {

namespace {

// The checksum column of ffmpeg's framemd5 output.
QStringList Checksums(const QString &file, const QStringList &selection)
{
    const QString text = RunTool(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-i", file} + selection
                                                                + QStringList{"-f", "framemd5", "-"});
    QStringList sums;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.startsWith(QLatin1Char('#')))
            sums << line.section(QLatin1Char(','), -1).trimmed();
    }
    return sums;
}

} // namespace

QString DecodeErrors(const QString &file)
{
    QString err;
    RunTool(QStringLiteral("ffmpeg"), {"-v", "error", "-i", file, "-f", "null", "-"}, nullptr, &err);
    return err.trimmed();
}

QStringList FrameChecksums(const QString &file)
{
    return Checksums(file, {"-map", "0:v:0"});
}

QStringList SoundPacketChecksums(const QString &file)
{
    return Checksums(file, {"-map", "0:a:0", "-c", "copy"});
}

double StreamSeconds(const QString &file, const QString &stream)
{
    const QString text =
        RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", stream, "-show_entries",
                                            "packet=pts_time,dts_time,duration_time", "-of", "csv=p=0", file});
    double first = 1e9, last = 0;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        bool ok = false;
        double at = line.section(QLatin1Char(','), 0, 0).toDouble(&ok);
        if (!ok)
            at = line.section(QLatin1Char(','), 1, 1).toDouble(&ok);
        if (!ok)
            continue;
        first = std::min(first, at);
        last = std::max(last, at + line.section(QLatin1Char(','), 2, 2).toDouble());
    }
    return last > first ? last - first : 0;
}

} // namespace kc::test
