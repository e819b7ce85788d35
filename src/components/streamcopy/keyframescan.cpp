#include "keyframescan.h"

#include "cutplanner.h"
#include "pictureclassifier.h"

#include "components/timestampresets/timestampresets.h"

#include <algorithm>
#include <cstring>
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
    void operator()(AVFormatContext *c) const
    {
        DetachTimestampResets(c);
        avformat_close_input(&c);
    }
};

// Fills in what the container's header tells; the video stream whose keyframes count, or -1.
int DescribeInput(const AVFormatContext *ic, KeyframeScan *scan)
{
    scan->durationUs = ic->duration != AV_NOPTS_VALUE && ic->duration > 0 ? ic->duration : 0;
    const int best = av_find_best_stream(const_cast<AVFormatContext *>(ic), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best < 0 || (ic->streams[best]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        return -1;
    scan->hasVideo = true;
    const AVRational rate = ic->streams[best]->avg_frame_rate.num > 0 ? ic->streams[best]->avg_frame_rate
                                                                      : ic->streams[best]->r_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        scan->frameUs = av_rescale(AV_TIME_BASE, rate.den, rate.num);
    return best;
}

int64_t InputStartUs(const AVFormatContext *ic)
{
    return ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
}

void SortKeyframes(KeyframeScan *scan)
{
    std::sort(scan->keyframesUs.begin(), scan->keyframesUs.end());
    scan->keyframesUs.erase(std::unique(scan->keyframesUs.begin(), scan->keyframesUs.end()), scan->keyframesUs.end());
}

} // namespace

bool KeyframesFromIndex(const AVFormatContext *ic, KeyframeScan *scan)
{
    *scan = KeyframeScan();
    // An AVI index holds one entry per stored picture, in decode order, with its decode time;
    // AVI has no other time for a picture, so these are the times a reading pass would give.
    // Other containers index decode times where pictures show later, or only some keyframes.
    if (std::strcmp(ic->iformat->name, "avi") != 0)
        return false;
    const int video = DescribeInput(ic, scan);
    if (video < 0)
        return false;
    AVStream *st = ic->streams[video];
    // With B-pictures a keyframe shows after the ones stored behind it; only their data tells
    // how many there are, so those inputs need the reading pass.
    if (st->codecpar->video_delay > 0) {
        *scan = KeyframeScan();
        return false;
    }
    const int entries = avformat_index_get_entries_count(st);
    // A file without an index (or cut short before it) has only the entries the probe read,
    // far fewer than the header counts; empty chunks the writer left for dropped pictures
    // count in the header but not in the index.
    if (entries <= 0 || st->nb_frames <= 0 || entries < st->nb_frames - st->nb_frames / 100 - 2)
        return false;
    const int64_t startUs = InputStartUs(ic);
    const TimeBase tb{st->time_base.num, st->time_base.den};
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry *e = avformat_index_get_entry(st, i);
        if (e && (e->flags & AVINDEX_KEYFRAME) && e->timestamp != AV_NOPTS_VALUE)
            scan->keyframesUs.push_back(CutPlanner::ToMicros(e->timestamp, tb) - startUs);
    }
    if (scan->keyframesUs.empty())
        return false;
    SortKeyframes(scan);
    scan->ok = true;
    return true;
}

// From the stream-copy rules (copysetup.h), whose other helpers this file has its own of.
void FillInPresentationTimes(AVFormatContext *ic);

KeyframeScan ScanKeyframes(const std::string &input, const volatile std::sig_atomic_t *stop)
{
    return ScanKeyframes(input, stop, KeyframeScanObserver());
}

KeyframeScan ScanKeyframes(const std::string &input, const volatile std::sig_atomic_t *stop,
                           const KeyframeScanObserver &observer)
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
    AttachTimestampResets(raw, input);
    const int64_t startUs = InputStartUs(raw);
    const int video = DescribeInput(raw, &scan);
    if (observer.described)
        observer.described(scan);
    if (video < 0) {
        scan.ok = true;
        return scan;
    }
    // The demuxer then skips the other streams' payloads: the pass reads little more
    // than the index and the video's packet headers.
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        raw->streams[i]->discard = static_cast<int>(i) == video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    const AVRational tb = raw->streams[video]->time_base;
    // AVI keeps decode times only. A keyframe followed in storage by B-pictures shows after
    // them, and that later time is the one the cut engine starts a piece at; told apart by
    // the parser as the engine tells them.
    std::unique_ptr<PictureClassifier> classifier;
    if (std::strcmp(raw->iformat->name, "avi") == 0)
        classifier = std::make_unique<PictureClassifier>(raw->streams[video]->codecpar);
    bool keyPending = false;
    int64_t pendingTs = 0;
    const auto settleKey = [&] {
        if (!keyPending)
            return;
        keyPending = false;
        // Converted as the cut planner converts, so a piece's end lands exactly on the next
        // piece's keyframe.
        scan.keyframesUs.push_back(CutPlanner::ToMicros(pendingTs, {tb.num, tb.den}) - startUs);
        if (observer.found)
            observer.found(scan.keyframesUs.back());
    };
    AVPacket *pkt = av_packet_alloc();
    if (!pkt) {
        scan.error = "out of memory";
        return scan;
    }
    for (;;) {
        r = ReadContinuousPacket(raw, pkt);
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
        if (pkt->stream_index == video) {
            const bool key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
            // The keyframe itself is parsed too: it carries the headers later pictures need.
            const PictureKind kind = classifier && (keyPending || key) ? classifier->Classify(pkt) : PictureKind::Unknown;
            if (keyPending && !key && kind == PictureKind::Bidirectional)
                pendingTs += pkt->duration > 0 ? pkt->duration : 1;
            else
                settleKey();
            const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            if (key && ts != AV_NOPTS_VALUE) {
                keyPending = true;
                pendingTs = classifier ? (pkt->dts != AV_NOPTS_VALUE ? pkt->dts : ts) : ts;
            }
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    settleKey();
    SortKeyframes(&scan);
    scan.ok = true;
    return scan;
}

} // namespace kc::fileencoder
