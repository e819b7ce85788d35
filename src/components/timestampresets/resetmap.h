#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace kc {

// Where the timestamps of an MPEG transport or program stream start again, worked out from
// one pass over its packets, and how far each part after such a reset is moved so that the
// parts lie end to end.
//
// Each stream resets at its own byte position (sound is stored a little before or after the
// pictures it goes with), so a packet's part is found from its own stream's positions. All
// streams of one part move by the same amount, which keeps them in step: the part starts
// where the one before ended, at its earliest timestamp.
//
// Times are microseconds on the file's own clock.
class ResetMap
{
public:
    // A stream whose timestamps jump back by more than this, or forward by more than
    // kForwardJumpUs, has started again (the thresholds players use).
    static constexpr int64_t kBackwardJumpUs = 500000;
    static constexpr int64_t kForwardJumpUs = 10000000;

    // The stream whose keyframes are the places seeks go to (the pictures, else the sound).
    void SetSeekStream(int streamId) { seekStream_ = streamId; }
    // Feeds one packet, in file order. timed: sound or pictures, the streams whose clock
    // decides where the parts begin (subtitles and data follow them). key: reading can start
    // at it. pos: its byte position; us: its decode time (its presentation time when it has
    // none); durationUs: how long it lasts (0 unknown).
    void Observe(int streamId, bool timed, bool key, int64_t pos, int64_t us, int64_t durationUs);
    // After the last packet: works out the parts' offsets.
    void Finish();

    // Whether any stream started again (false: the file is read as it is).
    bool Any() const { return offsetsUs_.size() > 1; }
    // Where the last packet ends, on the continuous clock (0 when nothing was seen).
    int64_t EndUs() const { return endUs_; }
    // How far a packet of this stream at this byte position is moved (pos < 0: unknown,
    // the part the stream was in last, *lastPart, is kept; lastPart may be null).
    int64_t OffsetUs(int streamId, int64_t pos, int *lastPart = nullptr) const;
    // The byte position from which reading reaches what shows at us on the continuous clock:
    // the last seek point at or before it (0 before the first).
    int64_t SeekPosition(int64_t us) const;

private:
    struct Part {
        int64_t startPos = 0;
        int64_t firstUs = 0; // earliest time in the part
        int64_t endUs = 0;   // where its last packet ends
    };
    struct Track {
        bool timed = false;
        int64_t lastUs = 0;
        bool any = false;
        std::vector<Part> parts;
    };
    struct SeekPoint {
        int64_t pos = 0;
        int part = 0;
        int64_t us = 0; // on the file's own clock
    };
    int PartAt(const std::vector<int64_t> &starts, int64_t pos) const;

    std::map<int, Track> tracks_;
    std::vector<SeekPoint> seekPoints_;
    int seekStream_ = -1;
    std::vector<int64_t> offsetsUs_;      // per part
    std::vector<int64_t> partStarts_;     // per part: the first position any stream reset at
    std::map<int, std::vector<int64_t>> starts_; // per stream: where each of its parts begins
    std::vector<std::pair<int64_t, int64_t>> seekIndex_; // continuous time, position
    int64_t endUs_ = 0;
};

} // namespace kc
