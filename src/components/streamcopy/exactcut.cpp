#include "exactcut.h"

#include "copysetup.h"
#include "h264paramsets.h"
#include "headencoder.h"
#include "outputfile.h"
#include "piececheck.h"
#include "sequenceheader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

namespace kc::fileencoder {

namespace {

using Outcome = ExactCutResult::Outcome;

// Pictures a decoder may still hold back after the next keyframe before the head's last
// picture must have come out.
constexpr int kReorderAllowance = 32;
// Pictures past the end kept waiting for one that shows before the end and refers to them.
constexpr size_t kTailAllowance = 16;

bool NameListHas(const char *names, const char *wanted)
{
    const std::string list = std::string(",") + names + ",";
    return list.find(std::string(",") + wanted + ",") != std::string::npos;
}

// The containers whose timing and headers the joined head has been made right for.
bool ContainerFits(AVCodecID codec, const char *demuxer)
{
    switch (codec) {
    case AV_CODEC_ID_H264:
        return NameListHas(demuxer, "mp4") || NameListHas(demuxer, "mov") || NameListHas(demuxer, "matroska")
               || NameListHas(demuxer, "mpegts");
    case AV_CODEC_ID_MPEG4: return NameListHas(demuxer, "avi");
    case AV_CODEC_ID_MPEG2VIDEO: return NameListHas(demuxer, "mpeg") || NameListHas(demuxer, "mpegts");
    default: return false;
    }
}

bool HasMpeg4Vol(const AVPacket *pkt)
{
    for (int i = 0; i + 3 < pkt->size; ++i) {
        if (pkt->data[i] == 0 && pkt->data[i + 1] == 0 && pkt->data[i + 2] == 1 && (pkt->data[i + 3] & 0xf0) == 0x20)
            return true;
        if (pkt->data[i] == 0 && pkt->data[i + 1] == 0 && pkt->data[i + 2] == 1 && pkt->data[i + 3] == 0xb6)
            return false; // the picture starts: whatever headers there are came before it
    }
    return false;
}

OwnedPacket WithPrefix(const AVPacket *pkt, const uint8_t *prefix, size_t size)
{
    OwnedPacket joined(av_packet_alloc());
    if (!joined || av_new_packet(joined.get(), static_cast<int>(size) + pkt->size) < 0
        || av_packet_copy_props(joined.get(), pkt) < 0)
        return nullptr;
    std::memcpy(joined->data, prefix, size);
    if (pkt->size > 0)
        std::memcpy(joined->data + size, pkt->data, static_cast<size_t>(pkt->size));
    return joined;
}

struct InputClose {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct OutputFree {
    void operator()(AVFormatContext *c) const { avformat_free_context(c); }
};
struct DecoderFree {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};

class ExactJob {
public:
    ExactJob(const CopyRequest &args, const CopyHooks &hooks) : args_(args), hooks_(hooks) {}
    ExactCutResult Run();

private:
    Outcome Fail(const std::string &why)
    {
        if (error_.empty())
            error_ = Stopped() ? "stopped" : why;
        return Outcome::Failed;
    }
    Outcome NotExact(const std::string &why)
    {
        error_ = "-exact: " + why + "; the piece starts at the keyframe before the asked time";
        return Outcome::CannotBeExact;
    }
    bool Stopped() const { return hooks_.stop && *hooks_.stop; }

    Outcome OpenInput();
    Outcome FindFirstKeyframe();
    Outcome ReadHeadGop();
    Outcome MakeHead();
    bool OpenOutput();
    bool Decode(const AVPacket *pkt, bool *headComplete);
    bool TakeFrame(AVFrame *frame, bool *headComplete);
    bool WriteHead(std::vector<OwnedPacket> &packets);
    bool WriteVideoTail(OwnedPacket pkt);
    bool WriteAudio(OwnedPacket pkt);
    bool Write(OwnedPacket pkt, int64_t shift);
    Outcome CopyRest();
    int ReadPacket(OwnedPacket &pkt);

