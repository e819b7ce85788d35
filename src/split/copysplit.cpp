#include "copysplit.h"

#include "copyplanning.h"
#include "keyframesahead.h"
#include "naming.h"
#include "progresspercent.h"

#include "components/streamcopy/copysource.h"
#include "components/streamcopy/keyframescan.h"
#include "components/streamcopy/streamcopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kc {

namespace {

// How far after a piece's keyframe the engine is asked to start: it starts on the keyframe
// at or before that, and a margin well under one frame keeps the asked time clear of
// rounding.
constexpr int64_t kEdgeUs = 500;

CopySplitResult Finished(CopySplitResult::Status status, const QString &error, int written, int planned = 0)
{
    CopySplitResult r;
    r.status = status;
    r.error = error;
    r.written = written;
    r.planned = planned;
    return r;
}

QString Reason(const std::string &reason)
{
    return QString::fromStdString(reason);
}

// A name beside the piece, hidden, with the piece's own extension (the muxer of a family
// such as MP4/MOV is picked by it), that no file has yet.
QString TemporaryName(const QString &finalPath)
{
    const QFileInfo info(finalPath);
    const QString extension = SourceExtension(info.fileName());
    const QString base = info.fileName().left(info.fileName().size() - extension.size());
    for (int n = 0;; ++n) {
        const QString candidate = info.dir().filePath(QStringLiteral(".%1.part%2%3").arg(base).arg(n).arg(extension));
        if (!defaultFileExists(candidate))
            return candidate;
    }
}

} // namespace

QString CopySplitSummary(int written, int planned)
{
    QString text = QStringLiteral("分割完成! 共输出%1个文件。").arg(written);
    if (written < planned)
        text += QStringLiteral("\n有%1段之内没有关键帧，已并入相邻的文件。").arg(planned - written);
    return text;
}

