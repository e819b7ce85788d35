#include "encoderprocess.h"

#include "support/clips.h"
#include "support/mediachecks.h"

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

} // namespace kc::test
