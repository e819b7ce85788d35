#include "copyplanning.h"

#include <algorithm>
#include <cmath>

namespace kc {

namespace {

int64_t ToMicros(double seconds)
{
    return static_cast<int64_t>(std::llround(seconds * 1e6));
}

} // namespace

int64_t KeyframeAtOrBefore(const std::vector<int64_t> &keyframesUs, int64_t us)
{
    if (keyframesUs.empty())
        return us;
    const auto after = std::upper_bound(keyframesUs.begin(), keyframesUs.end(), us);
    return after == keyframesUs.begin() ? keyframesUs.front() : *(after - 1);
}

std::vector<CopyPiece> PlanSeamlessCopyPieces(const std::vector<PlannedPiece> &planned,
                                              const std::vector<int64_t> &keyframesUs, int64_t slackUs)
{
    std::vector<int64_t> starts;
    for (const PlannedPiece &p : planned) {
        const int64_t at = KeyframeAtOrBefore(keyframesUs, p.startUs + slackUs);
        if (starts.empty() || at > starts.back())
            starts.push_back(at);
    }
    std::vector<CopyPiece> pieces;
    for (size_t i = 0; i < starts.size(); ++i) {
        CopyPiece piece;
        piece.number = static_cast<int>(i) + 1;
        piece.startUs = starts[i];
        if (i + 1 < starts.size())
            piece.endUs = starts[i + 1];
        pieces.push_back(piece);
    }
    return pieces;
}

SeamlessPieceCursor::SeamlessPieceCursor(std::vector<PlannedPiece> planned, int64_t slackUs)
    : planned_(std::move(planned)), slackUs_(slackUs)
{
}

SeamlessPieceCursor::Step SeamlessPieceCursor::Next(const KeyframesUpTo &keyframesUpTo, CopyPiece *piece)
{
    const auto startFor = [&](size_t planned, int64_t *at) {
        const int64_t us = planned_[planned].startUs + slackUs_;
        const std::vector<int64_t> *keyframes = keyframesUpTo(us);
        if (!keyframes)
            return false;
        *at = KeyframeAtOrBefore(*keyframes, us);
        return true;
    };
    int64_t start = 0;
    if (!started_) {
        if (planned_.empty())
            return Step::Done;
        if (!startFor(0, &start))
            return Step::Failed;
        started_ = true;
        nextPlanned_ = 1;
    } else if (nextStart_) {
        start = *nextStart_;
    } else {
        return Step::Done;
    }
    // The piece ends where the next distinct start is; planned pieces that start on the same
    // keyframe hold nothing of their own.
    nextStart_.reset();
    while (nextPlanned_ < planned_.size()) {
        int64_t at = 0;
        if (!startFor(nextPlanned_, &at))
            return Step::Failed;
        ++nextPlanned_;
        if (at > start) {
            nextStart_ = at;
            break;
        }
    }
    piece->number = ++number_;
    piece->startUs = start;
    piece->endUs = nextStart_;
    return Step::Piece;
}

int SeamlessPieceCursor::CountAtMost() const
{
    const int ahead = static_cast<int>(planned_.size() - std::min(nextPlanned_, planned_.size()));
    return number_ + (nextStart_ ? 1 : 0) + ahead;
}

CopyPiece PlanRangeCopyPiece(const PlannedPiece &range, const std::vector<int64_t> &keyframesUs, int64_t slackUs)
{
    CopyPiece piece;
    piece.number = 0;
    piece.startUs = KeyframeAtOrBefore(keyframesUs, range.startUs + slackUs);
    piece.endUs = range.endUs;
    return piece;
}

std::vector<CopyPiece> PlanExactCopyPieces(TSplitMode mode, const std::vector<PlannedPiece> &planned)
{
    std::vector<CopyPiece> pieces;
    for (size_t i = 0; i < planned.size(); ++i) {
        CopyPiece piece;
        piece.number = mode == smCustom ? 0 : static_cast<int>(i) + 1;
        piece.startUs = planned[i].startUs;
        if (mode == smCustom)
            piece.endUs = planned[i].endUs;
        else if (i + 1 < planned.size())
            piece.endUs = planned[i + 1].startUs;
        pieces.push_back(piece);
    }
    return pieces;
}

std::vector<PlannedPiece> PlannedPieces(TSplitMode mode, const SplitInputs &in)
{
    std::vector<PlannedPiece> planned;
    if (!CheckSplitJob(mode, in).isEmpty())
        return planned;
    for (int k = mode == smCustom ? 0 : 1; mode == smCustom ? k == 0 : HasNextPiece(mode, k, in); ++k) {
        const PieceRangeResult r = PieceRange(mode, k, in);
        if (!r.ok)
            return {};
        planned.push_back({ToMicros(r.start), ToMicros(r.stop)});
    }
    return planned;
}

} // namespace kc