    // The asked picture is the first that shows at or after the asked time, as a player's
    // exact seek lands. A time written in whole milliseconds may lie just past the picture's
    // own time; that much early still counts as the picture.
    int64_t Slack() const
    {
        return std::min<int64_t>(frameTicks_ / 2, av_rescale_q(1000, AV_TIME_BASE_Q, in_->streams[video_]->time_base));
    }

    int64_t VideoTs(int64_t us) const
    {
        return av_rescale_q(us, AV_TIME_BASE_Q, in_->streams[video_]->time_base);
    }

    const CopyRequest &args_;
    const CopyHooks &hooks_;
    std::string error_;

    std::unique_ptr<AVFormatContext, InputClose> in_;
    std::unique_ptr<AVFormatContext, OutputFree> out_;
    OutputFile file_;
    std::vector<int> copied_;
    std::vector<int> toOutput_;
    std::vector<int64_t> lastDts_;
    int video_ = -1;
    AVRational frameRate_{0, 1};
    int64_t frameTicks_ = 1; // one picture in the video time base
    int64_t startTs_ = 0;    // the asked time, video time base
    int64_t endTs_ = std::numeric_limits<int64_t>::max();
    int64_t endUs_ = std::numeric_limits<int64_t>::max();

    // The first keyframe's group, the next keyframe and what was read with them.
    std::vector<OwnedPacket> gop_;
    std::deque<OwnedPacket> tail_; // video from the next keyframe on, in decode order
    std::deque<OwnedPacket> sound_;
    bool haveNextKey_ = false;
    int64_t nextKeyPts_ = 0;
    int64_t nextKeyDelay_ = 0; // its presentation minus its decode time
    bool atEnd_ = false;

    std::unique_ptr<AVCodecContext, DecoderFree> decoder_;
    HeadEncoder encoder_;
    bool encoderOpen_ = false;
    int64_t bitRate_ = 0;
    bool firstFrameSeen_ = false;
    int64_t firstTs_ = 0; // the piece's first picture, video time base: becomes 0
    int64_t lastEncPts_ = std::numeric_limits<int64_t>::min();
    std::vector<OwnedPacket> head_;

    // Output details.
    bool lengthPrefixed_ = false; // H.264 as MP4/Matroska store it
    int lengthSize_ = 4;
    SequenceHeaderTracker mpeg2Headers_;
    bool tailStarted_ = false;
    bool videoDone_ = false;
    std::vector<OwnedPacket> pastEnd_;
    std::vector<bool> soundStarted_;
    std::vector<bool> soundDone_;
    int64_t writtenUs_ = 0;
};

int ExactJob::ReadPacket(OwnedPacket &pkt)
{
    for (;;) {
        pkt.reset(av_packet_alloc());
        if (!pkt)
            return AVERROR(ENOMEM);
        const int r = av_read_frame(in_.get(), pkt.get());
        if (Stopped())
            return AVERROR_EXIT;
        if (r == AVERROR_INVALIDDATA)
            return AVERROR_EOF; // damaged data at the end reads as the end, as players take it
        if (r < 0)
            return r;
        if (pkt->stream_index >= 0 && pkt->stream_index < static_cast<int>(toOutput_.size())
            && toOutput_[pkt->stream_index] >= 0)
            return 0;
    }
}

Outcome ExactJob::OpenInput()
{
    AVFormatContext *ic = avformat_alloc_context();
    if (!ic)
        return Fail("out of memory");
    ic->interrupt_callback.callback = &InterruptRequested;
    ic->interrupt_callback.opaque = const_cast<std::sig_atomic_t *>(hooks_.stop);
    const std::string url = "file:" + args_.input;
    int r = avformat_open_input(&ic, url.c_str(), nullptr, nullptr);
    if (r < 0)
        return Fail("cannot read the input as a media file (" + AvErrorText(r) + "): " + args_.input);
    in_.reset(ic);
    r = avformat_find_stream_info(ic, nullptr);
    if (r < 0)
        return Fail("cannot read the streams of the input (" + AvErrorText(r) + "): " + args_.input);

    video_ = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video_ < 0 || !IsCopiedStream(ic->streams[video_]))
        return NotExact("the input has no video");
    const AVStream *vs = ic->streams[video_];
    const AVCodecID codec = vs->codecpar->codec_id;
    if (!ContainerFits(codec, ic->iformat->name))
        return NotExact(std::string("no exact cut for ") + avcodec_get_name(codec) + " video in " + ic->iformat->name
                        + " (only H.264 in MP4/MOV/MKV/TS, MPEG-4 in AVI, MPEG-2 in MPEG-PS/TS)");
    // AVI keeps no presentation times: with reordered pictures the time each one shows at
    // cannot be told from the packets alone.
    if (NameListHas(ic->iformat->name, "avi") && vs->codecpar->video_delay > 0)
        return NotExact("no exact cut for AVI video with B-frames");
    if (!HeadEncoder::EncoderFor(codec))
        return NotExact(std::string("this build has no ") + avcodec_get_name(codec) + " encoder");
    frameRate_ = vs->avg_frame_rate.num > 0 ? vs->avg_frame_rate : vs->r_frame_rate;
    if (frameRate_.num <= 0 || frameRate_.den <= 0)
        return NotExact("the video has no known frame rate");
    frameTicks_ = std::max<int64_t>(1, av_rescale_q(1, av_inv_q(frameRate_), vs->time_base));

