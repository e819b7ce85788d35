#include "tailencoder.h"

#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

namespace kc::fileencoder {

namespace {

struct DecoderFree {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};

std::string ErrorText(int err)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

class TailJob {
public:
    TailJob(const TailRequest &request, std::vector<OwnedPacket> *packets, std::string *why)
        : r_(request), packets_(packets), why_(why)
    {
    }

    bool Run(const volatile std::sig_atomic_t *stop)
    {
        if (r_.shown.empty())
            return true;
        const AVCodecParameters *par = r_.stream->codecpar;
        const AVCodec *codec = avcodec_find_decoder(par->codec_id);
        if (!codec)
            return Fail(std::string("this build has no ") + avcodec_get_name(par->codec_id) + " decoder");
        decoder_.reset(avcodec_alloc_context3(codec));
        if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), par) < 0)
            return Fail("out of memory");
        decoder_->pkt_timebase = r_.stream->time_base;
        if (avcodec_open2(decoder_.get(), codec, nullptr) < 0)
            return Fail(std::string("cannot open the ") + codec->name + " decoder");
        if (!encoder_.Open(par, r_.frameRate, r_.bitRate, false, r_.parameterSetId, why_))
            return false;
        frame_.reset(av_frame_alloc());
        if (!frame_)
            return Fail("out of memory");

        for (const AVPacket *pkt : r_.packets) {
            if (stop && *stop)
                return Fail("stopped");
            if (!Decode(pkt))
                return false;
            if (encoded_ == r_.shown.size())
                break;
        }
        if (encoded_ < r_.shown.size() && !Decode(nullptr))
            return false;
        if (encoded_ < r_.shown.size())
            return Fail("the pictures before the end of the piece cannot be decoded");
        if (!encoder_.Encode(nullptr, encodedPackets_, why_))
            return false;
        for (OwnedPacket &pkt : encodedPackets_) {
            if (pkt->pts < 0 || pkt->pts >= static_cast<int64_t>(r_.shown.size()))
                return Fail("the encoder returned a picture it was not given");
            pkt->pts = r_.shown[static_cast<size_t>(pkt->pts)];
            pkt->dts = AV_NOPTS_VALUE;
            pkt->duration = av_rescale_q(1, av_inv_q(r_.frameRate), r_.stream->time_base);
            pkt->time_base = r_.stream->time_base;
            packets_->push_back(std::move(pkt));
        }
        return true;
    }

private:
    bool Fail(const std::string &why)
    {
        *why_ = why;
        return false;
    }

    bool Decode(const AVPacket *pkt)
    {
        int r = avcodec_send_packet(decoder_.get(), pkt);
        if (r < 0 && r != AVERROR_EOF)
            return Fail("cannot decode the pictures before the end of the piece (" + ErrorText(r) + ")");
        for (;;) {
            r = avcodec_receive_frame(decoder_.get(), frame_.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return Fail("cannot decode the pictures before the end of the piece (" + ErrorText(r) + ")");
            // The packet's own time, which the wanted times were read from.
            const int64_t ts = frame_->pts != AV_NOPTS_VALUE ? frame_->pts : frame_->best_effort_timestamp;
            const bool wanted = encoded_ < r_.shown.size() && ts == r_.shown[encoded_];
            if (wanted) {
                // Numbered in the order they go in: a packet's number finds its picture's
                // shown time again.
                frame_->pts = static_cast<int64_t>(encoded_);
                ++encoded_;
                if (!encoder_.Encode(frame_.get(), encodedPackets_, why_))
                    return false;
            }
            av_frame_unref(frame_.get());
        }
    }

    const TailRequest &r_;
    std::vector<OwnedPacket> *packets_;
    std::string *why_;
    std::unique_ptr<AVCodecContext, DecoderFree> decoder_;
    std::unique_ptr<AVFrame, FrameFree> frame_;
    HeadEncoder encoder_;
    size_t encoded_ = 0; // pictures handed to the encoder
    std::vector<OwnedPacket> encodedPackets_;
};

} // namespace

bool EncodeTail(const TailRequest &request, const volatile std::sig_atomic_t *stop, std::vector<OwnedPacket> *packets,
                std::string *why)
{
    TailJob job(request, packets, why);
    return job.Run(stop);
}

} // namespace kc::fileencoder
