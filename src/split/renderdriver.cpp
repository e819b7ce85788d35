#include "split/renderdriver.h"

#include "common/messages.h"
#include "components/videoedit/tvideoedit.h"
#include "source/rangeentry.h"
#include "source/sourcemedia.h"
#include "split/copysplitrunner.h"
#include "split/naming.h"
#include "split/outputsettingspage.h"
#include "split/progresspercent.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

namespace kc {

namespace {
const QString kRestingHint = QStringLiteral("提示：");
const QString kSaveFailed = QStringLiteral("视频文件保存失败,请改变输出路径后再试!");
} // namespace

RenderDriver::RenderDriver(const RenderDriverParts &parts, QObject *parent)
    : QObject(parent)
    , p(parts)
{
    connect(p.videoEdit, &TVideoEdit::OnProcessing, this, &RenderDriver::VideoEditProcessing);
    connect(p.videoEdit, &TVideoEdit::OnComplete, this, &RenderDriver::VideoEditComplete);
    if (p.btSplitter)
        connect(p.btSplitter, &QAbstractButton::clicked, this, &RenderDriver::btSplitterClick);
    if (p.btStop)
        connect(p.btStop, &QAbstractButton::clicked, this, &RenderDriver::btStopClick);
}

RenderDriver::~RenderDriver() = default;

void RenderDriver::btSplitterClick()
{
    if (TSourceMedia.FileName.isEmpty() || m_running)
        return;
    if (p.stopPreview)
        p.stopPreview();
    m_job.Stopped = false;
    p.enableControl(false);

    const TSplitMode mode = p.rangeEntry->ReadSplitMode();
    if (mode == smCustom && !p.rangeEntry->ReadCustomRange()) {
        // The fields could not be read; the plain box has said so.
        resetStatus();
        p.enableControl(true);
        return;
    }
    const QString refusal = CheckSplitJob(mode, p.rangeEntry->ReadSplitInputs());
    if (!refusal.isEmpty()) {
        resetStatus();
        ShowInfo(refusal);
        p.enableControl(true);
        return;
    }

    // The mode is kept for the job: the radio buttons are locked while it runs, so this is
    // what reading them again would give.
    m_mode = mode;
    m_running = true;
    if (p.outputSettings->ReadChoice().format == OutFormat::Copy) {
        startCopy(mode);
        return;
    }
    if (mode == smCustom) {
        StartSplit(smCustom, 0);
    } else {
        m_job.PieceIndex = 1;
        StartSplit(mode, 1);
    }
}

void RenderDriver::StartSplit(TSplitMode SplitMode, int i)
{
    int16_t stretchMode = 0;
    QString error;
    if (!p.outputSettings->ApplyOutputSettings(TSourceMedia.FileName, &stretchMode, &error)) {
        failJob(error, i);
        return;
    }
    p.videoEdit->InitControl();

    // The custom piece names itself only once its range stands; the numbered pieces name
    // themselves first (a refused plan then puts the status back to rest).
    const SplitInputs inputs = p.rangeEntry->ReadSplitInputs();
    if (SplitMode != smCustom)
        p.pnlHint->setText(QStringLiteral("提示：正在输出第%1个文件... ...").arg(i));
    const PieceRangeResult range = PieceRange(SplitMode, i, inputs);
    if (!range.ok) {
        m_running = false;
        m_job.Stopped = true;
        resetStatus();
        ShowInfo(range.refusal);
        p.enableControl(true);
        return;
    }
    if (SplitMode == smCustom)
        p.pnlHint->setText(QStringLiteral("提示：正在分割... ..."));

    // A source without sound is still split, so AddAudio's answer does not end the piece;
    // whatever keeps the render from starting is reported by Save.
    p.videoEdit->AddVideo(TSourceMedia.FileName, range.start, range.stop, stretchMode);
    p.videoEdit->AddAudio(TSourceMedia.FileName, range.start, range.stop);

    const QString path = SetFileName(TSourceMedia.FileName, SplitMode, i, p.edtOutput->text(),
                                     p.outputSettings->CheckOutType());
    if (!p.videoEdit->Save(path)) {
        failJob(p.videoEdit->LastError(), i);
        return;
    }
    p.pgbHint->setValue(0);
}

void RenderDriver::VideoEditProcessing(double iCurPos, double iDuration)
{
    if (!m_running)
        return;
    p.pgbHint->setValue(ProgressPercent(iCurPos, iDuration));
}

void RenderDriver::VideoEditComplete(bool succeeded, const QString &reason)
{
    // A completion with no job running, or while the component already renders a later
    // piece, belongs to a render that was stopped: it must not start or finish anything.
    if (!m_running || p.videoEdit->IsRendering())
        return;
    if (!succeeded) {
        if (IsTailWithoutPicture(m_mode, m_job.PieceIndex, p.rangeEntry->ReadSplitInputs(),
                                 p.videoEdit->LastRenderWasAfterLastPicture()))
            finishJob(); // every piece with a picture was written
        else
            failJob(reason, m_mode == smCustom ? 0 : m_job.PieceIndex);
        return;
    }
    if (m_mode == smCustom) {
        finishJob();
        return;
    }
    ++m_job.PieceIndex;
    if (HasNextPiece(m_mode, m_job.PieceIndex, p.rangeEntry->ReadSplitInputs()) && !m_job.Stopped)
        StartSplit(m_mode, m_job.PieceIndex);
    else
        finishJob();
}

void RenderDriver::startCopy(TSplitMode mode)
{
    CopySplitJob job;
    job.input = TSourceMedia.FileName;
    job.mode = mode;
    job.inputs = p.rangeEntry->ReadSplitInputs();
    job.outputFolder = p.edtOutput->text();
    job.exact = p.outputSettings->ReadChoice().copyExact;
    m_copy = std::make_unique<CopySplitRunner>();
    connect(m_copy.get(), &CopySplitRunner::pieceStarted, this, [this](int ordinal, int, const QString &) {
        m_job.PieceIndex = ordinal;
        p.pnlHint->setText(m_mode == smCustom ? QStringLiteral("提示：正在分割... ...")
                                              : QStringLiteral("提示：正在输出第%1个文件... ...").arg(ordinal));
        p.pgbHint->setValue(0);
    });
    connect(m_copy.get(), &CopySplitRunner::progress, this, [this](int percent) {
        if (m_running)
            p.pgbHint->setValue(percent);
    });
    connect(m_copy.get(), &CopySplitRunner::finished, this, &RenderDriver::copyFinished);
    m_copy->start(job);
}

void RenderDriver::copyFinished(const CopySplitResult &result)
{
    // The runner is still emitting: it goes once control is back in the event loop.
    if (m_copy)
        m_copy.release()->deleteLater();
    if (!m_running)
        return;
    switch (result.status) {
    case CopySplitResult::Status::Done:
        m_running = false;
        ShowInfo(CopySplitSummary(result.written, result.planned, result.notExact));
        p.enableControl(true);
        resetStatus();
        return;
    case CopySplitResult::Status::Refused:
        m_running = false;
        m_job.Stopped = true;
        resetStatus();
        ShowInfo(result.error);
        p.enableControl(true);
        return;
    case CopySplitResult::Status::Failed:
        failJob(result.error, m_mode == smCustom ? 0 : result.written + 1);
        return;
    case CopySplitResult::Status::Stopped:
        return;
    }
}

void RenderDriver::btStopClick()
{
    if (m_copy) {
        // Waits for the copy to remove its unfinished piece.
        m_copy.reset();
        m_running = false;
        p.enableControl(true);
        resetStatus();
        m_job.Stopped = true;
        return;
    }
    m_running = false;
    p.videoEdit->Stop();
    p.enableControl(true);
    resetStatus();
    m_job.Stopped = true;
}

void RenderDriver::StopForClose()
{
    m_copy.reset();
    if (!m_running)
        return;
    m_running = false;
    m_job.Stopped = true;
    p.videoEdit->Stop();
}

void RenderDriver::finishJob()
{
    m_running = false;
    ShowInfo(QStringLiteral("分割完成!"));
    p.enableControl(true);
    resetStatus();
}

void RenderDriver::failJob(const QString &reason, int piece)
{
    // Once the box is closed nothing runs any more: the status says which piece failed
    // instead of still reporting it as being written.
    m_running = false;
    p.pnlHint->setText(piece > 0 ? QStringLiteral("提示：第%1个文件保存失败").arg(piece)
                                 : QStringLiteral("提示：分割失败"));
    p.pgbHint->setValue(0);
    ShowInfo(reason.isEmpty() ? kSaveFailed : kSaveFailed + QLatin1Char('\n') + reason);
    m_job.Stopped = true;
    p.enableControl(true);
}

void RenderDriver::resetStatus()
{
    p.pnlHint->setText(kRestingHint);
    p.pgbHint->setValue(0);
}

} // namespace kc