    toOutput_.assign(ic->nb_streams, -1);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream *st = ic->streams[i];
        const bool sound = st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && IsCopiedStream(st);
        if (static_cast<int>(i) == video_ || sound) {
            toOutput_[i] = static_cast<int>(copied_.size());
            copied_.push_back(static_cast<int>(i));
        }
    }
    soundStarted_.assign(ic->nb_streams, false);
    soundDone_.assign(ic->nb_streams, false);

    const int64_t fileStartUs = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    const int64_t startUs = fileStartUs + args_.startUs;
    startTs_ = VideoTs(startUs);
    if (args_.lengthUs) {
        endUs_ = startUs + *args_.lengthUs;
        endTs_ = VideoTs(endUs_);
    }
    if (codec == AV_CODEC_ID_MPEG2VIDEO)
        mpeg2Headers_.SetInitial(vs->codecpar->extradata, vs->codecpar->extradata ? vs->codecpar->extradata_size : 0);
    return Outcome::Written;
}

// Leaves the reader on the last keyframe at or before the asked time, that keyframe in gop_.
Outcome ExactJob::FindFirstKeyframe()
{
    static const int64_t kBackUs[] = {0, 1000000, 3000000, 10000000, 30000000, 120000000, -1};
    const AVStream *vs = in_->streams[video_];
    for (int64_t back : kBackUs) {
        gop_.clear();
        sound_.clear();
        const int64_t startUs = av_rescale_q(startTs_, vs->time_base, AV_TIME_BASE_Q);
        const bool fromStart = back < 0 || startUs - back <= (in_->start_time != AV_NOPTS_VALUE ? in_->start_time : 0);
        int r;
        if (fromStart) {
            r = avformat_seek_file(in_.get(), -1, INT64_MIN, INT64_MIN, INT64_MIN, 0);
            if (r < 0)
                r = av_seek_frame(in_.get(), video_, INT64_MIN, AVSEEK_FLAG_BACKWARD);
        } else {
            const int64_t ts = VideoTs(startUs - back);
            r = avformat_seek_file(in_.get(), video_, INT64_MIN, ts, ts, 0);
        }
        if (r < 0 && !fromStart)
            continue;
        if (r < 0 && Stopped())
            return Fail("stopped");
        for (;;) {
            OwnedPacket pkt;
            r = ReadPacket(pkt);
            if (r == AVERROR_EOF)
                return Fail("the input has no picture at the asked time");
            if (r < 0)
                return Fail("cannot read the input (" + AvErrorText(r) + ")");
            if (pkt->stream_index != video_) {
                sound_.push_back(std::move(pkt));
                continue;
            }
            if (!(pkt->flags & AV_PKT_FLAG_KEY) || pkt->pts == AV_NOPTS_VALUE)
                continue;
            if (pkt->pts > startTs_ && !fromStart)
                break; // landed past the start: go back further
            if (pkt->pts >= startTs_ - Slack())
                return Outcome::OnKeyframe;
            gop_.push_back(std::move(pkt));
            return Outcome::Written;
        }
    }
    return Fail("cannot find a keyframe before the asked time");
}

// Reads on to the next keyframe (or the end), keeping the group and the sound read with it.
Outcome ExactJob::ReadHeadGop()
{
    for (;;) {
        OwnedPacket pkt;
        const int r = ReadPacket(pkt);
        if (r == AVERROR_EOF) {
            atEnd_ = true;
            return Outcome::Written;
        }
        if (r < 0)
            return Fail("cannot read the input (" + AvErrorText(r) + ")");
        if (pkt->stream_index != video_) {
            sound_.push_back(std::move(pkt));
            continue;
        }
        if ((pkt->flags & AV_PKT_FLAG_KEY) && pkt->pts != AV_NOPTS_VALUE && pkt->pts > startTs_) {
            // After a keyframe that is no IDR picture (an open GOP) decoders drop the copied
            // pictures until the next IDR once a head stands before it.
            const AVCodecParameters *par = in_->streams[video_]->codecpar;
            if (par->codec_id == AV_CODEC_ID_H264) {
                AvcConfig config;
                const int lengthSize =
                    ParseAvcConfig(par->extradata, par->extradata_size, &config) ? config.lengthSize : 0;
                if (!HasIdrSlice(pkt->data, static_cast<size_t>(pkt->size), lengthSize))
                    return NotExact("the H.264 keyframes of this video are not IDR pictures (open GOP)");
            }
            haveNextKey_ = true;
            nextKeyPts_ = pkt->pts;
            nextKeyDelay_ = pkt->dts != AV_NOPTS_VALUE ? std::max<int64_t>(0, pkt->pts - pkt->dts) : 0;
            tail_.push_back(std::move(pkt));
            return Outcome::Written;
        }
        if (pkt->pts != AV_NOPTS_VALUE && pkt->pts >= endTs_ && (pkt->flags & AV_PKT_FLAG_KEY)) {
            atEnd_ = true; // the piece ends inside this group
            return Outcome::Written;
        }
        gop_.push_back(std::move(pkt));
    }
}

bool ExactJob::OpenOutput()
{
    const AVOutputFormat *ofmt = PickCopyMuxer(in_.get(), copied_, args_.output);
    if (!ofmt) {
        error_ = std::string("cannot write the input's container (") + in_->iformat->name + ")";
        return false;
    }
    AVFormatContext *oc = nullptr;
    int r = avformat_alloc_output_context2(&oc, ofmt, nullptr, args_.output.c_str());
    if (r < 0 || !oc) {
        error_ = "cannot set up the output (" + AvErrorText(r) + ")";
        return false;
    }
    out_.reset(oc);
    for (int index : copied_) {
        AVStream *ost = avformat_new_stream(oc, nullptr);
        if (!ost || SetUpCopiedStream(in_->streams[index], ost, ofmt) < 0) {
            error_ = "cannot copy the stream parameters";
            return false;
        }
    }
    // H.264 kept as MP4 and Matroska keep it: the head's parameter sets join the source's
    // in the header, under their own ids.
    AVCodecParameters *vpar = oc->streams[toOutput_[video_]]->codecpar;
    AvcConfig config;
    if (vpar->codec_id == AV_CODEC_ID_H264 && ParseAvcConfig(vpar->extradata, vpar->extradata_size, &config)) {
        lengthPrefixed_ = true;
        lengthSize_ = config.lengthSize;
        const AVCodecContext *enc = encoder_.Context();
        for (auto &unit : SplitAnnexB(enc ? enc->extradata : nullptr, enc ? enc->extradata_size : 0)) {
            if (NalType(unit) == 7)
                config.sps.push_back(std::move(unit));
            else if (NalType(unit) == 8)
                config.pps.push_back(std::move(unit));
        }
        const std::vector<uint8_t> joined = WriteAvcConfig(config);
        av_freep(&vpar->extradata);
        vpar->extradata_size = 0;
        vpar->extradata = static_cast<uint8_t *>(av_mallocz(joined.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!vpar->extradata) {
            error_ = "out of memory";
            return false;
        }
        std::memcpy(vpar->extradata, joined.data(), joined.size());
        vpar->extradata_size = static_cast<int>(joined.size());
    }
    if (!file_.Create(args_.output, &error_))
        return false;
    oc->pb = file_.Io();
    oc->flags |= AVFMT_FLAG_CUSTOM_IO;
    oc->flush_packets = 0;
    oc->interrupt_callback = in_->interrupt_callback;
    r = avformat_write_header(oc, nullptr);
    if (r < 0) {
        error_ = std::string("the ") + ofmt->name + " container cannot hold these streams (" + AvErrorText(r) + ")";
        return false;
    }
    lastDts_.assign(oc->nb_streams, AV_NOPTS_VALUE);
    return true;
}

bool ExactJob::TakeFrame(AVFrame *frame, bool *headComplete)
{
    const int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (ts == AV_NOPTS_VALUE || ts < startTs_ - Slack())
        return true; // shows before the asked picture
    if ((haveNextKey_ && ts >= nextKeyPts_) || ts >= endTs_) {
        *headComplete = true;
        return true;
    }
    if (!encoderOpen_) {
        firstTs_ = ts;
        const AVCodecParameters *par = in_->streams[video_]->codecpar;
        const AVOutputFormat *ofmt = PickCopyMuxer(in_.get(), copied_, args_.output);
        const bool global = ofmt && MuxerCarriesGlobalHeaders(ofmt) && (ofmt->flags & AVFMT_GLOBALHEADER);
        std::vector<std::vector<uint8_t>> used;
        AvcConfig config;
        if (ParseAvcConfig(par->extradata, par->extradata_size, &config)) {
            used = config.sps;
            used.insert(used.end(), config.pps.begin(), config.pps.end());
        } else if (par->extradata) {
            used = SplitAnnexB(par->extradata, par->extradata_size);
        }
        for (const auto &p : gop_) {
            if (par->codec_id == AV_CODEC_ID_H264 && !config.sps.empty())
                break; // packets in length form; the record above names every id
            for (auto &unit : SplitAnnexB(p->data, p->size))
                if (NalType(unit) == 7 || NalType(unit) == 8)
                    used.push_back(std::move(unit));
        }
        const int id = FreeParameterSetId(used);
        if (id < 0) {
            error_ = "the video uses every parameter set id";
            return false;
        }
        if (!encoder_.Open(par, frameRate_, bitRate_, global, id, &error_))
            return false;
        encoderOpen_ = true;
        if (!OpenOutput())
            return false;
    }
    const AVCodecContext *enc = encoder_.Context();
    int64_t pts = av_rescale_q(ts - firstTs_, in_->streams[video_]->time_base, enc->time_base);
    if (lastEncPts_ != std::numeric_limits<int64_t>::min() && pts <= lastEncPts_)
        pts = lastEncPts_ + 1;
    lastEncPts_ = pts;
    frame->pts = pts;
    return encoder_.Encode(frame, head_, &error_);
}

bool ExactJob::Decode(const AVPacket *pkt, bool *headComplete)
{
    int r = avcodec_send_packet(decoder_.get(), pkt);
    if (r < 0 && r != AVERROR_EOF) {
        error_ = "cannot decode the pictures before the cut (" + AvErrorText(r) + ")";
        return false;
    }
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!frame) {
        error_ = "out of memory";
        return false;
    }
    for (;;) {
        r = avcodec_receive_frame(decoder_.get(), frame.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0) {
            error_ = "cannot decode the pictures before the cut (" + AvErrorText(r) + ")";
            return false;
        }
        if (!*headComplete && !TakeFrame(frame.get(), headComplete))
            return false;
        av_frame_unref(frame.get());
    }
}

Outcome ExactJob::MakeHead()
{
    const AVStream *vs = in_->streams[video_];
    const AVCodec *codec = avcodec_find_decoder(vs->codecpar->codec_id);
    if (!codec)
        return NotExact(std::string("this build has no ") + avcodec_get_name(vs->codecpar->codec_id) + " decoder");
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), vs->codecpar) < 0)
        return Fail("out of memory");
    decoder_->pkt_timebase = vs->time_base;
    if (avcodec_open2(decoder_.get(), codec, nullptr) < 0)
        return Fail(std::string("cannot open the ") + codec->name + " decoder");

    // Near the source's own rate over this group; what the stream states when there is no
    // next keyframe to measure against.
    int64_t bytes = 0;
    for (const auto &p : gop_)
        bytes += p->size;
    const int64_t spanTs = haveNextKey_ ? nextKeyPts_ - gop_.front()->pts : 0;
    const double span = spanTs * av_q2d(vs->time_base);
    bitRate_ = span > 0.2 ? static_cast<int64_t>(bytes * 8 / span) : vs->codecpar->bit_rate;
    if (bitRate_ <= 0)
        bitRate_ = static_cast<int64_t>(bytes * 8 * av_q2d(frameRate_) / std::max<size_t>(1, gop_.size()));

    const bool mpeg2 = vs->codecpar->codec_id == AV_CODEC_ID_MPEG2VIDEO;
    bool complete = false;
    for (const auto &p : gop_) {
        if (Stopped())
            return Fail("stopped");
        if (mpeg2)
            mpeg2Headers_.Observe(p->data, static_cast<size_t>(p->size));
        if (!Decode(p.get(), &complete))
            return Outcome::Failed;
    }
    // Pictures that follow the next keyframe in decode order may still show before it.
    size_t fed = 0;
    while (!complete && haveNextKey_ && fed < kReorderAllowance) {
        if (fed == tail_.size()) {
            OwnedPacket pkt;
            const int r = ReadPacket(pkt);
            if (r == AVERROR_EOF) {
                atEnd_ = true;
                break;
            }
            if (r < 0)
                return Fail("cannot read the input (" + AvErrorText(r) + ")");
            if (pkt->stream_index != video_) {
                sound_.push_back(std::move(pkt));
                continue;
            }
            tail_.push_back(std::move(pkt));
        }
        if (!Decode(tail_[fed].get(), &complete))
            return Outcome::Failed;
        ++fed;
    }
    if (!complete && !Decode(nullptr, &complete))
        return Outcome::Failed;
    if (!encoderOpen_) {
        if (!haveNextKey_)
            return Fail("the input has no picture at the asked time");
        // The asked picture is the next keyframe itself: nothing to encode.
        firstTs_ = nextKeyPts_;
        if (!OpenOutput())
            return Outcome::Failed;
    } else if (!encoder_.Encode(nullptr, head_, &error_)) {
        return Outcome::Failed;
    }
    gop_.clear();
    decoder_.reset();
    return Outcome::Written;
}

