#include "copysplit.h"

#include "copyplanning.h"
#include "keyframesahead.h"
#include "naming.h"
#include "progresspercent.h"

#include "components/streamcopy/copysource.h"
#include "components/streamcopy/exactcut.h"
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

CopySplitResult Finished(CopySplitResult::Status status, const QString &error, int written, int planned = 0,
                         bool notExact = false)
{
    CopySplitResult r;
    r.status = status;
    r.error = error;
    r.written = written;
    r.planned = planned;
    r.notExact = notExact;
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

QString CopySplitSummary(int written, int planned, bool notExact)
{
    QString text = QStringLiteral("分割完成! 共输出%1个文件。").arg(written);
    if (written < planned)
        text += QStringLiteral("\n有%1段之内没有关键帧，已并入相邻的文件。").arg(planned - written);
    if (notExact)
        text += QStringLiteral("\n此视频的编码或格式不能精确到帧，各段从关键帧开始。");
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
    bool notExact = false;
    const auto cannotBeExact = [&](const std::string &line) {
        if (!notExact && hooks.note)
            hooks.note(QString::fromStdString(line));
        notExact = true;
    };
    bool exact = job.exact;
    if (exact) {
        // Decided once for the whole split: pieces cut exactly next to keyframe pieces
        // would overlap.
        const std::string why = fileencoder::WhyNoExactCut(input, hooks.stop);
        if (stopped())
            return Finished(Status::Stopped, QString(), 0);
        if (!why.empty()) {
            exact = false;
            cannotBeExact("--exact: " + why + "; the pieces start on keyframes");
        }
    }
    // One reader serves every piece; where the container's index lists the keyframes, no
    // pass over the file is needed before the first piece is written.
    fileencoder::CopySource source;
    std::string openError;
    if (!source.Open(input, hooks.stop, &openError))
        return Finished(stopped() ? Status::Stopped : Status::Failed, stopped() ? QString() : Reason(openError), 0, 0, notExact);
    fileencoder::KeyframeScan described;
    std::unique_ptr<KeyframesAhead> ahead;
    // Exact cuts find their keyframes as they go: nothing to list first.
    if (!exact && !fileencoder::KeyframesFromIndex(source.Context(), &described)) {
        // The pass that lists the keyframes runs beside the copy: a piece waits only until
        // the pass has read past the next piece's planned start.
        ahead = std::make_unique<KeyframesAhead>(input, hooks.stop);
        if (!ahead->WaitDescribed(&described))
            return Finished(stopped() ? Status::Stopped : Status::Failed, stopped() ? QString() : Reason(ahead->Error()), 0, 0, notExact);
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
            return Finished(Status::Stopped, QString(), written, 0, notExact);
        const std::string why = noKeyframe || !ahead ? std::string("the video has no keyframe to start a piece on")
                                                     : ahead->Error();
        return Finished(Status::Failed, Reason(why), written, 0, notExact);
    };

    // Less than one frame, so that no cut moves by a whole picture for it.
    const int64_t slackUs = std::clamp<int64_t>(described.frameUs - 1000, 0, 100000);
    SeamlessPieceCursor cursor(planned, slackUs);
    const std::vector<CopyPiece> exactPieces = exact ? PlanExactCopyPieces(job.mode, planned) : std::vector<CopyPiece>();
    size_t nextExact = 0;
    bool rangeDone = false;
    // The next piece to copy; false when there is none (or the keyframes cannot be had).
    const auto nextPiece = [&](CopyPiece *piece, bool *failed) {
        *failed = false;
        if (exact) {
            if (nextExact == exactPieces.size())
                return false;
            *piece = exactPieces[nextExact++];
            return true;
        }
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
        if (exact)
            return static_cast<int>(exactPieces.size());
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
        // The first piece takes the source from its beginning; a plain copy keeps the sound
        // before the first picture too, an exact one starts every piece's sound with its
        // first picture.
        const bool first = job.mode != smCustom && piece.number == 1;
        request.startUs = first ? 0 : exact ? piece.startUs : piece.startUs + kEdgeUs;
        request.exact = exact;
        // Ending where the next piece starts (its keyframe, or its exact start): the engine
        // keeps the pictures shown before it and the sound packets nearer to the piece than
        // to the next.
        if (piece.endUs)
            request.lengthUs = *piece.endUs - request.startUs;
        const double pieceSeconds = (piece.endUs.value_or(sourceEndUs) - piece.startUs) / 1e6;

        fileencoder::CopyHooks copyHooks;
        copyHooks.stop = hooks.stop;
        // A piece found unfit for an exact cut after all (an open GOP further in) starts
        // on its keyframe.
        copyHooks.note = [&](const std::string &line) {
            // The engine words it for FileEncoder's option.
            cannotBeExact(line.rfind("-exact: ", 0) == 0 ? "-" + line : line);
        };
        if (hooks.progress)
            copyHooks.progress = [&](double seconds) { hooks.progress(ProgressPercent(seconds, pieceSeconds)); };
        const fileencoder::CopyResult copied = fileencoder::RunStreamCopy(request, copyHooks, source);
        if (stopped()) {
            QFile::remove(temporary);
            return Finished(Status::Stopped, QString(), written, 0, notExact);
        }
        if (!copied.ok && copied.pastTheEnd && written > 0) {
            // Planned from a length longer than the pictures (a timeline that starts before
            // them): every piece with a picture is written, as a re-encoded split ends.
            QFile::remove(temporary);
            return Finished(Status::Done, QString(), written, written, notExact);
        }
        if (!copied.ok)
            return Finished(Status::Failed, Reason(copied.error), written, 0, notExact);
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
    return Finished(Status::Done, QString(), written, static_cast<int>(planned.size()), notExact);
}

} // namespace kc
