#include "encoderprocess.h"

#include "support/clips.h"

#include <QProcess>

namespace kc::test {

QString EncoderPath()
{
    return BinDir() + QStringLiteral("FileEncoder");
}

EncoderRun RunEncoder(const QStringList &args)
{
    QProcess p;
    p.start(EncoderPath(), args);
    EncoderRun r;
    if (!p.waitForStarted(10000)) {
        r.err = p.errorString();
        return r;
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    r.normalExit = p.exitStatus() == QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QStringList CutArgs(const QString &in, const QString &start, const QString &length, const QString &out)
{
    return {in, QStringLiteral("-ss"), start, QStringLiteral("-endpos"), length, QStringLiteral("-ovc"),
            QStringLiteral("copy"), QStringLiteral("-oac"), QStringLiteral("copy"), QStringLiteral("-o"), out};
}

QString DecodeErrors(const QString &file)
{
    QString err;
    RunTool(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file, QStringLiteral("-f"),
             QStringLiteral("null"), QStringLiteral("-")},
            nullptr, &err);
    return err.trimmed();
}

QStringList VideoFrameHashes(const QString &file)
{
    const QString text = RunTool(QStringLiteral("ffmpeg"),
                                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                                  QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-f"),
                                  QStringLiteral("framemd5"), QStringLiteral("-")});
    QStringList hashes;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('#')))
            continue;
        hashes << line.section(QLatin1Char(','), -1).trimmed();
    }
    return hashes;
}

} // namespace kc::test