bool ExactJob::Write(OwnedPacket pkt, int64_t shift)
{
    const int in = pkt->stream_index;
    const int out = toOutput_[in];
    const AVStream *ost = out_->streams[out];
    if (pkt->pts != AV_NOPTS_VALUE)
        pkt->pts -= shift;
    if (pkt->dts != AV_NOPTS_VALUE)
        pkt->dts -= shift;
    pkt->pos = -1;
    pkt->stream_index = out;
    av_packet_rescale_ts(pkt.get(), in_->streams[in]->time_base, ost->time_base);
    KeepDecodeTimesIncreasing(pkt.get(), out_->oformat, &lastDts_[out]);
    if (pkt->pts != AV_NOPTS_VALUE)
        writtenUs_ = std::max(writtenUs_, av_rescale_q(pkt->pts + pkt->duration, ost->time_base, AV_TIME_BASE_Q));
    const int r = av_interleaved_write_frame(out_.get(), pkt.get());
    if (r < 0) {
        error_ = Stopped() ? "stopped" : "cannot write the output (" + AvErrorText(r) + ")";
        return false;
    }
    if (hooks_.progress)
        hooks_.progress(writtenUs_ / 1e6);
    return true;
}

bool ExactJob::WriteHead(std::vector<OwnedPacket> &packets)
{
    if (packets.empty())
        return true;
    const AVRational encTb = encoder_.Context()->time_base;
    const AVRational vtb = in_->streams[video_]->time_base;
    for (OwnedPacket &pkt : packets) {
        if (lengthPrefixed_) {
            const std::vector<uint8_t> body =
                JoinLengthPrefixed(SplitAnnexB(pkt->data, static_cast<size_t>(pkt->size)), lengthSize_);
            OwnedPacket converted(av_packet_alloc());
            if (!converted || av_new_packet(converted.get(), static_cast<int>(body.size())) < 0
                || av_packet_copy_props(converted.get(), pkt.get()) < 0) {
                error_ = "out of memory";
                return false;
            }
            std::memcpy(converted->data, body.data(), body.size());
            pkt = std::move(converted);
        }
        pkt->stream_index = video_;
        av_packet_rescale_ts(pkt.get(), encTb, vtb);
        // Decoded before the copied keyframe, whose decode time lies its reorder delay
        // ahead of its presentation.
        pkt->dts = pkt->pts - nextKeyDelay_;
        if (!Write(std::move(pkt), 0))
            return false;
    }
    packets.clear();
    return true;
}

