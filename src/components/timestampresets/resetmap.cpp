#include "resetmap.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace kc {

namespace {
// Seek points closer together than this add nothing.
constexpr int64_t kSeekSpacingUs = 250000;
// A run of fewer packets on a clock of its own is damage.
constexpr int kMinRunPackets = 4;
constexpr int64_t kNone = std::numeric_limits<int64_t>::min();
} // namespace

void ResetMap::Observe(int streamId, bool timed, bool key, int64_t pos, int64_t us, int64_t shownUs, int64_t endUs)
{
    Track &t = tracks_[streamId];
    t.timed = t.timed || timed;
    const bool jump = !t.runs.empty() && t.timed
                      && (us < t.runs.back().lastUs - kBackwardJumpUs || us > t.runs.back().lastUs + kForwardJumpUs);
    if (t.runs.empty() || jump) {
        Run run;
        run.startPos = pos;
        run.firstUs = shownUs;
        run.endUs = endUs;
        t.runs.push_back(run);
    }
    Run &run = t.runs.back();
    run.firstUs = std::min(run.firstUs, shownUs);
    run.endUs = std::max(run.endUs, endUs);
    run.lastUs = us;
    ++run.packets;

    if (streamId == seekStream_ && key && pos >= 0) {
        const size_t runIndex = t.runs.size() - 1;
        if (seekPoints_.empty() || seekPoints_.back().run != runIndex || shownUs >= seekPoints_.back().us + kSeekSpacingUs)
            seekPoints_.push_back({pos, runIndex, shownUs});
    }
}

std::vector<ResetMap::Part> ResetMap::PartsOf(const Track &t, std::vector<int> *partOfRun) const
{
    std::vector<Part> parts;
    if (partOfRun)
        partOfRun->assign(t.runs.size(), -1);
    const bool anySolid = std::any_of(t.runs.begin(), t.runs.end(), [](const Run &r) { return r.packets >= kMinRunPackets; });
    int64_t lastUs = 0;
    for (size_t i = 0; i < t.runs.size(); ++i) {
        const Run &run = t.runs[i];
        if (run.packets < kMinRunPackets && (anySolid || i > 0))
            continue; // damage: its packets go with the part around them
        // A run after damage that goes on with the clock before it is the same part.
        const bool goesOn = !parts.empty() && run.firstUs >= lastUs - kBackwardJumpUs && run.firstUs <= lastUs + kForwardJumpUs;
        if (goesOn) {
            parts.back().endUs = std::max(parts.back().endUs, run.endUs);
        } else {
            parts.push_back({parts.empty() ? 0 : run.startPos, run.firstUs, run.endUs});
        }
        lastUs = run.lastUs;
        if (partOfRun)
            (*partOfRun)[i] = static_cast<int>(parts.size()) - 1;
    }
    return parts;
}

void ResetMap::MatchTrack(const Track &t, const std::vector<Part> &parts, std::vector<int64_t> *starts,
                          std::vector<int64_t> *minOffsets) const
{
    const std::vector<Part> own = PartsOf(t, nullptr);
    starts->assign(parts.size(), 0);
    minOffsets->assign(parts.size(), kNone);
    size_t next = 1;
    for (size_t k = 1; k < parts.size(); ++k) {
        (*starts)[k] = parts[k].startPos;
        const int64_t after = parts[k - 1].startPos;
        const int64_t before = k + 1 < parts.size() ? parts[k + 1].startPos : std::numeric_limits<int64_t>::max();
        for (size_t i = next; i < own.size() && own[i].startPos < before; ++i) {
            if (own[i].startPos <= after || std::llabs(own[i].firstUs - parts[k].firstUs) > kForwardJumpUs)
                continue;
            (*starts)[k] = own[i].startPos;
            // Its end on the clock before, when that is the one part k-1 ran on.
            if (std::llabs(own[i - 1].endUs - parts[k - 1].endUs) <= kForwardJumpUs)
                (*minOffsets)[k] = own[i - 1].endUs - own[i].firstUs;
            next = i + 1;
            break;
        }
    }
}