CopySplitResult RunCopySplit(const CopySplitJob &job, const CopySplitHooks &hooks)
{
    using Status = CopySplitResult::Status;
    const QString refusal = CheckSplitJob(job.mode, job.inputs);
    if (!refusal.isEmpty())
        return Finished(Status::Refused, refusal, 0);
    const std::vector<PlannedPiece> planned = PlannedPieces(job.mode, job.inputs);
    if (planned.empty())
        return Finished(Status::Refused, QStringLiteral("无法识别的视频文件!"), 0);

    const auto stopped = [&hooks] { return hooks.stop && *hooks.stop; };
    const std::string input = QFile::encodeName(job.input).toStdString();
    // One reader serves every piece; where the container's index lists the keyframes, no
    // pass over the file is needed before the first piece is written.
    fileencoder::CopySource source;
    std::string openError;
    if (!source.Open(input, hooks.stop, &openError))
        return stopped() ? Finished(Status::Stopped, QString(), 0) : Finished(Status::Failed, Reason(openError), 0);
    fileencoder::KeyframeScan described;
    std::unique_ptr<KeyframesAhead> ahead;
    if (!fileencoder::KeyframesFromIndex(source.Context(), &described)) {
        // The pass that lists the keyframes runs beside the copy: a piece waits only until
        // the pass has read past the next piece's planned start.
        ahead = std::make_unique<KeyframesAhead>(input, hooks.stop);
        if (!ahead->WaitDescribed(&described))
            return stopped() ? Finished(Status::Stopped, QString(), 0) : Finished(Status::Failed, Reason(ahead->Error()), 0);
    }
    bool noKeyframe = false;
    const auto keyframesUpTo = [&](int64_t us) -> const std::vector<int64_t> * {
        const std::vector<int64_t> *keyframes = ahead ? ahead->UpTo(us) : &described.keyframesUs;
        if (keyframes && described.hasVideo && keyframes->empty()) {
            noKeyframe = true;
            return nullptr;
        }
        return keyframes;
    };
    const auto failure = [&](int written) {
        if (stopped())
            return Finished(Status::Stopped, QString(), written);
        const std::string why = noKeyframe || !ahead ? std::string("the video has no keyframe to start a piece on")
                                                     : ahead->Error();
        return Finished(Status::Failed, Reason(why), written);
    };

    // Less than one frame, so that no cut moves by a whole picture for it.
    const int64_t slackUs = std::clamp<int64_t>(described.frameUs - 1000, 0, 100000);
    SeamlessPieceCursor cursor(planned, slackUs);
    bool rangeDone = false;
    // The next piece to copy; false when there is none (or the keyframes cannot be had).
    const auto nextPiece = [&](CopyPiece *piece, bool *failed) {
        *failed = false;
        if (job.mode == smCustom) {
            if (rangeDone)
                return false;
            rangeDone = true;
            const std::vector<int64_t> *keyframes = keyframesUpTo(planned.front().startUs + slackUs);
            *failed = keyframes == nullptr;
            if (keyframes)
                *piece = PlanRangeCopyPiece(planned.front(), *keyframes, slackUs);
            return keyframes != nullptr;
        }
        const SeamlessPieceCursor::Step step = cursor.Next(keyframesUpTo, piece);
        *failed = step == SeamlessPieceCursor::Step::Failed;
        return step == SeamlessPieceCursor::Step::Piece;
    };
    // How many pieces there are: exact once every keyframe is known, else at most this many.
    const auto pieceCount = [&] {
        if (job.mode == smCustom)
            return 1;
        const std::vector<int64_t> *all = ahead ? ahead->AllIfFinished() : &described.keyframesUs;
        return all ? static_cast<int>(PlanSeamlessCopyPieces(planned, *all, slackUs).size()) : cursor.CountAtMost();
    };
    const int64_t sourceEndUs = described.durationUs > 0 ? described.durationUs
                                                         : static_cast<int64_t>(job.inputs.duration * 1e6);
    const QString extension = SourceExtension(job.input);

    int written = 0;
    for (;;) {
        CopyPiece piece;
        bool failed = false;
        if (!nextPiece(&piece, &failed)) {
            if (failed)
                return failure(written);
            break;
        }
        const QString path = SetFileNameWithExtension(job.input, job.mode, piece.number, job.outputFolder, extension);
        const QString temporary = TemporaryName(path);
        if (hooks.pieceStarted)
            hooks.pieceStarted(written + 1, pieceCount(), path);

        fileencoder::CopyRequest request;
        request.input = input;
        request.output = QFile::encodeName(temporary).toStdString();
        // The first piece takes the source from its beginning, sound before the first
        // picture included.
        const bool first = job.mode != smCustom && piece.number == 1;
        request.startUs = first ? 0 : piece.startUs + kEdgeUs;
        // Ending on the next piece's keyframe: the engine keeps the pictures shown before it
        // and the sound packets nearer to the piece than to the next.
        if (piece.endUs)
            request.lengthUs = *piece.endUs - request.startUs;
        const double pieceSeconds = (piece.endUs.value_or(sourceEndUs) - piece.startUs) / 1e6;

        fileencoder::CopyHooks copyHooks;
        copyHooks.stop = hooks.stop;
        if (hooks.progress)
            copyHooks.progress = [&](double seconds) { hooks.progress(ProgressPercent(seconds, pieceSeconds)); };
        const fileencoder::CopyResult copied = fileencoder::RunStreamCopy(request, copyHooks, source);
        if (stopped()) {
            QFile::remove(temporary);
            return Finished(Status::Stopped, QString(), written);
        }
        if (!copied.ok)
            return Finished(Status::Failed, Reason(copied.error), written);
        // rename() replaces a piece of the same name, as a re-encoded split does.
        if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
            const int e = errno;
            QFile::remove(temporary);
            return Finished(Status::Failed, Reason(std::string("cannot name the piece ") + QFile::encodeName(path).toStdString() + ": " + std::strerror(e)), written);
        }
        ++written;
        if (hooks.progress)
            hooks.progress(100);
        if (hooks.pieceWritten)
            hooks.pieceWritten(path);
    }
    return Finished(Status::Done, QString(), written, static_cast<int>(planned.size()));
}

} // namespace kc
