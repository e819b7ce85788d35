#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace kc {

// Where the timestamps of an MPEG transport or program stream start again, worked out from
// one pass over its packets, and how far each part after such a reset is moved so that the
// parts lie end to end.
//
// The parts are those of one stream, the pictures' (else the sound's): a run of a few
// packets on a clock of their own is damage, not a part. The other streams start again at
// their own byte positions (sound is stored a little before or after the pictures it goes
// with), each matched to the part whose clock it takes up. All streams of a part move by the
// same amount, which keeps them in step; a part starts where the one before ended.
//
// Times are microseconds on the file's own clock.
class ResetMap
{
public:
    // A stream whose timestamps jump back by more than this, or forward by more than
    // kForwardJumpUs, has started again (the thresholds players use).
    static constexpr int64_t kBackwardJumpUs = 500000;
    static constexpr int64_t kForwardJumpUs = 10000000;

    // The stream that decides where parts begin and whose keyframes are the places seeks go
    // to (the pictures, else the sound).
    void SetSeekStream(int streamId) { seekStream_ = streamId; }
    // Feeds one packet, in file order. timed: sound or pictures, the streams whose clock is
    // followed (subtitles and data go with the seek stream's parts). key: reading can start
    // at it. pos: its byte position; us: its decode time (its presentation time when it has
    // none), by which a clock's jumps are told; shownUs to endUs: when what it holds is shown.
    void Observe(int streamId, bool timed, bool key, int64_t pos, int64_t us, int64_t shownUs, int64_t endUs);
    // After the last packet: works out the parts and their offsets.
    void Finish();

    // Whether the clock started again (false: the file is read as it is).
    bool Any() const { return offsetsUs_.size() > 1; }
    // Where the last packet ends, on the continuous clock (0 when nothing was seen).
    int64_t EndUs() const { return endUs_; }
    // How far a packet of this stream at this byte position is moved (pos < 0: unknown,
    // the part the stream was in last, *lastPart, is kept; lastPart may be null).
    int64_t OffsetUs(int streamId, int64_t pos, int *lastPart = nullptr) const;
    // The byte position from which reading reaches what shows at us on the continuous clock:
    // the last seek point at or before it (0 in the first second of the file).
    int64_t SeekPosition(int64_t us) const;

private:
    // Packets of one stream on one clock, in file order.
    struct Run {
        int64_t startPos = 0;
        int64_t firstUs = 0; // when its earliest packet is shown
        int64_t endUs = 0;   // where its last packet ends
        int64_t lastUs = 0;  // the decode time of its last packet
        int packets = 0;
    };
    struct Track {
        bool timed = false;
        std::vector<Run> runs;
    };
    // One part of the seek stream: consecutive runs on one clock, damage between them left in.
    struct Part {
        int64_t startPos = 0;
        int64_t firstUs = 0;
        int64_t endUs = 0;
    };
    struct SeekPoint {
        int64_t pos = 0;
        size_t run = 0;
        int64_t us = 0; // when it is shown, on the file's own clock
    };

    std::vector<Part> PartsOf(const Track &t, std::vector<int> *partOfRun) const;
    // Where stream t takes up each part's clock (its own byte positions, the seek stream's
    // where it shows none), and the offset its ends ask for; false when it follows no part.
    void MatchTrack(const Track &t, const std::vector<Part> &parts, std::vector<int64_t> *starts,
                    std::vector<int64_t> *minOffsets) const;

    std::map<int, Track> tracks_;
    std::vector<SeekPoint> seekPoints_;
    int seekStream_ = -1;
    std::vector<int64_t> offsetsUs_;      // per part
    std::vector<int64_t> partStarts_;     // per part: where the seek stream's clock starts again
    std::map<int, std::vector<int64_t>> starts_; // per timed stream: where it enters each part
    std::vector<std::pair<int64_t, int64_t>> seekIndex_; // continuous time, position
    int64_t endUs_ = 0;
};

} // namespace kc
