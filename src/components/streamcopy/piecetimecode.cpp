#include "piecetimecode.h"

#include "tailencoder.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/timecode.h>
}

namespace kc::fileencoder {

namespace {

const char kTag[] = "timecode";

// The first video stream's rate and start (microseconds), which the timecode counts.
bool VideoClock(const AVFormatContext *ic, AVRational *rate, int64_t *startUs)
{
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream *st = ic->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        *rate = StreamFrameRate(st);
        if (st->start_time != AV_NOPTS_VALUE)
            *startUs = av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q);
        else
            *startUs = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
        return rate->num > 0 && rate->den > 0;
    }
    return false;
}

void ShiftTag(AVDictionary **metadata, AVRational rate, int64_t frames)
{
    const AVDictionaryEntry *e = av_dict_get(*metadata, kTag, nullptr, 0);
    if (!e)
        return;
    const std::string moved = TimecodeAfter(e->value, rate, frames);
    if (!moved.empty())
        av_dict_set(metadata, kTag, moved.c_str(), 0);
}

} // namespace

std::string TimecodeAfter(const std::string &start, AVRational rate, int64_t frames)
{
    AVTimecode tc;
    if (rate.num <= 0 || rate.den <= 0 || av_timecode_init_from_string(&tc, rate, start.c_str(), nullptr) < 0)
        return {};
    tc.flags |= AV_TIMECODE_FLAG_24HOURSMAX;
    // A day's worth of pictures at most: the count is an int, and a timecode repeats daily.
    const int64_t perDay = int64_t(tc.fps) * 86400;
    const int64_t within = ((frames % perDay) + perDay) % perDay;
    char buf[AV_TIMECODE_STR_SIZE];
    return av_timecode_make_string(&tc, buf, static_cast<int>(within));
}

void ShiftPieceTimecodes(const AVFormatContext *ic, AVFormatContext *oc, int64_t zeroUs)
{
    AVRational rate{0, 1};
    int64_t startUs = 0;
    if (!VideoClock(ic, &rate, &startUs) || zeroUs <= startUs)
        return;
    const int64_t frames = av_rescale_q_rnd(zeroUs - startUs, AV_TIME_BASE_Q, av_inv_q(rate),
                                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    ShiftTag(&oc->metadata, rate, frames);
    for (unsigned i = 0; i < oc->nb_streams; ++i)
        ShiftTag(&oc->streams[i]->metadata, rate, frames);
}

} // namespace kc::fileencoder