bool ExactJob::WriteVideoTail(OwnedPacket pkt)
{
    if (videoDone_)
        return true;
    const bool key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
    if (pkt->pts != AV_NOPTS_VALUE && pkt->pts >= endTs_) {
        if (key || pastEnd_.size() >= kTailAllowance) {
            videoDone_ = true;
            pastEnd_.clear();
            return true;
        }
        pastEnd_.push_back(std::move(pkt));
        return true;
    }
    // Pictures of an open GOP that show before its keyframe refer to the group before it;
    // they are among the re-encoded pictures already.
    if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < nextKeyPts_)
        return true;
    if (!tailStarted_) {
        tailStarted_ = true;
        const AVCodecParameters *par = in_->streams[video_]->codecpar;
        // The head's own headers came last; the copied pictures need the source's again.
        std::vector<uint8_t> prefix;
        if (par->codec_id == AV_CODEC_ID_MPEG2VIDEO
            && SequenceHeaderTracker::HeaderAtStart(pkt->data, static_cast<size_t>(pkt->size)).empty())
            prefix = mpeg2Headers_.InForce();
        else if (par->codec_id == AV_CODEC_ID_MPEG4 && par->extradata && !HasMpeg4Vol(pkt.get()))
            prefix.assign(par->extradata, par->extradata + par->extradata_size);
        if (!prefix.empty()) {
            pkt = WithPrefix(pkt.get(), prefix.data(), prefix.size());
            if (!pkt) {
                error_ = "out of memory";
                return false;
            }
        }
    }
    // Pictures past the end that this one refers to go in before it.
    for (OwnedPacket &held : pastEnd_) {
        if (!Write(std::move(held), firstTs_))
            return false;
    }
    pastEnd_.clear();
    return Write(std::move(pkt), firstTs_);
}

