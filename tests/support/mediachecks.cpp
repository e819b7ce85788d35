#include "support/mediachecks.h"

#include "support/clips.h"

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

} // namespace kc::test
