#include "split/splitjob.h"

#include "common/programfolder.h"
#include "components/videoedit/tvideoedit.h"
#include "split/copysplitrunner.h"
#include "split/naming.h"

namespace kc {

SplitJob::SplitJob(TVideoEdit *videoEdit, QObject *parent)
    : QObject(parent)
    , m_videoEdit(videoEdit)
{
    qRegisterMetaType<kc::SplitOutcome>();
    connect(m_videoEdit, &TVideoEdit::OnProcessing, this, &SplitJob::onProcessing);
    connect(m_videoEdit, &TVideoEdit::OnComplete, this, &SplitJob::onComplete);
    connect(m_videoEdit, &TVideoEdit::OnPieceComplete, this, &SplitJob::onPieceComplete);
}

SplitJob::~SplitJob()
{
    stop();
}

void SplitJob::start(const SplitRequest &request)
{
    stop();
    m_request = request;
    m_running = true;
    m_count = int(PieceCount(request.mode, request.inputs));
    m_ordinal = 1;
    m_piecePaths.clear();
    if (request.choice.format == OutFormat::Copy) {
        startCopy();
        return;
    }
    if (request.mode != smCustom && startPieces())
        return;
    startPiece(request.mode == smCustom ? 0 : 1);
}

void SplitJob::fail(int piece, const QString &message)
{
    SplitOutcome o;
    o.status = SplitOutcome::Status::Failed;
    o.message = message;
    o.piece = piece;
    finish(o);
}

// The output properties, written for piece k; false (the job finished) when one is refused.
bool SplitJob::applySettings(int k)
{
    TVideoEdit *ve = m_videoEdit;
    const QString input = m_request.input;
    const SourceFacts source{
        [ve, input] { return QSize(ve->GetFileWidth(input), ve->GetFileHeight(input)); },
        [ve, input] { return ve->GetFileFrameRate(input); },
    };
    const OutputSettings settings = MapOutputSettings(m_request.choice, ProgramFolder(), source);
    QString failed;
    if (!ApplyPropertyWrites(ve, settings.writes, &failed)) {
        fail(k, QStringLiteral("无法设置输出属性 %1").arg(failed));
        return false;
    }
    m_settings = settings;
    ve->InitControl();
    return true;
}

// Parts and by-time pieces: all in one render, when every piece's range stands. False when
// they are to be rendered one by one instead (a range is refused: the pieces before it are
// written first, as they would be one by one).
bool SplitJob::startPieces()
{
    QList<PieceRangeResult> ranges;
    for (int k = 1; k == 1 || HasNextPiece(m_request.mode, k, m_request.inputs); ++k) {
        ranges << PieceRange(m_request.mode, k, m_request.inputs);
        if (!ranges.last().ok)
            return false;
    }
    if (ranges.size() < 2)
        return false;
    m_piece = 1;
    emit pieceStarting(1, m_ordinal, m_count);
    if (!m_running || !applySettings(1))
        return true;
    TVideoEdit *ve = m_videoEdit;
    for (int i = 0; i < ranges.size(); ++i) {
        // A source without sound is still split: AddAudio's answer does not matter here.
        ve->AddVideo(m_request.input, ranges.at(i).start, ranges.at(i).stop, m_settings.stretchMode);
        ve->AddAudio(m_request.input, ranges.at(i).start, ranges.at(i).stop);
        m_piecePaths << SetFileName(m_request.input, m_request.mode, i + 1, m_request.outputFolder, m_settings.outType);
    }
    m_path = m_piecePaths.first();
    if (!ve->SavePieces(m_piecePaths)) {
        fail(1, ve->LastError());
        return true;
    }
    m_rendering = true;
    emit pieceStarted(1, m_ordinal, m_count, m_path);
    return true;
}

// Piece index + 1 is written; the next one is under way.
void SplitJob::onPieceComplete(int index)
{
    if (!m_running || !m_rendering || index + 1 >= m_piecePaths.size())
        return;
    emit pieceWritten(index + 1, m_piecePaths.at(index));
    if (!m_running)
        return;
    m_piece = index + 2;
    m_path = m_piecePaths.at(index + 1);
    ++m_ordinal;
    emit pieceStarting(m_piece, m_ordinal, m_count);
    if (m_running)
        emit pieceStarted(m_piece, m_ordinal, m_count, m_path);
}

void SplitJob::startPiece(int k)
{
    m_piece = k;
    emit pieceStarting(k, m_ordinal, m_count);
    if (!m_running || !applySettings(k))
        return; // a handler stopped the job, or the settings were refused
    TVideoEdit *ve = m_videoEdit;
    const QString &input = m_request.input;
    const OutputSettings &settings = m_settings;

    const PieceRangeResult range = PieceRange(m_request.mode, k, m_request.inputs);
    if (!range.ok) {
        SplitOutcome o;
        o.status = SplitOutcome::Status::Refused;
        o.message = range.refusal;
        finish(o);
        return;
    }
    // A source without sound is still split, so AddAudio's answer does not end the piece;
    // whatever keeps the render from starting is reported by Save.
    ve->AddVideo(input, range.start, range.stop, settings.stretchMode);
    ve->AddAudio(input, range.start, range.stop);

    m_path = SetFileName(input, m_request.mode, k, m_request.outputFolder, settings.outType);
    if (!ve->Save(m_path)) {
        fail(k, ve->LastError());
        return;
    }
    m_rendering = true;
    emit pieceStarted(k, m_ordinal, m_count, m_path);
}

void SplitJob::onProcessing(double at, double total)
{
    if (m_running && m_rendering)
        emit progress(at, total);
}

void SplitJob::onComplete(bool succeeded, const QString &reason)
{
    // A completion with no piece running, or while the component already renders a later
    // one, belongs to a render that was stopped: it must not start or finish anything.
    if (!m_running || !m_rendering || m_videoEdit->IsRendering())
        return;
    m_rendering = false;
    if (!succeeded && !m_piecePaths.isEmpty())
        m_piece = m_videoEdit->LastFailedPiece() + 1; // rendered together: which one failed
    if (!succeeded) {
        SplitOutcome o;
        if (IsTailWithoutPicture(m_request.mode, m_piece, m_request.inputs, m_videoEdit->LastRenderWasAfterLastPicture())) {
            // Every piece with a picture was written.
            o.skippedTailWithoutPicture = true;
        } else {
            o.status = SplitOutcome::Status::Failed;
            o.message = reason;
            o.piece = m_piece;
        }
        finish(o);
        return;
    }
    emit pieceWritten(m_piece, m_path);
    if (!m_running)
        return;
    const int next = m_piece + 1;
    if (m_request.mode == smCustom || !HasNextPiece(m_request.mode, next, m_request.inputs)) {
        finish(SplitOutcome());
        return;
    }
    ++m_ordinal;
    startPiece(next);
}

void SplitJob::startCopy()
{
    CopySplitJob job;
    job.input = m_request.input;
    job.mode = m_request.mode;
    job.inputs = m_request.inputs;
    job.outputFolder = m_request.outputFolder;
    job.exact = m_request.choice.copyExact;
    m_copy = std::make_unique<CopySplitRunner>();
    connect(m_copy.get(), &CopySplitRunner::pieceStarted, this, [this](int ordinal, int count, const QString &path) {
        if (!m_running)
            return;
        m_piece = m_request.mode == smCustom ? 0 : ordinal;
        m_ordinal = ordinal;
        m_count = count;
        m_path = path;
        emit pieceStarting(m_piece, ordinal, count);
        emit pieceStarted(m_piece, ordinal, count, path);
    });
    connect(m_copy.get(), &CopySplitRunner::progress, this, [this](int percent) {
        if (m_running)
            emit progress(percent, 100);
    });
    connect(m_copy.get(), &CopySplitRunner::pieceWritten, this, [this](const QString &path) {
        if (m_running)
            emit pieceWritten(m_piece, path);
    });
    connect(m_copy.get(), &CopySplitRunner::note, this, [this](const QString &line) {
        if (m_running)
            emit note(line);
    });
    connect(m_copy.get(), &CopySplitRunner::finished, this, &SplitJob::copyFinished);
    m_copy->start(job);
}

void SplitJob::copyFinished(const CopySplitResult &result)
{
    // The runner is still emitting: it goes once control is back in the event loop.
    if (m_copy)
        m_copy.release()->deleteLater();
    if (!m_running)
        return;
    SplitOutcome o;
    o.copied = true;
    o.written = result.written;
    o.planned = result.planned;
    o.notExact = result.notExact;
    o.message = result.error;
    switch (result.status) {
    case CopySplitResult::Status::Done:
        break;
    case CopySplitResult::Status::Refused:
        o.status = SplitOutcome::Status::Refused;
        break;
    case CopySplitResult::Status::Failed:
        o.status = SplitOutcome::Status::Failed;
        o.piece = m_request.mode == smCustom ? 0 : result.written + 1;
        break;
    case CopySplitResult::Status::Stopped:
        o.status = SplitOutcome::Status::Stopped;
        break;
    }
    finish(o);
}

void SplitJob::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_rendering = false;
    // Waits for the copy to remove its unfinished piece.
    m_copy.reset();
    m_videoEdit->Stop();
    m_videoEdit->ReleaseSource();
}

void SplitJob::finish(SplitOutcome outcome)
{
    m_running = false;
    m_rendering = false;
    // The source the component kept open for a following piece is not needed any more.
    m_videoEdit->ReleaseSource();
    emit finished(outcome);
}

} // namespace kc