bool ExactJob::WriteAudio(OwnedPacket pkt)
{
    const int in = pkt->stream_index;
    if (soundDone_[in] || pkt->pts == AV_NOPTS_VALUE)
        return true;
    const AVRational tb = in_->streams[in]->time_base;
    const int64_t firstUs = av_rescale_q(firstTs_, in_->streams[video_]->time_base, AV_TIME_BASE_Q);
    const int64_t us = av_rescale_q(pkt->pts, tb, AV_TIME_BASE_Q);
    const int64_t halfUs = av_rescale_q(pkt->duration, tb, AV_TIME_BASE_Q) / 2;
    if (us >= endUs_) {
        soundDone_[in] = true;
        return true;
    }
    if (!soundStarted_[in]) {
        // The block nearest the first picture starts the sound.
        if (us + halfUs < firstUs)
            return true;
        soundStarted_[in] = true;
    }
    return Write(std::move(pkt), av_rescale_q(firstUs, AV_TIME_BASE_Q, tb));
}

Outcome ExactJob::CopyRest()
{
    if (!WriteHead(head_))
        return Outcome::Failed;
    while (!sound_.empty()) {
        OwnedPacket p = std::move(sound_.front());
        sound_.pop_front();
        if (!WriteAudio(std::move(p)))
            return Outcome::Failed;
    }
    if (!haveNextKey_)
        return Outcome::Written;
    while (!tail_.empty()) {
        OwnedPacket p = std::move(tail_.front());
        tail_.pop_front();
        if (!WriteVideoTail(std::move(p)))
            return Outcome::Failed;
    }
    while (!atEnd_) {
        bool soundLeft = false;
        for (int index : copied_)
            soundLeft = soundLeft || (index != video_ && !soundDone_[index]);
        if (videoDone_ && !soundLeft)
            break;
        if (Stopped())
            return Fail("stopped");
        OwnedPacket pkt;
        const int r = ReadPacket(pkt);
        if (r == AVERROR_EOF)
            break;
        if (r < 0)
            return Fail("cannot read the input (" + AvErrorText(r) + ")");
        const bool ok = pkt->stream_index == video_ ? WriteVideoTail(std::move(pkt)) : WriteAudio(std::move(pkt));
        if (!ok)
            return Outcome::Failed;
    }
    return Outcome::Written;
}

