#include "decodecheck.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace kc::fileencoder {

DecodeCheck::~DecodeCheck()
{
    av_frame_free(&frame_);
    avcodec_free_context(&ctx_);
}

bool DecodeCheck::Open(const AVCodecParameters *par, bool withExtradata)
{
    const AVCodec *codec = avcodec_find_decoder(par->codec_id);
    if (!codec)
        return false;
    ctx_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    if (!ctx_ || !frame_ || avcodec_parameters_to_context(ctx_, par) < 0) {
        avcodec_free_context(&ctx_);
        return false;
    }
    if (!withExtradata) {
        av_freep(&ctx_->extradata);
        ctx_->extradata_size = 0;
    }
    // One thread: frame threads would hold back a picture per thread.
    ctx_->thread_count = 1;
    // Only whether a picture comes out counts, not how it looks: the bitstream is still read
    // in full (so damage is still met), but the costly reconstruction is skipped and, where
    // the decoder can, pictures come out at an eighth of the size. At 720p this makes the
    // check a small fraction of a piece's copy instead of a large one.
    ctx_->skip_idct = AVDISCARD_ALL;
    ctx_->skip_loop_filter = AVDISCARD_ALL;
    ctx_->lowres = codec->max_lowres;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) {
        avcodec_free_context(&ctx_);
        return false;
    }
    return true;
}

void DecodeCheck::Drain()
{
    while (!passed_) {
        const int r = avcodec_receive_frame(ctx_, frame_);
        if (r < 0)
            return;
        passed_ = true;
        av_frame_unref(frame_);
    }
}

std::string DecodeCheck::Reason() const
{
    return "the piece's video cannot be decoded from its first picture (" + std::to_string(fed_)
           + " packets gave no picture)";
}

bool DecodeCheck::Feed(const AVPacket *pkt, std::string *why)
{
    if (!Active())
        return true;
    ++fed_;
    // A packet the decoder refuses is what a player would meet too; only the outcome counts.
    int r = avcodec_send_packet(ctx_, pkt);
    if (r == AVERROR(EAGAIN)) {
        Drain();
        r = avcodec_send_packet(ctx_, pkt);
    }
    Drain();
    if (passed_) {
        // Nothing more to learn; free the decoder's memory at once.
        avcodec_free_context(&ctx_);
        return true;
    }
    if (fed_ >= kPacketLimit) {
        *why = Reason();
        return false;
    }
    return true;
}

bool DecodeCheck::Finish(std::string *why)
{
    if (!Active())
        return true;
    avcodec_send_packet(ctx_, nullptr);
    Drain();
    if (passed_)
        return true;
    *why = Reason();
    return false;
}

} // namespace kc::fileencoder
