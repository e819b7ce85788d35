#include "headencoder.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace kc::fileencoder {

namespace {

const char *X265ProfileName(int profile)
{
    switch (profile) {
    case FF_PROFILE_HEVC_MAIN: return "main";
    case FF_PROFILE_HEVC_MAIN_10: return "main10";
    default: return nullptr;
    }
}

const char *X264ProfileName(int profile)
{
    switch (profile & ~FF_PROFILE_H264_CONSTRAINED) {
    case FF_PROFILE_H264_BASELINE: return "baseline";
    case FF_PROFILE_H264_MAIN: return "main";
    case FF_PROFILE_H264_HIGH: return "high";
    case FF_PROFILE_H264_HIGH_10: return "high10";
    case FF_PROFILE_H264_HIGH_422: return "high422";
    case FF_PROFILE_H264_HIGH_444_PREDICTIVE: return "high444";
    default: return nullptr;
    }
}

bool Supports(const AVCodec *codec, AVPixelFormat format)
{
    if (!codec->pix_fmts)
        return true;
    for (const AVPixelFormat *f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == format)
            return true;
    }
    return false;
}

std::string ErrorText(int err)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

} // namespace

HeadEncoder::~HeadEncoder()
{
    avcodec_free_context(&ctx_);
}

const AVCodec *HeadEncoder::EncoderFor(int codecId)
{
    switch (codecId) {
    case AV_CODEC_ID_H264: return avcodec_find_encoder_by_name("libx264");
    case AV_CODEC_ID_HEVC: return avcodec_find_encoder_by_name("libx265");
    case AV_CODEC_ID_MPEG4: return avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    case AV_CODEC_ID_MPEG2VIDEO: return avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    default: return nullptr;
    }
}

bool HeadEncoder::Open(const AVCodecParameters *source, AVRational frameRate, int64_t bitRate, bool globalHeader,
                       int parameterSetId, std::string *why)
{
    const AVCodec *codec = EncoderFor(source->codec_id);
    if (!codec) {
        *why = std::string("no encoder for ") + avcodec_get_name(source->codec_id);
        return false;
    }
    const auto format = static_cast<AVPixelFormat>(source->format);
    if (!Supports(codec, format)) {
        const char *name = av_get_pix_fmt_name(format);
        *why = std::string("the ") + codec->name + " encoder cannot write " + (name ? name : "this") + " pictures";
        return false;
    }
    if (frameRate.num <= 0 || frameRate.den <= 0) {
        *why = "the video has no known frame rate";
        return false;
    }
    ctx_ = avcodec_alloc_context3(codec);
    if (!ctx_) {
        *why = "out of memory";
        return false;
    }
    ctx_->width = source->width;
    ctx_->height = source->height;
    ctx_->pix_fmt = format;
    ctx_->sample_aspect_ratio = source->sample_aspect_ratio;
    ctx_->color_range = source->color_range;
    ctx_->color_primaries = source->color_primaries;
    ctx_->color_trc = source->color_trc;
    ctx_->colorspace = source->color_space;
    ctx_->chroma_sample_location = source->chroma_location;
    ctx_->field_order = source->field_order;
    ctx_->time_base = av_inv_q(frameRate);
    ctx_->framerate = frameRate;
    ctx_->bit_rate = bitRate;
    ctx_->max_b_frames = 0;
    ctx_->gop_size = 1 << 20; // one keyframe, at the head's start
    ctx_->profile = source->profile;
    ctx_->level = source->level;
    if (source->field_order != AV_FIELD_PROGRESSIVE && source->field_order != AV_FIELD_UNKNOWN)
        ctx_->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    if (globalHeader)
        ctx_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    AVDictionary *options = nullptr;
    if (source->codec_id == AV_CODEC_ID_H264) {
        const char *profile = X264ProfileName(source->profile);
        if (profile)
            av_dict_set(&options, "profile", profile, 0);
        av_dict_set(&options, "preset", "fast", 0);
        // The copied pictures keep the source's parameter sets; the head's must not replace
        // them under the same id.
        av_dict_set(&options, "x264-params", ("sps-id=" + std::to_string(parameterSetId)).c_str(), 0);
        ctx_->profile = FF_PROFILE_UNKNOWN; // named above; the number would be read as a preset
    } else if (source->codec_id == AV_CODEC_ID_HEVC) {
        const char *profile = X265ProfileName(source->profile);
        if (profile)
            av_dict_set(&options, "profile", profile, 0);
        av_dict_set(&options, "preset", "fast", 0);
        // x265 numbers its parameter sets 0 whatever it is asked: its IDR picture starts a new
        // coded sequence, which may bring sets of its own under ids the source used. Only a
        // group at a piece's end can be made so (no copied picture follows that needs the
        // source's sets). Scene cuts would add keyframes; the log would go to the terminal.
        av_dict_set(&options, "x265-params", "scenecut=0:info=0:log-level=error", 0);
        ctx_->profile = FF_PROFILE_UNKNOWN;
    } else {
        if (source->codec_id == AV_CODEC_ID_MPEG4 && source->video_delay > 0) {
            // A stream with B-pictures says so in its VOL header (low_delay 0), and a decoder
            // holds each other picture back until the next one comes. A new VOL with
            // low_delay 1 would make it drop the copied picture it holds at the join; with
            // B-pictures allowed and every picture asked for as P, none is written.
            ctx_->max_b_frames = 1;
            forcePredicted_ = true;
        }
        // The head decodes alone: no picture may refer to one before it.
        ctx_->flags |= AV_CODEC_FLAG_CLOSED_GOP;
        ctx_->gop_size = 600; // the longest these encoders take
        // Scene changes would add keyframes, which a closed GOP cannot have here.
        av_dict_set(&options, "sc_threshold", "1000000000", 0);
    }
    const int r = avcodec_open2(ctx_, codec, &options);
    av_dict_free(&options);
    if (r < 0) {
        *why = std::string("cannot open the ") + codec->name + " encoder (" + ErrorText(r) + ")";
        return false;
    }
    return true;
}

bool HeadEncoder::Encode(AVFrame *frame, std::vector<OwnedPacket> &packets, std::string *why)
{
    if (frame) {
        const bool interlaced = ctx_->field_order != AV_FIELD_PROGRESSIVE && ctx_->field_order != AV_FIELD_UNKNOWN;
        frame->interlaced_frame = interlaced ? 1 : 0;
        frame->top_field_first = ctx_->field_order == AV_FIELD_TT || ctx_->field_order == AV_FIELD_TB;
        frame->pict_type = forcePredicted_ ? AV_PICTURE_TYPE_P : AV_PICTURE_TYPE_NONE;
    }
    int r = avcodec_send_frame(ctx_, frame);
    if (r < 0) {
        *why = "cannot encode the first pictures (" + ErrorText(r) + ")";
        return false;
    }
    for (;;) {
        OwnedPacket pkt(av_packet_alloc());
        if (!pkt) {
            *why = "out of memory";
            return false;
        }
        r = avcodec_receive_packet(ctx_, pkt.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0) {
            *why = "cannot encode the first pictures (" + ErrorText(r) + ")";
            return false;
        }
        packets.push_back(std::move(pkt));
    }
}

} // namespace kc::fileencoder
