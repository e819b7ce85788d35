#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVCodecParameters;
struct AVFrame;
struct AVPacket;

namespace kc::fileencoder {

// The last pictures of an MPEG-2 piece that show before its end but refer to the next GOP's
// first picture (an open GOP): that picture shows after the end, so it stays out of the
// piece, and each of these pictures is written anew as a picture predicted from what the
// piece already holds, showing the same samples (see EncodeExactPicture).
//
// It is handed the piece's video packets in decode order from the last keyframe on, as read
// (original timestamps), and decodes them only when a picture has to be written anew.
class TrailingPictureRecoder {
public:
    explicit TrailingPictureRecoder(const AVCodecParameters *par);
    ~TrailingPictureRecoder();
    TrailingPictureRecoder(const TrailingPictureRecoder &) = delete;
    TrailingPictureRecoder &operator=(const TrailingPictureRecoder &) = delete;

    // A packet written into the piece as it is (a keyframe starts over), or one only needed
    // to decode what follows.
    void Keep(const AVPacket *pkt, bool written, const std::vector<uint8_t> &headerBefore);

    // The new picture for pkt (a bidirectional picture shown before the end), under the
    // sequence header in force; nullptr with a reason when it cannot be made.
    std::unique_ptr<AVPacket, void (*)(AVPacket *)> Recode(const AVPacket *pkt, const std::vector<uint8_t> &sequenceHeader,
                                                          std::string *why);

    // Of all pictures written anew: how many macroblocks, and how many not sample-exact.
    int Macroblocks() const { return macroblocks_; }
    int InexactMacroblocks() const { return inexact_; }

private:
    struct Kept;
    AVFrame *DecodeWith(const std::vector<const AVPacket *> &extra, int64_t pts);

    AVCodecParameters *par_; // owned; null when out of memory
    std::vector<Kept> kept_;
    std::vector<std::vector<uint8_t>> written_;  // pictures written anew so far, in order
    std::vector<int64_t> writtenPts_;
    AVFrame *lastNew_ = nullptr;                 // what the last new picture decodes to
    int nextTemporalReference_ = -1;
    bool incomplete_ = false; // a packet of the GOP could not be kept
    int macroblocks_ = 0;
    int inexact_ = 0;
};

} // namespace kc::fileencoder
