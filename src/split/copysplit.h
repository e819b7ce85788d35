#pragma once

#include "common/planning.h"

#include <QString>
#include <csignal>
#include <functional>

namespace kc {

// A split whose pieces are copied from the source without re-encoding.
struct CopySplitJob {
    QString input;        // absolute path of the source
    TSplitMode mode = smCustom;
    SplitInputs inputs;
    QString outputFolder; // as the window's output field would hold it
    // Every piece starts on its planned picture and ends where the next starts: the
    // pictures between a cut and the nearest keyframe are encoded again.
    bool exact = false;
};

struct CopySplitHooks {
    // count: how many pieces there are; while the source's keyframes are still being listed
    // (beside the copy), how many there are at most, should planned pieces without a keyframe
    // of their own still merge.
    std::function<void(int ordinal, int count, const QString &path)> pieceStarted;
    std::function<void(int percent)> progress; // of the running piece
    std::function<void(const QString &path)> pieceWritten;
    // One line for the user that does not end the split (why the cuts fall on keyframes).
    std::function<void(const QString &line)> note;
    // Non-zero to stop; checked between packets and inside blocking reads.
    const volatile std::sig_atomic_t *stop = nullptr;
};

struct CopySplitResult {
    enum class Status { Done, Refused, Failed, Stopped };
    Status status = Status::Failed;
    QString error;   // the refusal, or why the copy failed (without the save-failed line)
    int written = 0; // pieces written
    int planned = 0; // pieces the split mode planned
    bool notExact = false; // exact cuts were asked for, but this video has none
};

// Plans the pieces on the source's keyframes (exact: on their planned starts) and copies
// them one after another. Each piece is written under a temporary name in the output
// folder and renamed when it is complete, so a stop or a failure leaves no partial file.
// Runs on the calling thread.
CopySplitResult RunCopySplit(const CopySplitJob &job, const CopySplitHooks &hooks);

// The closing message: how many pieces were written, and that the piece count differs from
// the planned one when pieces without a keyframe of their own were merged.
// notExact: exact cuts were asked for and the pieces start on keyframes instead.
QString CopySplitSummary(int written, int planned, bool notExact = false);

} // namespace kc
