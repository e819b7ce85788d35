#include "cutplanner.h"

#include <algorithm>

namespace kc::fileencoder {

namespace {
// Timestamps of different streams are compared through whole microseconds; this absorbs
// the rounding of that conversion.
constexpr int64_t kToleranceUs = 2;
} // namespace

int64_t CutPlanner::ToMicros(int64_t ts, TimeBase tb)
{
    const __int128 v = static_cast<__int128>(ts) * tb.num * 1000000;
    return static_cast<int64_t>(v / tb.den);
}

int64_t CutPlanner::FromMicros(int64_t us, TimeBase tb)
{
    // Nearest tick, halves away from zero.
    const __int128 num = static_cast<__int128>(us) * tb.den;
    const __int128 den = static_cast<__int128>(tb.num) * 1000000;
    const __int128 half = den / 2;
    return static_cast<int64_t>(num >= 0 ? (num + half) / den : -((-num + half) / den));
}

int CutPlanner::AddStream(TimeBase tb, bool anchor, bool sparse)
{
    Stream s;
    s.tb = tb;
    s.anchor = anchor && anchorStream_ < 0;
    s.sparse = sparse && !s.anchor;
    if (s.anchor)
        anchorStream_ = static_cast<int>(streams_.size());
    streams_.push_back(s);
    return static_cast<int>(streams_.size()) - 1;
}

void CutPlanner::SetRange(int64_t startUs, int64_t endUs)
{
    startUs_ = startUs;
    endUs_ = std::max(endUs, startUs);
}

void CutPlanner::ReleaseHeld(std::vector<PacketAction> &actions)
{
    for (const Held &h : held_)
        actions.push_back({h.id, false, kNoTimestamp, kNoTimestamp});
    held_.clear();
    for (const Held &h : waiting_)
        actions.push_back({h.id, false, kNoTimestamp, kNoTimestamp});
    waiting_.clear();
    for (const Held &h : tail_)
        actions.push_back({h.id, false, kNoTimestamp, kNoTimestamp});
    tail_.clear();
    followersWait_ = false;
}

void CutPlanner::StartFollowers(std::vector<PacketAction> &actions)
{
    if (!followersWait_)
        return;
    followersWait_ = false;
    followFromUs_ = ToMicros(anchorRef_ + droppedUnits_, streams_[anchorStream_].tb);
    for (Stream &s : streams_)
        if (!s.anchor)
            s.offset = FromMicros(followFromUs_, s.tb);
    std::vector<Held> replay;
    replay.swap(waiting_);
    for (const Held &h : replay)
        CopyFollower(h.id, h.facts, actions);
}

void CutPlanner::Restart(bool atFileStart, std::vector<PacketAction> &actions)
{
    ReleaseHeld(actions);
    if (anchorStream_ < 0 && !streams_.empty()) {
        anchorStream_ = 0;
        streams_[0].anchor = true;
    }
    atFileStart_ = atFileStart;
    phase_ = Phase::Searching;
    haveCandidate_ = false;
    pendingKey_ = false;
    anchorSeen_ = false;
    anchorEndUs_ = std::numeric_limits<int64_t>::min();
    error_.clear();
    for (Stream &s : streams_) {
        s.seen = false;
        s.done = false;
        s.started = false;
    }
}

CutPlanner::Verdict CutPlanner::Fail(const std::string &why, std::vector<PacketAction> &actions)
{
    ReleaseHeld(actions);
    phase_ = Phase::Finished;
    error_ = why;
    return Verdict::Failed;
}

bool CutPlanner::AllDone() const
{
    // A subtitle stream may have nothing more to say for the rest of the input.
    return std::all_of(streams_.begin(), streams_.end(), [](const Stream &s) { return s.done || s.sparse; });
}

bool CutPlanner::IsBidirectional(uint64_t id) const
{
    return classify_ && classify_(id) == PictureKind::Bidirectional;
}

int64_t CutPlanner::EarliestUsefulUs() const
{
    // No packet of another stream that ends before this can be the one nearest to the
    // piece's start, whichever way the anchor's time is read.
    const TimeBase tb = streams_[anchorStream_].tb;
    int64_t from = startUs_;
    if (candidate_.pts != kNoTimestamp)
        from = std::min(from, ToMicros(candidate_.pts, tb));
    if (candidate_.dts != kNoTimestamp)
        from = std::min(from, ToMicros(candidate_.dts, tb));
    return from;
}

CutPlanner::Verdict CutPlanner::Push(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions)
{
    if (phase_ == Phase::Finished || p.stream < 0 || p.stream >= static_cast<int>(streams_.size())) {
        actions.push_back({id, false, kNoTimestamp, kNoTimestamp});
        if (phase_ == Phase::Finished)
            return error_.empty() ? Verdict::Done : Verdict::Failed;
        return Verdict::Continue;
    }
    if (phase_ == Phase::Searching) {
        const Verdict v = Search(id, p, actions);
        // Search either consumed the packet or fixed the anchor and left this packet, the
        // first one past the start, to be copied below.
        if (v != Verdict::Continue || phase_ == Phase::Searching)
            return v;
    }
    Copy(id, p, actions);
    if (AllDone()) {
        phase_ = Phase::Finished;
        return Verdict::Done;
    }
    return Verdict::Continue;
}

CutPlanner::Verdict CutPlanner::Search(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions)
{
    Stream &s = streams_[p.stream];
    const auto release = [&] { actions.push_back({id, false, kNoTimestamp, kNoTimestamp}); };
    const int64_t shown = ShownTs(p);
    if (!s.anchor) {
        if (shown != kNoTimestamp && !s.seen) {
            s.seen = true;
            s.firstSeenUs = ToMicros(shown, s.tb);
            s.firstSeenHalfUs = ToMicros(p.duration, s.tb) / 2;
        }
        if (haveCandidate_ && shown != kNoTimestamp
            && ToMicros(shown + p.duration, s.tb) <= EarliestUsefulUs() - kToleranceUs) {
            release();
            return Verdict::Continue;
        }
        held_.push_back({id, p});
        return Verdict::Continue;
    }

    if (shown == kNoTimestamp) {
        // Nothing to place it by; it can only tag along behind a candidate.
        if (haveCandidate_)
            held_.push_back({id, p});
        else
            release();
        return Verdict::Continue;
    }
    anchorSeen_ = true;
    const int64_t shownUs = ToMicros(shown, s.tb);
    const int64_t decodedUs = ToMicros(DecodedTs(p), s.tb);
    anchorEndUs_ = std::max(anchorEndUs_, shownUs + ToMicros(p.duration, s.tb));

    if (pendingKey_) {
        if (IsBidirectional(id)) {
            // Decoded after the keyframe but shown before it: it moves the keyframe's own
            // showing time one picture later.
            pendingBehind_ += p.duration > 0 ? p.duration : 1;
            held_.push_back({id, p});
            return Verdict::Continue;
        }
        const Verdict v = ResolvePendingKey(actions);
        if (v != Verdict::Continue) {
            release();
            return v;
        }
    }

    if (p.key && shownUs <= startUs_ + keySlackUs_) {
        held_.push_back({id, p});
        if (ordering_ == Ordering::DecodeOrderOnly) {
            // Its decode time is not its showing time: that is known only once the pictures
            // behind it have been read.
            pendingKey_ = true;
            pendingId_ = id;
            pendingFacts_ = p;
            pendingBehind_ = 0;
            return Verdict::Continue;
        }
        AdoptCandidate(id, p, actions);
        return Verdict::Continue;
    }

    const bool pastStart = decodedUs > startUs_ || (p.key && shownUs > startUs_);
    if (!pastStart) {
        if (haveCandidate_)
            held_.push_back({id, p});
        else
            release();
        return Verdict::Continue;
    }

    if (!haveCandidate_) {
        if (!atFileStart_) {
            ReleaseHeld(actions);
            release();
            return Verdict::SeekEarlier;
        }
        if (!p.key) {
            // Pictures before the input's first keyframe cannot be decoded.
            release();
            return Verdict::Continue;
        }
        // The input's first keyframe comes after the start: the piece begins there.
        haveCandidate_ = true;
        candidate_ = p;
        candidateId_ = id;
    }
    const Verdict v = FixAnchor(actions);
    if (v != Verdict::Continue)
        release();
    return v;
}

void CutPlanner::AdoptCandidate(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions)
{
    // A later keyframe at or before the start replaces the candidate: what was held of the
    // anchor stream before it lies before it, and so does anything else that ends before it.
    haveCandidate_ = true;
    candidate_ = p;
    candidateId_ = id;
    const int64_t from = EarliestUsefulUs();
    std::vector<Held> keep;
    bool reached = false;
    for (const Held &h : held_) {
        reached = reached || h.id == id;
        const Stream &hs = streams_[h.facts.stream];
        const int64_t hShown = ShownTs(h.facts);
        const bool before = !reached
                            && (hs.anchor
                                || (hShown != kNoTimestamp
                                    && ToMicros(hShown + h.facts.duration, hs.tb) <= from - kToleranceUs));
        if (before)
            actions.push_back({h.id, false, kNoTimestamp, kNoTimestamp});
        else
            keep.push_back(h);
    }
    held_.swap(keep);
}

CutPlanner::Verdict CutPlanner::ResolvePendingKey(std::vector<PacketAction> &actions)
{
    if (!pendingKey_)
        return Verdict::Continue;
    pendingKey_ = false;
    const Stream &as = streams_[anchorStream_];
    const int64_t showsUs = ToMicros(DecodedTs(pendingFacts_) + pendingBehind_, as.tb);
    if (showsUs <= startUs_ + keySlackUs_ || haveCandidate_ || atFileStart_) {
        // Shown at or before the start it is the better candidate. Shown after it, it stays
        // an ordinary picture of the candidate's stretch, or, with nothing earlier in the
        // input, it is where the piece begins.
        if (showsUs <= startUs_ + keySlackUs_ || !haveCandidate_)
            AdoptCandidate(pendingId_, pendingFacts_, actions);
        return Verdict::Continue;
    }
    // Reading began too late to find the keyframe before the start.
    ReleaseHeld(actions);
    return Verdict::SeekEarlier;
}

CutPlanner::Verdict CutPlanner::FixAnchor(std::vector<PacketAction> &actions)
{
    const Stream &as = streams_[anchorStream_];
    anchorRef_ = ordering_ == Ordering::DecodeOrderOnly ? DecodedTs(candidate_) : ShownTs(candidate_);
    anchorUs_ = ToMicros(anchorRef_, as.tb);
    // Where timestamps keep the streams apart, the others may begin before a late keyframe;
    // without them every stream begins at 0, so they must begin with the keyframe.
    followFromUs_ = ordering_ == Ordering::DecodeOrderOnly ? anchorUs_ : std::min(anchorUs_, startUs_);

    if (!atFileStart_) {
        // A stream whose first packet after the seek is already later than the piece's start
        // was muxed ahead of the seek point: its beginning lies further back.
        for (const Stream &s : streams_) {
            if (!s.anchor && !s.sparse && s.seen && s.firstSeenUs - s.firstSeenHalfUs > followFromUs_ + kToleranceUs) {
                ReleaseHeld(actions);
                return Verdict::SeekEarlier;
            }
        }
    }

    for (Stream &s : streams_)
        s.offset = s.anchor ? anchorRef_ : FromMicros(anchorUs_, s.tb);
    anchorId_ = candidateId_;
    recoding_ = false;
    leading_ = true;
    trailing_ = false;
    droppedUnits_ = 0;
    maxKeptPts_ = kNoTimestamp;
    followersWait_ = ordering_ == Ordering::DecodeOrderOnly;
    phase_ = Phase::Copying;

    std::vector<Held> replay;
    replay.swap(held_);
    for (const Held &h : replay)
        Copy(h.id, h.facts, actions);
    return Verdict::Continue;
}

void CutPlanner::Copy(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions)
{
    if (streams_[p.stream].anchor)
        CopyAnchor(id, p, actions);
    else
        CopyFollower(id, p, actions);
}

void CutPlanner::CopyAnchor(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions)
{
    Stream &s = streams_[p.stream];
    const auto release = [&] { actions.push_back({id, false, kNoTimestamp, kNoTimestamp}); };
    if (s.done) {
        release();
        return;
    }
    if (id == anchorId_) {
        KeepAnchor(id, p, actions);
        return;
    }
    const bool byPts = ordering_ == Ordering::PresentationTimestamps && p.pts != kNoTimestamp;

    if (leading_) {
        const bool orphan = byPts ? p.pts < anchorRef_ : IsBidirectional(id);
        if (orphan) {
            droppedUnits_ += p.duration > 0 ? p.duration : 1;
            release();
            return;
        }
        leading_ = false;
        StartFollowers(actions);
    }

    if (recodeAcrossEnd_ && ordering_ == Ordering::DecodeOrderOnly) {
        HoldUntilShown(id, p, actions);
        return;
    }

    const int64_t decoded = DecodedTs(p);
    const bool decodedPastEnd = decoded != kNoTimestamp && ToMicros(decoded, s.tb) >= endUs_;
    if (byPts) {
        // Whatever is decoded from the end on also shows from the end on.
        if (decodedPastEnd) {
            s.done = true;
            for (const Held &h : tail_)
                actions.push_back({h.id, false, kNoTimestamp, kNoTimestamp});
            tail_.clear();
            release();
            return;
        }
        if (ToMicros(p.pts, s.tb) >= endUs_) {
            tail_.push_back({id, p});
            return;
        }
        std::vector<Held> needed;
        needed.swap(tail_);
        if (recodeAcrossEnd_ && (recoding_ || !needed.empty())) {
            RecodeBeforeEnd(id, p, needed, actions);
            return;
        }
        for (const Held &h : needed)
            KeepAnchor(h.id, h.facts, actions);
        KeepAnchor(id, p, actions);
        return;
    }

    // Without presentation times: from the first picture decoded at or after the end, only
    // the bidirectional ones still show before a picture already kept.
    if (!trailing_ && decodedPastEnd)
        trailing_ = true;
    if (trailing_) {
        const bool before = p.pts != kNoTimestamp && ordering_ == Ordering::PresentationTimestamps
                                ? (maxKeptPts_ != kNoTimestamp && p.pts < maxKeptPts_)
                                : IsBidirectional(id);
        if (!before) {
            s.done = true;
            release();
            return;
        }
    }
    KeepAnchor(id, p, actions);
}

void CutPlanner::HoldUntilShown(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions)
{
    Stream &s = streams_[p.stream];
    const bool bidirectional = IsBidirectional(id);
    if (bidirectional && !tail_.empty()) {
        tail_.push_back({id, p});
        return;
    }
    ResolveTail(actions);
    if (s.done) {
        actions.push_back({id, false, kNoTimestamp, kNoTimestamp});
        return;
    }
    const int64_t decoded = DecodedTs(p);
    if (decoded != kNoTimestamp && ToMicros(decoded, s.tb) >= endUs_) {
        // It, and whatever shows behind it, shows from the end on.
        s.done = true;
        actions.push_back({id, false, kNoTimestamp, kNoTimestamp});
        return;
    }
    if (bidirectional) {
        KeepAnchor(id, p, actions); // no picture before it waits: it can only show before the end
        return;
    }
    tail_.push_back({id, p});
}

void CutPlanner::ResolveTail(std::vector<PacketAction> &actions)
{
    if (tail_.empty())
        return;
    std::vector<Held> group;
    group.swap(tail_);
    const Held &reference = group.front();
    Stream &s = streams_[reference.facts.stream];
    const auto units = [](const PacketFacts &f) { return f.duration > 0 ? f.duration : 1; };
    // The bidirectional pictures behind it show first, one after another from its decode time.
    int64_t shows = DecodedTs(reference.facts);
    for (size_t i = 1; i < group.size(); ++i)
        shows += units(group[i].facts);
    if (ToMicros(shows, s.tb) < endUs_) {
        for (const Held &h : group)
            KeepAnchor(h.id, h.facts, actions);
        return;
    }
    // It shows from the end on: it stays out, and the pictures behind it that show before the
    // end are written anew without it, in the places it and they took.
    s.done = true;
    const int64_t firstShownUs = ToMicros(DecodedTs(reference.facts), s.tb);
    if (group.size() < 2 || firstShownUs >= endUs_) {
        for (const Held &h : group)
            actions.push_back({h.id, false, kNoTimestamp, kNoTimestamp});
        return;
    }
    PacketAction ref{reference.id, false, kNoTimestamp, kNoTimestamp};
    AnchorTimes(reference.facts, &ref.pts, &ref.dts);
    ref.referenceOnly = true;
    actions.push_back(ref);
    droppedUnits_ += units(reference.facts);
    int64_t at = DecodedTs(reference.facts);
    for (size_t i = 1; i < group.size(); ++i) {
        const Held &h = group[i];
        if (ToMicros(at, s.tb) < endUs_) {
            int64_t pts, dts;
            AnchorTimes(h.facts, &pts, &dts);
            Write(h.id, h.facts, pts, dts, actions);
            actions.back().recode = true;
        } else {
            actions.push_back({h.id, false, kNoTimestamp, kNoTimestamp});
        }
        at += units(h.facts);
    }
}

void CutPlanner::AnchorTimes(const PacketFacts &p, int64_t *pts, int64_t *dts) const
{
    *pts = kNoTimestamp;
    *dts = kNoTimestamp;
    if (ordering_ == Ordering::PresentationTimestamps) {
        if (p.pts != kNoTimestamp)
            *pts = p.pts - anchorRef_;
        if (p.dts != kNoTimestamp)
            *dts = p.dts - anchorRef_;
    } else if (p.dts != kNoTimestamp) {
        *dts = p.dts - anchorRef_ - droppedUnits_;
        *pts = *dts;
    }
}

void CutPlanner::KeepAnchor(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions)
{
    int64_t pts, dts;
    AnchorTimes(p, &pts, &dts);
    if (p.pts != kNoTimestamp && (maxKeptPts_ == kNoTimestamp || p.pts > maxKeptPts_))
        maxKeptPts_ = p.pts;
    Write(id, p, pts, dts, actions);
}

void CutPlanner::RecodeBeforeEnd(uint64_t id, const PacketFacts &p, const std::vector<Held> &references,
                                 std::vector<PacketAction> &actions)
{
    // Once one picture is written anew, the rest before the end may refer to the same
    // references left out: they are written anew too.
    recoding_ = true;
    for (const Held &h : references) {
        PacketAction a{h.id, false, kNoTimestamp, kNoTimestamp};
        AnchorTimes(h.facts, &a.pts, &a.dts);
        a.referenceOnly = true;
        actions.push_back(a);
    }
    int64_t pts, dts;
    AnchorTimes(p, &pts, &dts);
    Write(id, p, pts, dts, actions);
    actions.back().recode = true;
}

void CutPlanner::CopyFollower(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions)
{
    Stream &s = streams_[p.stream];
    if (s.sparse) {
        CopySparse(id, p, actions);
        return;
    }
    const auto release = [&] { actions.push_back({id, false, kNoTimestamp, kNoTimestamp}); };
    if (s.done) {
        release();
        return;
    }
    if (followersWait_) {
        waiting_.push_back({id, p});
        return;
    }
    const int64_t shown = ShownTs(p);
    if (shown == kNoTimestamp) {
        if (s.started)
            Write(id, p, kNoTimestamp, kNoTimestamp, actions);
        else
            release();
        return;
    }
    const int64_t t = ToMicros(shown, s.tb);
    // The first packet kept is the one whose start is nearest to the anchor's time.
    if (!s.started && t < followFromUs_ - ToMicros(p.duration, s.tb) / 2 - kToleranceUs) {
        release();
        return;
    }
    // The last packet kept is the one that starts before the end and is nearer to it than
    // the next: the same rule as at the start, so a piece that ends where the next begins
    // shares no packet with it and loses none.
    if (t >= endUs_ - ToMicros(p.duration, s.tb) / 2 - kToleranceUs) {
        s.done = true;
        release();
        return;
    }
    if (!s.started && ordering_ == Ordering::DecodeOrderOnly) {
        // Such containers start every stream at 0 whatever its first timestamp says; a
        // negative one would only make the muxer shift the others.
        s.offset = shown;
    }
    s.started = true;
    const int64_t pts = p.pts != kNoTimestamp ? p.pts - s.offset : kNoTimestamp;
    const int64_t dts = p.dts != kNoTimestamp ? p.dts - s.offset : kNoTimestamp;
    Write(id, p, pts, dts, actions);
}

void CutPlanner::CopySparse(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions)
{
    Stream &s = streams_[p.stream];
    const auto release = [&] { actions.push_back({id, false, kNoTimestamp, kNoTimestamp}); };
    if (s.done) {
        release();
        return;
    }
    if (followersWait_) {
        waiting_.push_back({id, p});
        return;
    }
    const int64_t shown = ShownTs(p);
    if (shown == kNoTimestamp) {
        release();
        return;
    }
    const int64_t t = ToMicros(shown, s.tb);
    if (t >= endUs_ - kToleranceUs) {
        s.done = true;
        release();
        return;
    }
    // A cue without a length (bitmap subtitles end with a later, empty one) is kept when it
    // begins in the piece; one with a length when any of it shows in the piece.
    // Nothing shows before the first picture: where the sound may begin a little earlier,
    // the subtitles still begin with the picture.
    const int64_t clipFromUs = std::max(followFromUs_, anchorUs_);
    const bool timed = p.duration > 0;
    const int64_t cueEndUs = timed ? ToMicros(shown + p.duration, s.tb) : t;
    const bool inPiece = timed ? cueEndUs > clipFromUs + kToleranceUs : t >= clipFromUs - kToleranceUs;
    if (!inPiece) {
        release();
        return;
    }
    s.started = true;
    // Clipped to the piece at both ends, so it neither shows before the first picture nor
    // runs on into the next piece's time.
    const int64_t from = t < clipFromUs ? std::max(FromMicros(clipFromUs, s.tb), s.offset) : shown;
    int64_t duration = -1;
    if (timed) {
        const int64_t until = cueEndUs > endUs_ ? FromMicros(endUs_, s.tb) : shown + p.duration;
        if (from != shown || until != shown + p.duration)
            duration = std::max<int64_t>(until - from, 1);
    }
    const int64_t pts = from - s.offset;
    const int64_t dts = from != shown || p.dts == kNoTimestamp ? pts : p.dts - s.offset;
    Write(id, p, pts, dts, actions, duration);
}

void CutPlanner::Write(uint64_t id, const PacketFacts &p, int64_t pts, int64_t dts, std::vector<PacketAction> &actions,
                       int64_t duration)
{
    actions.push_back({id, true, pts, dts, duration});
    anyWritten_ = true;
    const int64_t at = pts != kNoTimestamp ? pts : dts;
    // A subtitle's time on screen says nothing about how far the piece has come.
    if (at != kNoTimestamp && !streams_[p.stream].sparse) {
        const TimeBase tb = streams_[p.stream].tb;
        writtenUs_ = std::max(writtenUs_, ToMicros(at + std::max<int64_t>(p.duration, 0), tb));
    }
}

CutPlanner::Verdict CutPlanner::Finish(std::vector<PacketAction> &actions)
{
    if (phase_ == Phase::Finished)
        return error_.empty() ? Verdict::Done : Verdict::Failed;
    if (phase_ == Phase::Searching) {
        const Verdict pending = ResolvePendingKey(actions);
        if (pending != Verdict::Continue)
            return pending;
        if (!haveCandidate_) {
            if (!atFileStart_) {
                ReleaseHeld(actions);
                return Verdict::SeekEarlier;
            }
            if (!anchorSeen_)
                return Fail("the input holds no packets to copy", actions);
            return Fail("the input has no keyframe to start from", actions);
        }
        if (startUs_ >= anchorEndUs_)
            return Fail("the start lies beyond the end of the input", actions);
        const Verdict v = FixAnchor(actions);
        if (v != Verdict::Continue)
            return v;
    }
    StartFollowers(actions);
    if (phase_ == Phase::Copying)
        ResolveTail(actions); // a picture waiting for the ones behind it, at the input's end
    ReleaseHeld(actions);
    phase_ = Phase::Finished;
    if (!anyWritten_)
        return Fail("nothing to copy in the requested range", actions);
    return Verdict::Done;
}

} // namespace kc::fileencoder