ExactCutResult ExactJob::Run()
{
    ExactCutResult result;
    struct stat st;
    if (::lstat(args_.output.c_str(), &st) == 0) {
        result.error = "the output file already exists: " + args_.output;
        return result;
    }
    if (::stat(args_.input.c_str(), &st) < 0 || S_ISDIR(st.st_mode)) {
        // The plain copy says exactly what is wrong with the input.
        result.outcome = Outcome::OnKeyframe;
        return result;
    }
    Outcome outcome = OpenInput();
    if (outcome == Outcome::Written)
        outcome = FindFirstKeyframe();
    if (outcome == Outcome::Written)
        outcome = ReadHeadGop();
    if (outcome == Outcome::Written)
        outcome = MakeHead();
    if (outcome == Outcome::Written)
        outcome = CopyRest();
    if (outcome == Outcome::Written && Stopped())
        outcome = Fail("stopped");
    if (outcome == Outcome::Written) {
        const int r = av_write_trailer(out_.get());
        std::string why;
        if (r < 0)
            outcome = Fail("cannot finish the output (" + AvErrorText(r) + ")");
        else if (!file_.Flush(&error_))
            outcome = Outcome::Failed;
        else if (!CheckWrittenPiece(args_.output, in_->streams[video_]->codecpar->codec_id, hooks_.stop, &why))
            outcome = Fail(why);
        else if (!file_.Commit(&error_))
            outcome = Outcome::Failed;
    }
    if (outcome != Outcome::Written) {
        out_.reset();
        file_.Discard();
        if (outcome == Outcome::Failed && error_.empty())
            error_ = "failed";
    }
    result.outcome = outcome;
    result.error = error_;
    result.seconds = writtenUs_ / 1e6;
    return result;
}

} // namespace

ExactCutResult RunExactCut(const CopyRequest &args, const CopyHooks &hooks)
{
    ExactJob job(args, hooks);
    return job.Run();
}

} // namespace kc::fileencoder
