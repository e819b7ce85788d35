#include "sourcetimeline.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>

namespace kc {

namespace {

bool IsQuickTimeFamily(const AVFormatContext *ic)
{
    // libavformat names the demuxer after the whole family ("mov,mp4,m4a,3gp,3g2,mj2").
    return ic->iformat && ic->iformat->name && std::strstr(ic->iformat->name, "mov") != nullptr;
}

bool IsMatroska(const AVFormatContext *ic)
{
    return ic->iformat && ic->iformat->name && std::strstr(ic->iformat->name, "matroska") != nullptr;
}

// How far before a file's end its last packets are first looked for when it has no index.
constexpr int64_t kTailBytes = 4 << 20;

// Where the packets from the read position to the end of the file end (AV_TIME_BASE, the
// file's own time); AV_NOPTS_VALUE when none can be read.
int64_t PacketsEndUs(AVFormatContext *ic)
{
    AVPacket *pkt = av_packet_alloc();
    if (!pkt)
        return AV_NOPTS_VALUE;
    int64_t end = AV_NOPTS_VALUE;
    while (av_read_frame(ic, pkt) >= 0) {
        const AVStream *st = ic->streams[pkt->stream_index];
        const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (ts != AV_NOPTS_VALUE && st->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) {
            const int64_t at = av_rescale_q(ts + std::max<int64_t>(0, pkt->duration), st->time_base, AV_TIME_BASE_Q);
            end = end == AV_NOPTS_VALUE ? at : std::max(end, at);
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    return end;
}

// Where the file's last packet ends, read after a seek to its last keyframe.
int64_t ContentEndUs(AVFormatContext *ic, int64_t beyondUs)
{
    if (av_seek_frame(ic, -1, beyondUs, AVSEEK_FLAG_BACKWARD) < 0)
        return AV_NOPTS_VALUE;
    return PacketsEndUs(ic);
}

} // namespace

int64_t TimelineOriginUs(const AVFormatContext *ic)
{
    const int64_t first = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    // A QuickTime file's times before its zero (B-frame delay written without an edit) are
    // still shown from the first picture on.
    if (IsQuickTimeFamily(ic))
        return std::min<int64_t>(first, 0);
    return first;
}

int64_t StreamStartUs(const AVFormatContext *ic, const AVStream *st)
{
    if (!st || st->start_time == AV_NOPTS_VALUE)
        return 0;
    return av_rescale_q(st->start_time, st->time_base, AVRational{1, AV_TIME_BASE}) - TimelineOriginUs(ic);
}

int64_t TimelineDurationUs(AVFormatContext *ic)
{
    const int64_t header = ic->duration != AV_NOPTS_VALUE && ic->duration > 0 ? ic->duration : 0;
    const int64_t origin = TimelineOriginUs(ic);
    if (!IsMatroska(ic) || (header > 0 && origin <= 0))
        return header;
    int64_t end = AV_NOPTS_VALUE;
    if (header > 0) {
        // The header's figure taken as an end or as a length, whichever is later, bounds the end.
        end = ContentEndUs(ic, origin + header);
    } else {
        // Recorded live (a browser's or a screen recorder's WebM): no length, and no index to
        // seek by time with. The last clusters are read from a little before the file's end,
        // from further back when a cluster is longer than that.
        const int64_t size = avio_size(ic->pb);
        for (int64_t tail = kTailBytes; size > 0 && end == AV_NOPTS_VALUE; tail *= 16) {
            if (av_seek_frame(ic, -1, std::max<int64_t>(0, size - tail), AVSEEK_FLAG_BYTE) < 0)
                break;
            end = PacketsEndUs(ic);
            if (tail >= size)
                break;
        }
    }
    av_seek_frame(ic, -1, origin, AVSEEK_FLAG_BACKWARD);
    if (end == AV_NOPTS_VALUE || end <= origin)
        return header;
    return end - origin;
}

} // namespace kc
