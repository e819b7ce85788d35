#include "splitrunner.h"

#include "common/programfolder.h"
#include "components/videoedit/tvideoedit.h"
#include "split/naming.h"
#include "split/progresspercent.h"

namespace kc::cli {

namespace {
const QString kSaveFailed = QStringLiteral("视频文件保存失败,请改变输出路径后再试!");

QString WithReason(const QString &reason)
{
    return reason.isEmpty() ? kSaveFailed : kSaveFailed + QLatin1Char('\n') + reason;
}
} // namespace

SplitRunner::SplitRunner(TVideoEdit *videoEdit, const SplitJobSpec &job, RunReporter *reporter,
                         QObject *parent)
    : QObject(parent)
    , m_videoEdit(videoEdit)
    , m_spec(job)
    , m_reporter(reporter)
{
    connect(m_videoEdit, &TVideoEdit::OnProcessing, this, &SplitRunner::onProcessing);
    connect(m_videoEdit, &TVideoEdit::OnComplete, this, &SplitRunner::onComplete);
}

void SplitRunner::start()
{
    m_count = int(PieceCount(m_spec.mode, m_spec.inputs));
    m_ordinal = 1;
    startPiece(m_spec.mode == smCustom ? 0 : 1);
}

void SplitRunner::startPiece(int k)
{
    m_piece = k;
    TVideoEdit *ve = m_videoEdit;
    const QString input = m_spec.input;
    const SourceFacts source{
        [ve, input] { return QSize(ve->GetFileWidth(input), ve->GetFileHeight(input)); },
        [ve, input] { return ve->GetFileFrameRate(input); },
    };
    const OutputSettings settings = MapOutputSettings(m_spec.choice, ProgramFolder(), source);
    QString failed;
    if (!ApplyPropertyWrites(ve, settings.writes, &failed)) {
        m_reporter->error(WithReason(QStringLiteral("the editing component refuses %1").arg(failed)));
        finish(ExitRenderFailed);
        return;
    }
    ve->InitControl();

    const PieceRangeResult range = PieceRange(m_spec.mode, k, m_spec.inputs);
    if (!range.ok) {
        m_reporter->error(range.refusal);
        finish(ExitRefused);
        return;
    }
    // A source without sound is still split; whatever keeps the render from starting is
    // reported by Save.
    ve->AddVideo(input, range.start, range.stop, settings.stretchMode);
    ve->AddAudio(input, range.start, range.stop);

    m_path = SetFileName(input, m_spec.mode, k, m_spec.outputFolder, settings.outType);
    if (!ve->Save(m_path)) {
        m_reporter->error(WithReason(ve->LastError()));
        finish(ExitRenderFailed);
        return;
    }
    m_running = true;
    m_reporter->pieceStarted(m_ordinal, m_count, m_path);
}

void SplitRunner::onProcessing(double curPos, double duration)
{
    if (m_running)
        m_reporter->progress(ProgressPercent(curPos, duration));
}

void SplitRunner::onComplete(bool succeeded, const QString &reason)
{
    if (!m_running)
        return;
    m_running = false;
    if (!succeeded) {
        if (IsTailWithoutPicture(m_spec.mode, m_piece, m_spec.inputs, m_videoEdit->LastRenderWasAfterLastPicture())) {
            // Only sound is left after the last picture: every piece was written.
            m_reporter->pieceSkipped(QStringLiteral("only sound is left after the last picture"));
            finish(ExitOk);
            return;
        }
        m_reporter->error(WithReason(reason));
        finish(ExitRenderFailed);
        return;
    }
    m_reporter->progress(100);
    m_reporter->pieceWritten(m_path);
    if (m_spec.mode == smCustom) {
        finish(ExitOk);
        return;
    }
    const int next = m_piece + 1;
    if (!HasNextPiece(m_spec.mode, next, m_spec.inputs)) {
        finish(ExitOk);
        return;
    }
    ++m_ordinal;
    startPiece(next);
}

void SplitRunner::interrupt(int code)
{
    if (m_done)
        return;
    m_running = false;
    m_videoEdit->Stop();
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
