#include "mediaprobe.h"

#include "avutils.h"
#include "sourcetimeline.h"

#include <algorithm>

namespace kc {

namespace {

double StreamDurationSeconds(const AVStream *st)
{
    if (st->duration == AV_NOPTS_VALUE || st->duration <= 0)
        return 0;
    return double(st->duration) * av_q2d(st->time_base);
}

} // namespace

MediaFacts ProbeMedia(const QString &path)
{
    MediaFacts facts;
    av::Interrupter interrupter;
    // A damaged file can keep the stream analysis reading for a long time; the probe is
    // synchronous on the user-interface thread, so it gets a few seconds at most.
    interrupter.setDeadline(std::chrono::seconds(8));
    av::InputPtr ic = av::OpenInput(path, &interrupter, &facts.error);
    if (!ic)
        return facts;

    const int v = av::BestStream(ic.get(), AVMEDIA_TYPE_VIDEO);
    const int a = av::BestStream(ic.get(), AVMEDIA_TYPE_AUDIO);
    facts.hasVideo = v >= 0;
    facts.hasAudio = a >= 0;
    if (!facts.hasVideo && !facts.hasAudio) {
        facts.error = QStringLiteral("文件中没有音频或视频: %1").arg(path);
        return facts;
    }

    if (const int64_t us = TimelineDurationUs(ic.get()); us > 0)
        facts.duration = double(us) / AV_TIME_BASE;
    else {
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            facts.duration = std::max(facts.duration, StreamDurationSeconds(ic->streams[i]));
    }
    facts.startTime = double(TimelineOriginUs(ic.get())) / AV_TIME_BASE;

    if (facts.hasVideo) {
        AVStream *st = ic->streams[v];
        av::DisplaySize(st, &facts.width, &facts.height);
        AVRational rate = st->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = st->r_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            facts.frameRate = av_q2d(rate);
    }
    if (facts.hasAudio) {
        const AVCodecParameters *par = ic->streams[a]->codecpar;
        facts.sampleRate = par->sample_rate;
        facts.channels = par->ch_layout.nb_channels;
    }
    facts.readable = facts.duration > 0;
    if (!facts.readable)
        facts.error = QStringLiteral("无法确定文件的长度: %1").arg(path);
    return facts;
}

} // namespace kc
