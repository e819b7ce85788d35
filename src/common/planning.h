#pragma once

#include <QString>
#include <QtGlobal>

namespace kc {

enum TSplitMode { smCustom = 0, smAverage = 1, smTime = 2 };

// What the split-mode controls hold at the moment they are read.
struct SplitInputs {
    double duration = 0;            // TSourceMedia.Duration
    double startTime = 0;           // TSourceMedia.StartTime (custom range, already read back)
    double endTime = 0;             // TSourceMedia.EndTime
    qint64 parts = 2;               // snEditSplitNum
    QString everyText = QStringLiteral("180"); // EditSplitTime's text
};

struct PieceRangeResult {
    bool ok = false;
    double start = 0;
    double stop = 0;
    QString refusal;                // message text when !ok
};

// A by-time tail shorter than this is not rendered as a piece of its own: it is what is left
// over when the duration is a whole multiple of the piece length but carries a rounding error.
constexpr double kShortestTailSeconds = 0.001;

// Empty when the custom range is accepted, else the refusal text.
QString CheckCustomRange(double startTime, double endTime, double duration);

// Refusal of a whole job before its first piece; empty when the job may start.
// Custom mode: the refusal of CheckCustomRange. Equal-parts and by-time modes: a source
// without a duration, a part count below 1, a by-time length that is not a whole number of
// seconds or not above 0.
QString CheckSplitJob(TSplitMode mode, const SplitInputs &in);

// The range of piece k (1-based in the equal-parts and by-time modes, 0 in the custom mode).
// The stop of the last piece may lie past the end of the source.
PieceRangeResult PieceRange(TSplitMode mode, int k, const SplitInputs &in);

// Whether a piece k follows (called with k already incremented). A duration that is a whole
// multiple of the by-time length gives no extra piece.
bool HasNextPiece(TSplitMode mode, int k, const SplitInputs &in);

// Whether the render of piece k, which failed because its range lies after the source's last
// picture, simply ends the job: the equal-parts and by-time plans run on the source's length,
// and where the sound outlasts the pictures their last range may hold sound only. That range
// is no piece. Anywhere else (a custom range, a piece that others follow) it is a failure.
bool IsTailWithoutPicture(TSplitMode mode, int k, const SplitInputs &in, bool rangeAfterLastPicture);

// The number of pieces a job plans; 0 when CheckSplitJob refuses it.
qint64 PieceCount(TSplitMode mode, const SplitInputs &in);

// The by-time length read from EditSplitTime's text: a whole number of seconds, blanks around
// it allowed. False when the text is not a whole number.
bool ParseSplitSeconds(const QString &text, qint64 *seconds);

} // namespace kc
