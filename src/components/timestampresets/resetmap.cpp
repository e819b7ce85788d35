#include "resetmap.h"

#include <algorithm>
#include <limits>

namespace kc {

namespace {
// Seek points closer together than this add nothing.
constexpr int64_t kSeekSpacingUs = 250000;
} // namespace

void ResetMap::Observe(int streamId, bool timed, bool key, int64_t pos, int64_t us, int64_t durationUs)
{
    Track &t = tracks_[streamId];
    t.timed = t.timed || timed;
    const bool reset = t.any && t.timed && (us < t.lastUs - kBackwardJumpUs || us > t.lastUs + kForwardJumpUs);
    if (!t.any || reset) {
        Part part;
        part.startPos = pos;
        part.firstUs = us;
        part.endUs = us;
        t.parts.push_back(part);
    }
    t.any = true;
    t.lastUs = us;
    Part &part = t.parts.back();
    part.firstUs = std::min(part.firstUs, us);
    part.endUs = std::max(part.endUs, us + std::max<int64_t>(0, durationUs));

    if (streamId == seekStream_ && key && pos >= 0) {
        const int partIndex = static_cast<int>(t.parts.size()) - 1;
        if (seekPoints_.empty() || seekPoints_.back().part != partIndex
            || us >= seekPoints_.back().us + kSeekSpacingUs)
            seekPoints_.push_back({pos, partIndex, us});
    }
}

void ResetMap::Finish()
{
    size_t parts = 1;
    for (const auto &[id, t] : tracks_) {
        if (t.timed)
            parts = std::max(parts, t.parts.size());
    }
    offsetsUs_.assign(parts, 0);
    partStarts_.assign(parts, std::numeric_limits<int64_t>::max());
    partStarts_[0] = 0;
    // Part k is moved as little as keeps every stream going on from where it ended in part
    // k-1 (a stream's sound may end a frame after its pictures): a gap of less than a frame
    // in one stream, never an overlap, which would make its times run backwards.
    constexpr int64_t kNone = std::numeric_limits<int64_t>::min();
    int64_t endBefore = kNone;
    for (size_t k = 0; k < parts; ++k) {
        int64_t end = kNone;
        int64_t offset = kNone;
        for (const auto &[id, t] : tracks_) {
            if (!t.timed || k >= t.parts.size())
                continue;
            end = std::max(end, t.parts[k].endUs);
            if (k > 0) {
                partStarts_[k] = std::min(partStarts_[k], t.parts[k].startPos);
                offset = std::max(offset, t.parts[k - 1].endUs + offsetsUs_[k - 1] - t.parts[k].firstUs);
            }
        }
        if (k > 0)
            offsetsUs_[k] = offset;
        endBefore = std::max(endBefore, end + offsetsUs_[k]);
    }
    endUs_ = endBefore == kNone ? 0 : endBefore;

    starts_.clear();
    for (const auto &[id, t] : tracks_) {
        std::vector<int64_t> &starts = starts_[id];
        if (t.timed) {
            for (const Part &p : t.parts)
                starts.push_back(p.startPos);
            if (!starts.empty())
                starts.front() = 0;
        }
    }
    seekIndex_.clear();
    for (const SeekPoint &p : seekPoints_) {
        const int64_t us = p.us + offsetsUs_[std::min<size_t>(p.part, parts - 1)];
        if (seekIndex_.empty() || us > seekIndex_.back().first)
            seekIndex_.emplace_back(us, p.pos);
    }
}

int ResetMap::PartAt(const std::vector<int64_t> &starts, int64_t pos) const
{
    const auto after = std::upper_bound(starts.begin(), starts.end(), pos);
    return std::max(0, static_cast<int>(after - starts.begin()) - 1);
}

int64_t ResetMap::OffsetUs(int streamId, int64_t pos, int *lastPart) const
{
    if (!Any())
        return 0;
    int part = 0;
    const auto own = starts_.find(streamId);
    if (pos < 0 && lastPart)
        part = *lastPart;
    else if (own != starts_.end() && !own->second.empty())
        part = PartAt(own->second, pos);
    else
        part = PartAt(partStarts_, std::max<int64_t>(pos, 0)); // subtitles, data: by the file's parts
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
