#include "copyrun.h"

#include "split/copysplit.h"

#include <csignal>

namespace kc::cli {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int sig)
{
    g_stopSignal = sig;
}

// No SA_RESTART: a blocking read returns, so the copy notices the stop at once.
void WatchStopSignals()
{
    struct sigaction sa = {};
    sa.sa_handler = &OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

QString CopySummaryLine(int written, int planned)
{
    QString line = written == 1 ? QStringLiteral("1 piece written") : QStringLiteral("%1 pieces written").arg(written);
    if (written < planned) {
        const int merged = planned - written;
        line += merged == 1 ? QStringLiteral(" (1 planned piece held no keyframe of its own and was merged with its neighbour)")
                            : QStringLiteral(" (%1 planned pieces held no keyframe of their own and were merged with their neighbours)").arg(merged);
    }
    return line;
}

int RunCopySplitJob(const SplitJobSpec &job, RunReporter *reporter)
{
    WatchStopSignals();
    CopySplitJob copyJob;
    copyJob.input = job.input;
    copyJob.mode = job.mode;
    copyJob.inputs = job.inputs;
    copyJob.outputFolder = job.outputFolder;
    copyJob.exact = job.exact;

    CopySplitHooks hooks;
    hooks.pieceStarted = [reporter](int ordinal, int count, const QString &path) { reporter->pieceStarted(ordinal, count, path); };
    hooks.progress = [reporter](int percent) { reporter->progress(percent); };
    hooks.pieceWritten = [reporter](const QString &path) { reporter->pieceWritten(path); };
    hooks.note = [reporter](const QString &line) { reporter->note(line); };
    hooks.stop = &g_stopSignal;

    const CopySplitResult result = RunCopySplit(copyJob, hooks);
    switch (result.status) {
    case CopySplitResult::Status::Done:
        reporter->note(CopySummaryLine(result.written, result.planned));
        return ExitOk;
    case CopySplitResult::Status::Refused:
        reporter->error(result.error);
        return ExitRefused;
    case CopySplitResult::Status::Stopped:
        reporter->error(QStringLiteral("interrupted: the unfinished piece was removed"));
        return g_stopSignal == SIGTERM ? 128 + SIGTERM : ExitInterrupted;
    case CopySplitResult::Status::Failed:
        break;
    }
    // Worded as a failed render is.
    const QString saveFailed = QStringLiteral("视频文件保存失败,请改变输出路径后再试!");
    reporter->error(result.error.isEmpty() ? saveFailed : saveFailed + QLatin1Char('\n') + result.error);
    return ExitRenderFailed;
}

} // namespace kc::cli
