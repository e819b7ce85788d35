#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace kc::fileencoder {

struct PacketDeleter {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using OwnedPacket = std::unique_ptr<AVPacket, PacketDeleter>;

// Encodes the few pictures between a cut and the next keyframe so that they can stand in
// front of copied pictures: same codec, profile, level, size, pixel format and field order
// as the source, a bitrate near the source's, one keyframe and no reordering (its pictures
// then decode before the copied keyframe whatever that one's reorder delay is).
class HeadEncoder {
public:
    HeadEncoder() = default;
    ~HeadEncoder();
    HeadEncoder(const HeadEncoder &) = delete;
    HeadEncoder &operator=(const HeadEncoder &) = delete;

    // The encoder for a source codec (an AVCodecID), or nullptr when none is built in or
    // the codec is not one a head can be made for.
    static const AVCodec *EncoderFor(int codecId);

    // source: the video stream's parameters; frameRate: its pictures per second;
    // globalHeader: the output keeps parameter sets in its header (they are then in
    // Context()->extradata as well as in the first packet); parameterSetId: for H.264, the
    // SPS/PPS id the head uses, one the source does not.
    bool Open(const AVCodecParameters *source, AVRational frameRate, int64_t bitRate, bool globalHeader,
              int parameterSetId, std::string *why);
    // frame->pts in Context()->time_base; nullptr drains the encoder.
    bool Encode(AVFrame *frame, std::vector<OwnedPacket> &packets, std::string *why);
    const AVCodecContext *Context() const { return ctx_; }

private:
    AVCodecContext *ctx_ = nullptr;
    bool forcePredicted_ = false; // every picture after the first asked for as P
};

} // namespace kc::fileencoder
