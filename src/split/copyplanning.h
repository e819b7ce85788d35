#pragma once

#include "common/planning.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kc {

// A piece as the split modes plan it, in microseconds from the source's start.
struct PlannedPiece {
    int64_t startUs = 0;
    std::optional<int64_t> endUs; // none: up to the end of the source
};

// A piece copied without re-encoding: it starts on a keyframe, so its first picture decodes
// (or, cut exactly, on its planned start, the pictures up to the next keyframe encoded again).
struct CopyPiece {
    int number = 0;               // for the file name: 0 for a custom range, else 1, 2, ...
    int64_t startUs = 0;          // the keyframe it starts on, or the exact start
    std::optional<int64_t> endUs; // exclusive; none: up to the end of the source
};

// The last keyframe at or before the time; the first keyframe when none is that early;
// the time itself when the source has no keyframes to go by (sound only).
int64_t KeyframeAtOrBefore(const std::vector<int64_t> &keyframesUs, int64_t us);

// Copy pieces for consecutive planned pieces (equal parts, by time). Piece k runs from the
// keyframe at or before its planned start up to, not including, the keyframe at or before
// the next piece's planned start, so the pieces hold every picture of the source once. A
// piece left without a keyframe of its own would be empty: its pictures already belong to
// its neighbour, and the pieces that remain are numbered 1, 2, ... without gaps.
// keyframesUs: ascending. slackUs: a keyframe this little after a planned start still
// counts as at it (containers place the first picture a few milliseconds after the sound,
// which would otherwise move every cut a whole GOP earlier); one frame's time is right.
std::vector<CopyPiece> PlanSeamlessCopyPieces(const std::vector<PlannedPiece> &planned,
                                              const std::vector<int64_t> &keyframesUs, int64_t slackUs = 0);

// The same pieces as PlanSeamlessCopyPieces, one at a time, while the keyframe list may still
// be growing (a pass over the file running beside the copy): each step asks for the list only
// as far as that piece needs it.
class SeamlessPieceCursor {
public:
    // Returns the keyframes, ascending, complete at least up to the time asked: every
    // keyframe at or before it and the first one after it (when there is one) listed; nullptr
    // when they cannot be had.
    using KeyframesUpTo = std::function<const std::vector<int64_t> *(int64_t us)>;
    enum class Step { Piece, Done, Failed };

    SeamlessPieceCursor(std::vector<PlannedPiece> planned, int64_t slackUs);
    Step Next(const KeyframesUpTo &keyframesUpTo, CopyPiece *piece);
    // Pieces so far plus the planned pieces still ahead: the count once nothing more merges.
    int CountAtMost() const;

private:
    std::vector<PlannedPiece> planned_;
    int64_t slackUs_ = 0;
    bool started_ = false;
    size_t nextPlanned_ = 0;          // the first planned piece not looked at yet
    std::optional<int64_t> nextStart_; // the start of the piece after the one returned last
    int number_ = 0;
};

// The copy piece for a custom range: from the keyframe at or before its start to its end.
CopyPiece PlanRangeCopyPiece(const PlannedPiece &range, const std::vector<int64_t> &keyframesUs,
                             int64_t slackUs = 0);

// Copy pieces that keep the planned starts, for cuts that start and end on any picture:
// piece k ends where piece k+1 starts, and the last runs to the end of the source. None is
// merged or left out. A custom range keeps its own end.
std::vector<CopyPiece> PlanExactCopyPieces(TSplitMode mode, const std::vector<PlannedPiece> &planned);

// The planned pieces of a split job as PieceRange gives them; empty when the job is refused.
std::vector<PlannedPiece> PlannedPieces(TSplitMode mode, const SplitInputs &in);

} // namespace kc
