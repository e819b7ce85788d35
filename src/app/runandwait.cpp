#include "runandwait.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

namespace kc {

int RunAndWait(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());

    QEventLoop loop;
    bool failedToStart = false;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failedToStart = true;
            loop.quit();
        }
    });
    process.start(program, arguments);
    if (!failedToStart && process.state() != QProcess::NotRunning)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (failedToStart || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

int RunStartupScript(const QString &programFolder)
{
    const QString script = programFolder + QStringLiteral("VideoEdit.sh");
    if (!QFileInfo(script).isFile())
        return -1;
    return RunAndWait(QStringLiteral("/bin/sh"), {script});
}

} // namespace kc
