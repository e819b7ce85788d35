#include "tailencoder.h"

#include "h264paramsets.h"

#include <algorithm>
#include <cstring>
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
            // A picture no other one refers to is decoded only when it is wanted: in a GOP
            // with B-pictures that is most of the work saved. Not in HEVC, whose pictures
            // marked non-reference may still be referred to from a higher temporal layer.
            const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            const bool wanted = std::binary_search(r_.shown.begin(), r_.shown.end(), ts);
            const bool skippable = par->codec_id != AV_CODEC_ID_HEVC && !wanted;
            decoder_->skip_frame = skippable ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            if (!Decode(pkt))
                return false;
            if (encoded_ == r_.shown.size())
                break;
        }
        decoder_->skip_frame = AVDISCARD_DEFAULT;
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

AVRational StreamFrameRate(const AVStream *stream)
{
    const AVRational average = stream->avg_frame_rate;
    return average.num > 0 && average.den > 0 ? average : stream->r_frame_rate;
}

std::vector<std::vector<uint8_t>> SourceParameterSets(const AVCodecParameters *par,
                                                      const std::vector<const AVPacket *> &packets)
{
    std::vector<std::vector<uint8_t>> used;
    if (par->codec_id != AV_CODEC_ID_H264)
        return used; // ids are H.264's; other start codes would only read as such
    AvcConfig config;
    if (ParseAvcConfig(par->extradata, static_cast<size_t>(par->extradata_size), &config)) {
        used = config.sps;
        used.insert(used.end(), config.pps.begin(), config.pps.end());
        return used; // packets in length form: the record names every id
    }
    if (par->extradata)
        used = SplitAnnexB(par->extradata, static_cast<size_t>(par->extradata_size));
    for (const AVPacket *p : packets) {
        for (auto &unit : SplitAnnexB(p->data, static_cast<size_t>(p->size)))
            if (NalType(unit) == 7 || NalType(unit) == 8)
                used.push_back(std::move(unit));
    }
    return used;
}

int NalLengthSize(const AVCodecParameters *par)
{
    const uint8_t *data = par->extradata;
    const size_t size = par->extradata ? static_cast<size_t>(std::max(par->extradata_size, 0)) : 0;
    if (par->codec_id == AV_CODEC_ID_H264) {
        AvcConfig config;
        return ParseAvcConfig(data, size, &config) ? config.lengthSize : 0;
    }
    // An hvcC record starts with its version, 1; Annex B extradata with a start code.
    constexpr size_t kHvccLengthByte = 21;
    if (par->codec_id == AV_CODEC_ID_HEVC && size > kHvccLengthByte + 1 && data[0] == 1)
        return (data[kHvccLengthByte] & 3) + 1;
    return 0;
}

bool ToLengthPrefixed(OwnedPacket *pkt, int lengthSize)
{
    const std::vector<uint8_t> body =
        JoinLengthPrefixed(SplitAnnexB((*pkt)->data, static_cast<size_t>((*pkt)->size)), lengthSize);
    OwnedPacket converted(av_packet_alloc());
    if (!converted || av_new_packet(converted.get(), static_cast<int>(body.size())) < 0
        || av_packet_copy_props(converted.get(), pkt->get()) < 0)
        return false;
    std::memcpy(converted->data, body.data(), body.size());
    *pkt = std::move(converted);
    return true;
}

} // namespace kc::fileencoder
