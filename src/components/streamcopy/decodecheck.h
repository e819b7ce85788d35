#pragma once

#include <string>

struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;

namespace kc::fileencoder {

// Decodes the start of a piece's video as a player would (with only what the output file
// carries) to make sure a picture comes out, so that a piece no player can show is never
// reported as done.
class DecodeCheck {
public:
    // How many packets may go in before the first picture must have come out; decoders
    // hold back at most a few pictures for reordering.
    static constexpr int kPacketLimit = 64;

    DecodeCheck() = default;
    ~DecodeCheck();
    DecodeCheck(const DecodeCheck &) = delete;
    DecodeCheck &operator=(const DecodeCheck &) = delete;

    // par: the video stream as the output file will describe it; withExtradata: whether the
    // output container stores the codec's global headers. False (and no checking) when this
    // FFmpeg has no decoder for the codec.
    bool Open(const AVCodecParameters *par, bool withExtradata);

    // Hands over the piece's video packets in decode order until a picture has come out.
    // False with a reason once the limit has been passed without a picture.
    bool Feed(const AVPacket *pkt, std::string *why);
    // At the end of the piece: drains the decoder; false with a reason when no picture ever
    // came out.
    bool Finish(std::string *why);

    bool Active() const { return ctx_ != nullptr && !passed_; }

private:
    void Drain();
    std::string Reason() const;

    AVCodecContext *ctx_ = nullptr;
    AVFrame *frame_ = nullptr;
    int fed_ = 0;
    bool passed_ = false;
};

} // namespace kc::fileencoder
