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

} // namespace kc
