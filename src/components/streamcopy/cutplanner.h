#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace kc::fileencoder {

// Same value as FFmpeg's AV_NOPTS_VALUE, so packet fields can be passed through unchanged.
constexpr int64_t kNoTimestamp = std::numeric_limits<int64_t>::min();

struct TimeBase {
    int num = 1;
    int den = 1;
};

// What a video packet holds, asked only where the decision needs it (it costs a parse).
enum class PictureKind { Unknown, Bidirectional, Other };

struct PacketFacts {
    int stream = 0; // index given by AddStream
    int64_t pts = kNoTimestamp;
    int64_t dts = kNoTimestamp;
    int64_t duration = 0;
    bool key = false;
};

// Every packet handed to Push comes back exactly once: written (with its output
// timestamps) or released.
struct PacketAction {
    uint64_t id = 0;
    bool write = false;
    int64_t pts = kNoTimestamp;
    int64_t dts = kNoTimestamp;
    int64_t duration = -1; // a new duration, in the stream's time base; -1 keeps the packet's
    // Not written: a picture shown after the end that the pictures below need to be decoded.
    bool referenceOnly = false;
    // Written as a new picture that shows the same without the references left out.
    bool recode = false;
};

// Decides which packets of a stream-copy cut are kept and what their timestamps become.
//
// The cut starts at the anchor stream's (video's) last keyframe at or before the start, so
// the piece decodes from its first frame. The other streams start at the packet nearest to
// that keyframe's time, so they stay in step with it even in containers without timestamps
// (AVI places the first packet of every stream at time 0). Bidirectional pictures that
// follow the keyframe in decode order but show before it (an open GOP) would reference a
// picture that is not in the piece, so they are dropped. Video ends with the pictures that
// show before the end and those they reference; the other streams end at the end.
//
// Two kinds of input: with presentation timestamps (MPEG-PS and most others) reordering
// is read from them; with decode timestamps only (AVI) it is read from the picture type,
// the decode timestamps are closed up over dropped pictures (the AVI muxer would fill any
// gap with empty frames), and the keyframe's time is its decode time plus the pictures
// dropped behind it, which showed before it.
//
// Sparse streams (subtitles) have a packet now and then, each shown for its duration: a cue
// that overlaps the piece is kept, clipped to it, and such a stream neither makes the cut
// read further back nor keeps it reading past the end.
class CutPlanner {
public:
    enum class Ordering { PresentationTimestamps, DecodeOrderOnly };
    enum class Verdict { Continue, Done, SeekEarlier, Failed };

    // Stream indices count from 0 in call order; one stream at most is the anchor, and it is
    // never sparse.
    int AddStream(TimeBase tb, bool anchor, bool sparse = false);

    // startUs/endUs are in the input's own timeline (the container's start time included);
    // endUs is exclusive.
    void SetRange(int64_t startUs, int64_t endUs);
    void SetOrdering(Ordering ordering) { ordering_ = ordering; }
    // A keyframe shown this little after the start still counts as at it. Containers place
    // the first picture a few milliseconds after the sound (Matroska, WebM, FLV); without
    // this, a start typed on a whole second would reach back a whole GOP. Under one frame.
    void SetKeyframeSlack(int64_t us) { keySlackUs_ = us > 0 ? us : 0; }
    // Bidirectional pictures shown just before the end refer to a picture shown after it
    // (the next GOP's first, in an open GOP). By default that picture comes along and shows
    // once more after the end; with this set it stays out (referenceOnly) and the pictures
    // that need it are written anew (recode), so that the piece ends exactly at its end.
    // Without presentation times, the pictures written anew take the decode times of the
    // one left out and their own, closed up.
    void SetRecodesAcrossEnd(bool on) { recodeAcrossEnd_ = on; }

    // Starts a reading pass. atFileStart: reading begins at the very start of the input,
    // so there is nothing earlier to go back to. Held packets of a previous pass are released
    // into actions.
    void Restart(bool atFileStart, std::vector<PacketAction> &actions);

    // Tells the kind of picture of a packet given to Push by its id; asked only for anchor
    // packets right after the keyframe and past the end, and only when reordering cannot be
    // read from timestamps. Without it every picture counts as not bidirectional.
    void SetClassifier(std::function<PictureKind(uint64_t id)> classify) { classify_ = std::move(classify); }

    Verdict Push(uint64_t id, const PacketFacts &packet, std::vector<PacketAction> &actions);
    // The input has ended.
    Verdict Finish(std::vector<PacketAction> &actions);

