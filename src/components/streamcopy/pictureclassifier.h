#pragma once

#include "cutplanner.h"

struct AVCodecContext;
struct AVCodecParameters;
struct AVCodecParserContext;
struct AVPacket;

namespace kc::fileencoder {

// Reads the picture type of video packets with FFmpeg's parser for the codec (no decoding).
// Used where the container has no presentation timestamps to tell reordered pictures by.
class PictureClassifier {
public:
    explicit PictureClassifier(const AVCodecParameters *par);
    ~PictureClassifier();
    PictureClassifier(const PictureClassifier &) = delete;
    PictureClassifier &operator=(const PictureClassifier &) = delete;

    // Unknown when the codec has no parser or the packet tells nothing.
    PictureKind Classify(const AVPacket *pkt);

private:
    AVCodecParserContext *parser_ = nullptr;
    AVCodecContext *ctx_ = nullptr;
};

} // namespace kc::fileencoder
