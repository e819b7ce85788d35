#pragma once

#include "headencoder.h"

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

struct AVCodecParameters;
struct AVPacket;
struct AVStream;

namespace kc::fileencoder {

// The pictures at a frame-exact piece's end that no copied packet can reach without one
// shown after the end: decoded from their group's keyframe and encoded again as a group of
// their own (same codec and parameters as the source, headers in the first packet), so
// that they decode right after the copied pictures.
struct TailRequest {
    const AVStream *stream = nullptr; // the source's video stream
    AVRational frameRate{0, 1};
    int64_t bitRate = 0;
    int parameterSetId = 0; // H.264: an SPS/PPS id no other picture of the piece uses
    // The group's packets in decode order, from its keyframe on, as far as the pictures
    // wanted need.
    std::vector<const AVPacket *> packets;
    std::vector<int64_t> shown; // the pictures wanted, in the stream's time base, ascending
};

// Packets in decode order; each pts is the shown time of its picture (the stream's time
// base), dts is left to the caller. H.264 comes with start codes. False with a reason when
// a wanted picture does not come out of the decoder or cannot be encoded.
bool EncodeTail(const TailRequest &request, const volatile std::sig_atomic_t *stop,
                std::vector<OwnedPacket> *packets, std::string *why);

// The pictures per second a video stream's pictures are encoded again at: its average rate,
// else the rate its timestamps are based on.
AVRational StreamFrameRate(const AVStream *stream);

// The H.264 SPS and PPS units the source's pictures may use: those of its avcC record, or
// (Annex B) of its extradata and of the given packets. Empty for other codecs. A re-encoded
// group takes an id none of them has.
std::vector<std::vector<uint8_t>> SourceParameterSets(const AVCodecParameters *par,
                                                      const std::vector<const AVPacket *> &packets);

// How many bytes stand before each NAL unit in the packets of an H.264 or HEVC stream kept
// in MP4/Matroska form (its extradata an avcC or hvcC record); 0 for start codes (Annex B,
// as in transport streams) and for other codecs.
int NalLengthSize(const AVCodecParameters *par);

// An encoder's Annex B packet in the form MP4 and Matroska store H.264: each NAL unit behind
// its length in lengthSize bytes. False only when out of memory.
bool ToLengthPrefixed(OwnedPacket *pkt, int lengthSize);

} // namespace kc::fileencoder