    const std::string &Error() const { return error_; }
    // Where the output's time 0 lies in the input's timeline, in microseconds; known once the
    // first packet has been written.
    int64_t ZeroUs() const { return anchorUs_; }
    bool AnyWritten() const { return anyWritten_; }
    // Seconds of output written so far, counted from the output's start.
    double WrittenSeconds() const { return writtenUs_ / 1e6; }

    static int64_t ToMicros(int64_t ts, TimeBase tb);
    static int64_t FromMicros(int64_t us, TimeBase tb);

private:
    struct Stream {
        TimeBase tb;
        bool anchor = false;
        bool sparse = false;
        bool done = false;
        bool started = false;
        bool seen = false;
        int64_t firstSeenUs = 0;
        int64_t firstSeenHalfUs = 0;
        int64_t offset = 0; // subtracted from this stream's timestamps
    };
    struct Held {
        uint64_t id;
        PacketFacts facts;
    };

    enum class Phase { Searching, Copying, Finished };

    static int64_t ShownTs(const PacketFacts &p) { return p.pts != kNoTimestamp ? p.pts : p.dts; }
    static int64_t DecodedTs(const PacketFacts &p) { return p.dts != kNoTimestamp ? p.dts : p.pts; }

    Verdict Search(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions);
    void AdoptCandidate(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions);
    Verdict ResolvePendingKey(std::vector<PacketAction> &actions);
    Verdict FixAnchor(std::vector<PacketAction> &actions);
    void Copy(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions);
    void CopyAnchor(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions);
    void KeepAnchor(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions);
    bool IsBidirectional(uint64_t id) const;
    int64_t EarliestUsefulUs() const;
    void CopyFollower(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions);
    void CopySparse(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions);
    void Write(uint64_t id, const PacketFacts &p, int64_t pts, int64_t dts, std::vector<PacketAction> &actions,
               int64_t duration = -1);
    void RecodeBeforeEnd(uint64_t id, const PacketFacts &p, const std::vector<Held> &references,
                         std::vector<PacketAction> &actions);
    void HoldUntilShown(uint64_t id, const PacketFacts &p, std::vector<PacketAction> &actions);
    void ResolveTail(std::vector<PacketAction> &actions);
    void AnchorTimes(const PacketFacts &p, int64_t *pts, int64_t *dts) const;
    void ReleaseHeld(std::vector<PacketAction> &actions);
    void StartFollowers(std::vector<PacketAction> &actions);
    bool AllDone() const;
    Verdict Fail(const std::string &why, std::vector<PacketAction> &actions);

    std::function<PictureKind(uint64_t id)> classify_;
    std::vector<Stream> streams_;
    int anchorStream_ = -1;
    Ordering ordering_ = Ordering::PresentationTimestamps;
    int64_t startUs_ = 0;
    int64_t endUs_ = std::numeric_limits<int64_t>::max();
    int64_t keySlackUs_ = 0;
    bool recodeAcrossEnd_ = false;
    bool recoding_ = false;

    Phase phase_ = Phase::Searching;
    bool atFileStart_ = true;
    std::vector<Held> held_;
    bool haveCandidate_ = false;
    PacketFacts candidate_;
    uint64_t candidateId_ = 0;
    // Without presentation times, a keyframe decoded at or before the start waits here
    // until the bidirectional pictures behind it tell when it shows.
    bool pendingKey_ = false;
    uint64_t pendingId_ = 0;
    PacketFacts pendingFacts_;
    int64_t pendingBehind_ = 0;
    bool anchorSeen_ = false;
    int64_t anchorEndUs_ = std::numeric_limits<int64_t>::min();

    // Copying state.
    int64_t anchorRef_ = 0;   // anchor timestamp that becomes 0, in the anchor's time base
    int64_t anchorUs_ = 0;
    int64_t followFromUs_ = 0;
    uint64_t anchorId_ = 0;
    bool leading_ = false;
    bool trailing_ = false;
    int64_t droppedUnits_ = 0;
    int64_t maxKeptPts_ = kNoTimestamp;
    // Without presentation times the keyframe shows after the pictures dropped behind it,
    // so the other streams wait until those are known.
    bool followersWait_ = false;
    std::vector<Held> waiting_;
    // Pictures that show after the end, kept back until a picture that shows before the end
    // turns out to need them as reference. Without presentation times (and recoding across
    // the end): the last picture that is not bidirectional and those decoded behind it, until
    // their count tells when it shows.
    std::vector<Held> tail_;

    bool anyWritten_ = false;
    int64_t writtenUs_ = 0;
    std::string error_;
};

} // namespace kc::fileencoder
