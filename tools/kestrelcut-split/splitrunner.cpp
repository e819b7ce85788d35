#include "splitrunner.h"

#include "split/progresspercent.h"

namespace kc::cli {

namespace {
const QString kSaveFailed = QStringLiteral("视频文件保存失败,请改变输出路径后再试!");

QString WithReason(const QString &reason)
{
    return reason.isEmpty() ? kSaveFailed : kSaveFailed + QLatin1Char('\n') + reason;
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

SplitRunner::SplitRunner(TVideoEdit *videoEdit, const SplitRequest &job, RunReporter *reporter, QObject *parent)
    : QObject(parent)
    , m_job(videoEdit)
    , m_request(job)
    , m_reporter(reporter)
{
    connect(&m_job, &SplitJob::pieceStarted, this, [this](int, int ordinal, int count, const QString &path) {
        m_reporter->pieceStarted(ordinal, count, path);
    });
    connect(&m_job, &SplitJob::progress, this, [this](double at, double total) {
        m_reporter->progress(ProgressPercent(at, total));
    });
    connect(&m_job, &SplitJob::pieceWritten, this, [this](int, const QString &path) {
        if (m_request.choice.format != OutFormat::Copy)
            m_reporter->progress(100);
        m_reporter->pieceWritten(path);
    });
    connect(&m_job, &SplitJob::note, this, [this](const QString &line) { m_reporter->note(line); });
    connect(&m_job, &SplitJob::finished, this, &SplitRunner::onFinished);
}

void SplitRunner::start()
{
    m_job.start(m_request);
}

void SplitRunner::onFinished(const SplitOutcome &outcome)
{
    switch (outcome.status) {
    case SplitOutcome::Status::Done:
        if (outcome.skippedTailWithoutPicture)
            m_reporter->pieceSkipped(QStringLiteral("only sound is left after the last picture"));
        if (outcome.copied)
            m_reporter->note(CopySummaryLine(outcome.written, outcome.planned));
        finish(ExitOk);
        return;
    case SplitOutcome::Status::Refused:
        m_reporter->error(outcome.message);
        finish(ExitRefused);
        return;
    case SplitOutcome::Status::Failed:
        m_reporter->error(WithReason(outcome.message));
        finish(ExitRenderFailed);
        return;
    case SplitOutcome::Status::Stopped:
        m_reporter->error(QStringLiteral("interrupted: the unfinished piece was removed"));
        finish(ExitInterrupted);
        return;
    }
}

void SplitRunner::interrupt(int code)
{
    if (m_done)
        return;
    m_job.stop();
    finish(code);
}

void SplitRunner::finish(int code)
{
    if (m_done)
        return;
    m_done = true;
    emit finished(code);
}

} // namespace kc::cli
