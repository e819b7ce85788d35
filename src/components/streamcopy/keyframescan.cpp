#include "keyframescan.h"

#include "cutplanner.h"

#include <algorithm>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

namespace kc::fileencoder {

namespace {

int InterruptRequested(void *opaque)
{
    const auto *stop = static_cast<const volatile std::sig_atomic_t *>(opaque);
    return stop && *stop ? 1 : 0;
}

std::string AvErrorText(int err)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

struct InputClose {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};

} // namespace

// From the stream-copy rules (copysetup.h), whose other helpers this file has its own of.
void FillInPresentationTimes(AVFormatContext *ic);

KeyframeScan ScanKeyframes(const std::string &input, const volatile std::sig_atomic_t *stop)
{
    KeyframeScan scan;
    const auto stopped = [stop] { return stop && *stop; };
    AVFormatContext *raw = avformat_alloc_context();
    if (!raw) {
        scan.error = "out of memory";
        return scan;
    }
    raw->interrupt_callback.callback = &InterruptRequested;
    raw->interrupt_callback.opaque = const_cast<std::sig_atomic_t *>(stop);
    const std::string url = "file:" + input;
    int r = avformat_open_input(&raw, url.c_str(), nullptr, nullptr);
    if (r < 0) {
        scan.error = stopped() ? "stopped" : "cannot read the input as a media file (" + AvErrorText(r) + "): " + input;
        return scan;
    }
    std::unique_ptr<AVFormatContext, InputClose> ic(raw);
    r = avformat_find_stream_info(raw, nullptr);
    if (r < 0) {
        scan.error = stopped() ? "stopped" : "cannot read the streams of the input (" + AvErrorText(r) + "): " + input;
        return scan;
    }
    FillInPresentationTimes(raw);
    const int64_t startUs = raw->start_time != AV_NOPTS_VALUE ? raw->start_time : 0;
    scan.durationUs = raw->duration != AV_NOPTS_VALUE && raw->duration > 0 ? raw->duration : 0;

    int video = -1;
    const int best = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best >= 0 && !(raw->streams[best]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        video = best;
    if (video < 0) {
        scan.ok = true;
        return scan;
    }
    scan.hasVideo = true;
    const AVRational rate = raw->streams[video]->avg_frame_rate.num > 0 ? raw->streams[video]->avg_frame_rate
                                                                       : raw->streams[video]->r_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        scan.frameUs = av_rescale(AV_TIME_BASE, rate.den, rate.num);
    // The demuxer then skips the other streams' payloads: the pass reads little more
    // than the index and the video's packet headers.
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        raw->streams[i]->discard = static_cast<int>(i) == video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    const AVRational tb = raw->streams[video]->time_base;
    AVPacket *pkt = av_packet_alloc();
    if (!pkt) {
        scan.error = "out of memory";
        return scan;
    }
    for (;;) {
        r = av_read_frame(raw, pkt);
        if (stopped()) {
            av_packet_free(&pkt);
            scan.error = "stopped";
            return scan;
        }
        if (r == AVERROR_EOF || r == AVERROR_INVALIDDATA)
            break; // damaged data at the end reads as the end, as players treat it
        if (r < 0) {
            av_packet_free(&pkt);
            scan.error = "cannot read the input (" + AvErrorText(r) + ")";
            return scan;
        }
        if (pkt->stream_index == video && (pkt->flags & AV_PKT_FLAG_KEY)) {
            const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            if (ts != AV_NOPTS_VALUE)
                // Converted as the cut planner converts, so a piece's end lands exactly on
                // the next piece's keyframe.
                scan.keyframesUs.push_back(CutPlanner::ToMicros(ts, {tb.num, tb.den}) - startUs);
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    std::sort(scan.keyframesUs.begin(), scan.keyframesUs.end());
    scan.keyframesUs.erase(std::unique(scan.keyframesUs.begin(), scan.keyframesUs.end()), scan.keyframesUs.end());
    scan.ok = true;
    return scan;
}

} // namespace kc::fileencoder
