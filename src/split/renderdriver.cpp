#include "split/renderdriver.h"

#include "common/messages.h"
#include "components/videoedit/tvideoedit.h"
#include "source/rangeentry.h"
#include "source/sourcemedia.h"
#include "split/copysplit.h"
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
    , m_split(new kc::SplitJob(parts.videoEdit, this))
{
    connect(m_split, &kc::SplitJob::pieceStarting, this, &RenderDriver::pieceStarting);
    connect(m_split, &kc::SplitJob::pieceStarted, this, &RenderDriver::pieceStarted);
    connect(m_split, &kc::SplitJob::progress, this, &RenderDriver::VideoEditProcessing);
    connect(m_split, &kc::SplitJob::pieceWritten, this, [this](int k) {
        if (k > 0)
            m_job.PieceIndex = k + 1;
    });
    connect(m_split, &kc::SplitJob::finished, this, [this](const SplitOutcome &outcome) {
        m_outcome = outcome;
        VideoEditComplete(outcome.status == SplitOutcome::Status::Done, outcome.message);
    });
    if (p.btSplitter)
        connect(p.btSplitter, &QAbstractButton::clicked, this, &RenderDriver::btSplitterClick);
    if (p.btStop)
        connect(p.btStop, &QAbstractButton::clicked, this, &RenderDriver::btStopClick);
}

RenderDriver::~RenderDriver() = default;

void RenderDriver::btSplitterClick()
{
    if (TSourceMedia.FileName.isEmpty() || m_split->isRunning())
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
    StartSplit(mode, mode == smCustom ? 0 : 1);
}

// Starts the job, whose first piece is i (0 for the custom range, else 1). What it is given is
// read here, once: the controls stay locked while it runs, so reading them again would give
// the same.
void RenderDriver::StartSplit(TSplitMode SplitMode, int i)
{
    SplitRequest request;
    request.input = TSourceMedia.FileName;
    request.mode = SplitMode;
    request.inputs = p.rangeEntry->ReadSplitInputs();
    request.choice = p.outputSettings->ReadChoice();
    request.outputFolder = p.edtOutput->text();
    m_job.PieceIndex = i;
    m_split->start(request);
}

// The numbered pieces name themselves first (a refused plan then puts the status back to
// rest); the custom piece only once its range stands.
void RenderDriver::pieceStarting(int k)
{
    m_job.PieceIndex = k;
    if (m_split->request().mode != smCustom)
        p.pnlHint->setText(QStringLiteral("提示：正在输出第%1个文件... ...").arg(k));
}

void RenderDriver::pieceStarted(int)
{
    if (m_split->request().mode == smCustom)
        p.pnlHint->setText(QStringLiteral("提示：正在分割... ..."));
    p.pgbHint->setValue(0);
}

void RenderDriver::VideoEditProcessing(double iCurPos, double iDuration)
{
    if (!m_split->isRunning())
        return;
    p.pgbHint->setValue(ProgressPercent(iCurPos, iDuration));
}

// The job has ended; m_outcome says how.
void RenderDriver::VideoEditComplete(bool succeeded, const QString &reason)
{
    if (succeeded) {
        if (m_outcome.copied) {
            ShowInfo(CopySplitSummary(m_outcome.written, m_outcome.planned, m_outcome.notExact));
            p.enableControl(true);
            resetStatus();
        } else {
            finishJob(); // every piece with a picture was written
        }
        return;
    }
    switch (m_outcome.status) {
    case SplitOutcome::Status::Refused:
        m_job.Stopped = true;
        resetStatus();
        ShowInfo(reason);
        p.enableControl(true);
        return;
    case SplitOutcome::Status::Failed:
        failJob(reason, m_outcome.piece);
        return;
    case SplitOutcome::Status::Done:
    case SplitOutcome::Status::Stopped:
        return;
    }
}

void RenderDriver::btStopClick()
{
    // Returns once the unfinished piece is removed.
    m_split->stop();
    p.enableControl(true);
    resetStatus();
    m_job.Stopped = true;
}

void RenderDriver::StopForClose()
{
    if (!m_split->isRunning())
        return;
    m_job.Stopped = true;
    m_split->stop();
}

void RenderDriver::finishJob()
{
    ShowInfo(QStringLiteral("分割完成!"));
    p.enableControl(true);
    resetStatus();
}

void RenderDriver::failJob(const QString &reason, int piece)
{
    // Once the box is closed nothing runs any more: the status says which piece failed
    // instead of still reporting it as being written.
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
