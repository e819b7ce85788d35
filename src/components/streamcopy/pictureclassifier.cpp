#include "pictureclassifier.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace kc::fileencoder {

PictureClassifier::PictureClassifier(const AVCodecParameters *par)
{
    parser_ = av_parser_init(par->codec_id);
    if (!parser_)
        return;
    ctx_ = avcodec_alloc_context3(nullptr);
    if (!ctx_ || avcodec_parameters_to_context(ctx_, par) < 0) {
        avcodec_free_context(&ctx_);
        av_parser_close(parser_);
        parser_ = nullptr;
        return;
    }
    // Packets are whole frames already; the parser only reads their headers.
    parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
}

PictureClassifier::~PictureClassifier()
{
    if (parser_)
        av_parser_close(parser_);
    avcodec_free_context(&ctx_);
}

PictureKind PictureClassifier::Classify(const AVPacket *pkt)
{
    if (!parser_ || !pkt || pkt->size <= 0)
        return PictureKind::Unknown;
    parser_->pict_type = AV_PICTURE_TYPE_NONE;
    uint8_t *out = nullptr;
    int outSize = 0;
    av_parser_parse2(parser_, ctx_, &out, &outSize, pkt->data, pkt->size, pkt->pts, pkt->dts, pkt->pos);
    switch (parser_->pict_type) {
    case AV_PICTURE_TYPE_NONE:
        return PictureKind::Unknown;
    case AV_PICTURE_TYPE_B:
    case AV_PICTURE_TYPE_BI:
        return PictureKind::Bidirectional;
    default:
        return PictureKind::Other;
    }
}

} // namespace kc::fileencoder
