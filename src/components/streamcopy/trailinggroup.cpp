#include "trailinggroup.h"

#include "h264paramsets.h"
#include "tailencoder.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
}

namespace kc::fileencoder {

bool TrailingGroupRecoder::Supports(const AVStream *stream)
{
    const int codec = stream->codecpar->codec_id;
    const AVRational rate = StreamFrameRate(stream);
    return (codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC || codec == AV_CODEC_ID_MPEG4)
           && HeadEncoder::EncoderFor(codec)
           && rate.num > 0 && rate.den > 0;
}

bool TrailingGroupRecoder::Keep(const AVPacket *pkt, bool written)
{
    if (written && (pkt->flags & AV_PKT_FLAG_KEY))
        group_.clear();
    OwnedPacket ref(av_packet_clone(pkt));
    if (!ref)
        return false;
    group_.push_back(std::move(ref));
    return true;
}

bool TrailingGroupRecoder::Add(const AVPacket *pkt, int64_t outPts, int64_t outDts)
{
    // Without presentation times (AVI) a B-picture comes out of the decoder with its own
    // decode time, and those behind one picture show in decode order.
    const int64_t shown = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (shown == AV_NOPTS_VALUE || !Keep(pkt, false))
        return false;
    wanted_.push_back({shown, outPts, outDts});
    return true;
}

bool TrailingGroupRecoder::Encode(const AVStream *stream, const volatile std::sig_atomic_t *stop,
                                  std::vector<OwnedPacket> *out, std::string *why)
{
    if (wanted_.empty())
        return true;
    std::vector<const AVPacket *> packets;
    int64_t bytes = 0;
    for (const OwnedPacket &p : group_) {
        packets.push_back(p.get());
        bytes += p->size;
    }
    TailRequest request;
    request.stream = stream;
    request.frameRate = StreamFrameRate(stream);
    request.parameterSetId = FreeParameterSetId(SourceParameterSets(stream->codecpar, packets));
    if (request.parameterSetId < 0) {
        *why = "the video uses every parameter set id";
        return false;
    }
    // The GOP's own rate: a stream's average says little about the pictures at hand.
    const double seconds = static_cast<double>(packets.size()) / av_q2d(request.frameRate);
    request.bitRate = static_cast<int64_t>(static_cast<double>(bytes) * 8 / std::max(seconds, 0.04));
    request.packets = packets;
    std::vector<Wanted> byShown = wanted_;
    std::sort(byShown.begin(), byShown.end(), [](const Wanted &a, const Wanted &b) { return a.shown < b.shown; });
    for (const Wanted &w : byShown)
        request.shown.push_back(w.shown);

    std::vector<OwnedPacket> fresh;
    if (!EncodeTail(request, stop, &fresh, why))
        return false;
    if (fresh.size() != byShown.size()) {
        *why = "the encoder returned another number of pictures than it was given";
        return false;
    }
    // The new group is not reordered: its pictures decode in the order they show, at the
    // decode times the replaced pictures had (the k-th earliest of those is never later than
    // the k-th earliest shown time, since each was no later than its own).
    std::vector<int64_t> decodeTimes;
    for (const Wanted &w : wanted_)
        decodeTimes.push_back(w.outDts);
    std::sort(decodeTimes.begin(), decodeTimes.end());
    const int lengthSize = NalLengthSize(stream->codecpar);
    for (size_t i = 0; i < fresh.size(); ++i) {
        OwnedPacket &pkt = fresh[i];
        const auto w = std::find_if(byShown.begin(), byShown.end(), [&](const Wanted &x) { return x.shown == pkt->pts; });
        if (w == byShown.end()) {
            *why = "the encoder returned a picture it was not given";
            return false;
        }
        if (lengthSize > 0 && !ToLengthPrefixed(&pkt, lengthSize)) {
            *why = "out of memory";
            return false;
        }
        pkt->pts = w->outPts;
        pkt->dts = std::min(decodeTimes[i], w->outPts);
        out->push_back(std::move(pkt));
    }
    return true;
}

} // namespace kc::fileencoder
