#include "timestampresets.h"

#include "resetmap.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace kc {

namespace {

// What an input with resets carries in its opaque field.
struct Attached {
    std::shared_ptr<const ResetMap> map;
    std::map<int, int> lastPart; // per stream id: the part its last packet was in
};

Attached *AttachedTo(const AVFormatContext *ic)
{
    return ic ? static_cast<Attached *>(ic->opaque) : nullptr;
}

struct CloseInput {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
using Input = std::unique_ptr<AVFormatContext, CloseInput>;

struct FreePacket {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using Packet = std::unique_ptr<AVPacket, FreePacket>;

constexpr int kSamples = 32;
// How far past a sample's position its first timestamp is looked for.
constexpr int64_t kSampleReachBytes = 4 << 20;

int64_t PacketUs(const AVStream *st, const AVPacket *pkt)
{
    const int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
    return ts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : av_rescale_q(ts, st->time_base, AV_TIME_BASE_Q);
}

bool IsTimed(const AVStream *st)
{
    const AVMediaType type = st->codecpar->codec_type;
    return type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO;
}

// The first timestamp of the reference stream from a byte position on (AV_NOPTS_VALUE when
// none is found near it).
int64_t SampleAt(AVFormatContext *ic, AVPacket *pkt, int reference, int64_t pos)
{
    if (av_seek_frame(ic, -1, pos, AVSEEK_FLAG_BYTE) < 0)
        return AV_NOPTS_VALUE;
    int64_t found = AV_NOPTS_VALUE;
    while (found == AV_NOPTS_VALUE && av_read_frame(ic, pkt) >= 0) {
        const bool far = pkt->pos >= 0 && pkt->pos > pos + kSampleReachBytes;
        if (pkt->stream_index == reference)
            found = PacketUs(ic->streams[reference], pkt);
        av_packet_unref(pkt);
        if (far)
            break;
    }
    return found;
}

// Whether samples taken across the file show a clock that starts again: a step back, or a
// step forward far longer than the others between equally spaced positions.
bool SamplesDisagree(const std::vector<int64_t> &samples)
{
    std::vector<int64_t> steps;
    int64_t last = AV_NOPTS_VALUE;
    for (int64_t us : samples) {
        if (us == AV_NOPTS_VALUE)
            continue;
        if (last != AV_NOPTS_VALUE) {
            if (us < last - ResetMap::kBackwardJumpUs)
                return true;
            steps.push_back(us - last);
        }
        last = us;
    }
    if (steps.empty())
        return false;
    std::vector<int64_t> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const int64_t median = sorted[sorted.size() / 2];
    for (int64_t step : steps) {
        if (step > ResetMap::kForwardJumpUs && step > 8 * std::max<int64_t>(median, 0))
            return true;
    }
    return false;
}

enum class Search { None, Found, Interrupted };

Search FindResets(const std::string &path, const AVIOInterruptCB &interrupt, ResetMap *map)
{
    AVFormatContext *raw = avformat_alloc_context();
    if (!raw)
        return Search::Interrupted; // not remembered: the next input tries again
    raw->interrupt_callback = interrupt;
    const std::string url = "file:" + path;
    if (avformat_open_input(&raw, url.c_str(), nullptr, nullptr) < 0)
        return Search::None;
    Input ic(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return Search::None;
    if (!(raw->iformat->flags & AVFMT_TS_DISCONT) || (raw->iformat->flags & AVFMT_NO_BYTE_SEEK))
        return Search::None;
    int reference = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (reference < 0)
        reference = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    const int64_t size = raw->pb ? avio_size(raw->pb) : -1;
    if (reference < 0 || size <= 0)
        return Search::None;
    Packet pkt(av_packet_alloc());
    if (!pkt)
        return Search::Interrupted;

    std::vector<int64_t> samples;
    for (int i = 0; i < kSamples; ++i)
        samples.push_back(SampleAt(raw, pkt.get(), reference, size * i / kSamples));
    if (interrupt.callback && interrupt.callback(interrupt.opaque))
        return Search::Interrupted;
    if (!SamplesDisagree(samples))
        return Search::None;

    // The whole file, front to back: where each stream's clock starts again.
    if (av_seek_frame(raw, -1, 0, AVSEEK_FLAG_BYTE) < 0)
        return Search::None;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        if (!IsTimed(raw->streams[i]) && raw->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE)
            raw->streams[i]->discard = AVDISCARD_ALL;
    }
    map->SetSeekStream(raw->streams[reference]->id);
    for (;;) {
        const int r = av_read_frame(raw, pkt.get());
        if (r == AVERROR_EXIT)
            return Search::Interrupted;
        if (r < 0)
            break; // the end, or damage that reads as the end
        const AVStream *st = raw->streams[pkt->stream_index];
        const int64_t us = PacketUs(st, pkt.get());
        if (us != AV_NOPTS_VALUE) {
            // Shown from its presentation time, which comes later for pictures held back for
            // B-pictures, for as long as it lasts.
            int64_t shownUs = us;
            if (pkt->pts != AV_NOPTS_VALUE && pkt->dts != AV_NOPTS_VALUE && pkt->pts > pkt->dts
                && pkt->pts - pkt->dts < av_rescale_q(ResetMap::kForwardJumpUs, AV_TIME_BASE_Q, st->time_base))
                shownUs = av_rescale_q(pkt->pts, st->time_base, AV_TIME_BASE_Q);
            const int64_t durationUs = pkt->duration > 0 ? av_rescale_q(pkt->duration, st->time_base, AV_TIME_BASE_Q) : 0;
            map->Observe(st->id, IsTimed(st), (pkt->flags & AV_PKT_FLAG_KEY) != 0, pkt->pos, us, shownUs,
                         shownUs + durationUs);
        }
        av_packet_unref(pkt.get());
    }
    // A read cut short by a stop can look like the end: such a pass is not remembered.
    if (interrupt.callback && interrupt.callback(interrupt.opaque))
        return Search::Interrupted;
    map->Finish();
    return map->Any() ? Search::Found : Search::None;
}

// One search per file (as it is now) and process: the probe, the keyframe scan and the
// copy each open the same file.
std::shared_ptr<const ResetMap> ResetsOf(const std::string &path, const AVIOInterruptCB &interrupt)
{
    // Only a file can be read again beside the caller (a pipe's data would be taken from it).
    struct stat info;
    if (::stat(path.c_str(), &info) < 0 || !S_ISREG(info.st_mode))
        return nullptr;
    const std::string key = path + '\n' + std::to_string(info.st_size) + '\n' + std::to_string(info.st_mtim.tv_sec) + '.'
                            + std::to_string(info.st_mtim.tv_nsec);
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const ResetMap>> known;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (const auto it = known.find(key); it != known.end())
            return it->second;
    }
    auto map = std::make_shared<ResetMap>();
    const Search search = FindResets(path, interrupt, map.get());
    if (search == Search::Interrupted)
        return nullptr;
    std::shared_ptr<const ResetMap> result = search == Search::Found ? std::move(map) : nullptr;
    const std::lock_guard<std::mutex> lock(mutex);
    known[key] = result;
    return result;
}

} // namespace

void AttachTimestampResets(AVFormatContext *ic, const std::string &path)
{
    if (!ic || !ic->iformat || AttachedTo(ic) || !(ic->iformat->flags & AVFMT_TS_DISCONT) || !ic->pb
        || !(ic->pb->seekable & AVIO_SEEKABLE_NORMAL))
        return;
    std::shared_ptr<const ResetMap> map = ResetsOf(path, ic->interrupt_callback);
    if (!map)
        return;
    auto *attached = new Attached;
    attached->map = std::move(map);
    ic->opaque = attached;
    const int64_t start = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    ic->duration = std::max<int64_t>(0, attached->map->EndUs() - start);
    // The streams' own lengths are those of one part.
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->duration = AV_NOPTS_VALUE;
}

void DetachTimestampResets(AVFormatContext *ic)
{
    if (Attached *attached = AttachedTo(ic)) {
        delete attached;
        ic->opaque = nullptr;
    }
}

int ReadContinuousPacket(AVFormatContext *ic, AVPacket *pkt)
{
    const int r = av_read_frame(ic, pkt);
    Attached *attached = AttachedTo(ic);
    if (r < 0 || !attached)
        return r;
    const AVStream *st = ic->streams[pkt->stream_index];
    // A presentation time the demuxer made up (AVFMT_FLAG_GENPTS) from the decode time of
    // the next packet belongs to the next part's clock when this is the part's last picture.
    if (pkt->pts != AV_NOPTS_VALUE && pkt->dts != AV_NOPTS_VALUE) {
        const int64_t aheadUs = av_rescale_q(pkt->pts - pkt->dts, st->time_base, AV_TIME_BASE_Q);
        if (aheadUs < 0 || aheadUs > ResetMap::kForwardJumpUs)
            pkt->pts = AV_NOPTS_VALUE;
    }
    const int64_t offsetUs = attached->map->OffsetUs(st->id, pkt->pos, &attached->lastPart[st->id]);
    if (offsetUs != 0) {
        const int64_t offset = av_rescale_q(offsetUs, AV_TIME_BASE_Q, st->time_base);
        if (pkt->pts != AV_NOPTS_VALUE)
            pkt->pts += offset;
        if (pkt->dts != AV_NOPTS_VALUE)
            pkt->dts += offset;
    }
    return r;
}

int SeekContinuous(AVFormatContext *ic, int64_t us)
{
    Attached *attached = AttachedTo(ic);
    if (!attached)
        return AVERROR(ENOSYS);
    attached->lastPart.clear();
    return av_seek_frame(ic, -1, attached->map->SeekPosition(us), AVSEEK_FLAG_BYTE);
}

int SeekToKeyframeBefore(AVFormatContext *ic, int streamIndex, int64_t us)
{
    const int r = SeekContinuous(ic, us);
    if (r != AVERROR(ENOSYS))
        return r;
    const int64_t ts = streamIndex >= 0 && us != INT64_MIN
                           ? av_rescale_q(us, AV_TIME_BASE_Q, ic->streams[streamIndex]->time_base)
                           : us;
    return avformat_seek_file(ic, streamIndex, INT64_MIN, ts, ts, 0);
}

} // namespace kc
