#pragma once

#include "headencoder.h"

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

struct AVPacket;
struct AVStream;

namespace kc::fileencoder {

// The last pictures of an H.264, HEVC or MPEG-4 piece that show before its end but are decoded
// with a picture shown after it: in an open GOP the next GOP's keyframe, which belongs to
// the next piece. That picture stays out, and these are decoded from their GOP and encoded
// again as a short group of their own behind the copied pictures (see EncodeTail), so that
// consecutive pieces show every picture once.
class TrailingGroupRecoder {
public:
    // Whether this stream's pictures can be encoded again so: a codec with an encoder built
    // in, and a frame rate to give it.
    static bool Supports(const AVStream *stream);

    // A packet of the piece's video in decode order, written as it is (a keyframe starts
    // the group over) or, written: false, only needed to decode what follows (the keyframe
    // after the end). False when out of memory.
    bool Keep(const AVPacket *pkt, bool written);
    // A picture to encode again (kept too); outPts and outDts: the times the piece gives it,
    // in the stream's time base.
    bool Add(const AVPacket *pkt, int64_t outPts, int64_t outDts);
    bool Empty() const { return wanted_.empty(); }

    // The new pictures in decode order, at the times given, H.264 in the stream's own packet
    // form. stream: the video stream as the input stands now (a reading pass may have opened
    // the input again since the packets were kept). False with a reason when they cannot be
    // made.
    bool Encode(const AVStream *stream, const volatile std::sig_atomic_t *stop, std::vector<OwnedPacket> *out,
                std::string *why);

private:
    struct Wanted {
        int64_t shown; // the source's pts (AVI: its decode time)
        int64_t outPts;
        int64_t outDts;
    };

    std::vector<OwnedPacket> group_; // from the last keyframe on
    std::vector<Wanted> wanted_;
};

} // namespace kc::fileencoder