void ResetMap::Finish()
{
    offsetsUs_.assign(1, 0);
    partStarts_.assign(1, 0);
    starts_.clear();
    seekIndex_.clear();
    endUs_ = 0;

    // The parts are the seek stream's; without it, those of the timed stream read most.
    auto reference = tracks_.find(seekStream_);
    if (reference == tracks_.end() || !reference->second.timed) {
        reference = tracks_.end();
        int most = 0;
        for (auto it = tracks_.begin(); it != tracks_.end(); ++it) {
            int packets = 0;
            for (const Run &r : it->second.runs)
                packets += r.packets;
            if (it->second.timed && packets > most) {
                most = packets;
                reference = it;
            }
        }
    }
    if (reference == tracks_.end())
        return;
    std::vector<int> partOfRun;
    const std::vector<Part> parts = PartsOf(reference->second, &partOfRun);
    if (parts.empty())
        return;

    // Part k is moved as little as keeps every stream going on from where it ended in part
    // k-1 (the sound may end a frame after the pictures): a gap of less than a frame in one
    // stream, never an overlap, which would make its times run backwards.
    std::vector<int64_t> steps(parts.size(), kNone);
    for (size_t k = 1; k < parts.size(); ++k)
        steps[k] = parts[k - 1].endUs - parts[k].firstUs;
    for (const auto &[id, t] : tracks_) {
        if (id == reference->first || !t.timed)
            continue;
        std::vector<int64_t> minOffsets;
        MatchTrack(t, parts, &starts_[id], &minOffsets);
        for (size_t k = 1; k < parts.size(); ++k)
            steps[k] = std::max(steps[k], minOffsets[k]);
    }
    offsetsUs_.assign(parts.size(), 0);
    partStarts_.assign(parts.size(), 0);
    for (size_t k = 1; k < parts.size(); ++k) {
        offsetsUs_[k] = offsetsUs_[k - 1] + steps[k];
        partStarts_[k] = parts[k].startPos;
    }
    starts_[reference->first] = partStarts_;
    for (size_t k = 0; k < parts.size(); ++k)
        endUs_ = std::max(endUs_, parts[k].endUs + offsetsUs_[k]);
    // The sound may go on after the last picture.
    for (const auto &[id, t] : tracks_) {
        const std::vector<Part> own = t.timed && id != reference->first ? PartsOf(t, nullptr) : std::vector<Part>();
        if (!own.empty() && std::llabs(own.back().firstUs - parts.back().firstUs) <= kForwardJumpUs)
            endUs_ = std::max(endUs_, own.back().endUs + offsetsUs_.back());
    }

    for (const SeekPoint &p : seekPoints_) {
        if (reference->first != seekStream_ || p.run >= partOfRun.size() || partOfRun[p.run] < 0)
            continue;
        const int64_t us = p.us + offsetsUs_[partOfRun[p.run]];
        if (seekIndex_.empty() || us > seekIndex_.back().first)
            seekIndex_.emplace_back(us, p.pos);
    }
}

int64_t ResetMap::OffsetUs(int streamId, int64_t pos, int *lastPart) const
{
    if (!Any())
        return 0;
    int part = 0;
    if (pos < 0 && lastPart) {
        part = *lastPart;
    } else {
        // Subtitles and data go with the seek stream's parts.
        const auto own = starts_.find(streamId);
        const std::vector<int64_t> &starts = own != starts_.end() ? own->second : partStarts_;
        const auto after = std::upper_bound(starts.begin(), starts.end(), std::max<int64_t>(pos, 0));
        part = std::max(0, static_cast<int>(after - starts.begin()) - 1);
    }
    part = std::clamp(part, 0, static_cast<int>(offsetsUs_.size()) - 1);
    if (lastPart)
        *lastPart = part;
    return offsetsUs_[part];
}

int64_t ResetMap::SeekPosition(int64_t us) const
{
    const auto after = std::upper_bound(seekIndex_.begin(), seekIndex_.end(), std::make_pair(us, std::numeric_limits<int64_t>::max()));
    // Up to the first seek point, from the very beginning: stream headers may come first.
    if (after == seekIndex_.begin() || std::prev(after) == seekIndex_.begin())
        return 0;
    return std::prev(after)->second;
}

} // namespace kc
