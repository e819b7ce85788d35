#include "exactcut.h"

#include "chapterclip.h"
#include "copysetup.h"
#include "copysource.h"
#include "exactend.h"
#include "h264paramsets.h"
#include "headencoder.h"
#include "muxeroptions.h"
#include "outputfile.h"
#include "piececheck.h"
#include "piecetimecode.h"
#include "sequenceheader.h"
#include "streamselection.h"
#include "tailencoder.h"

#include "components/timestampresets/timestampresets.h"

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
// Packets read past the end, waiting for the last one that may still show before it, when
// decode times do not tell.
constexpr size_t kEndLookahead = 16;

constexpr char kOpenGop[] = "the H.264 keyframes of this video are not IDR pictures (open GOP)";

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

// Why the video stream has no exact cut, in a few words; empty when it has one.
std::string WhyNotExact(const AVFormatContext *ic, int video)
{
    if (video < 0 || !IsCopiedStream(ic->streams[video]))
        return "the input has no video";
    const AVStream *vs = ic->streams[video];
    const AVCodecID codec = vs->codecpar->codec_id;
    if (!ContainerFits(codec, ic->iformat->name))
        return std::string("no exact cut for ") + avcodec_get_name(codec) + " video in " + ic->iformat->name
               + " (only H.264 in MP4/MOV/MKV/TS, MPEG-4 in AVI, MPEG-2 in MPEG-PS/TS)";
    // AVI keeps no presentation times: with reordered pictures the time each one shows at
    // cannot be told from the packets alone.
    if (NameListHas(ic->iformat->name, "avi") && vs->codecpar->video_delay > 0)
        return "no exact cut for AVI video with B-frames";
    if (!HeadEncoder::EncoderFor(codec))
        return std::string("this build has no ") + avcodec_get_name(codec) + " encoder";
    const AVRational rate = StreamFrameRate(vs);
    if (rate.num <= 0 || rate.den <= 0)
        return "the video has no known frame rate";
    return std::string();
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
    bool WriteCue(OwnedPacket pkt);
    bool WriteOther(OwnedPacket pkt);
    bool Write(OwnedPacket pkt, int64_t shift);
    bool FlushGroup();
    bool SettleEnd();
    bool FinishVideo();
    bool ReleaseHeldSound();
    bool WriteSound(OwnedPacket pkt);
    bool WriteGroupSound();
    bool ToOutputForm(OwnedPacket &pkt);
    // The SPS/PPS units the source's pictures use, from its header and the given packets.
    std::vector<std::vector<uint8_t>> SourceParameterSets(const std::vector<OwnedPacket> &packets) const;
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

    // Pictures shown before this belong to the piece. The same slack as at the start, so
    // that a piece ending where the next begins hands over exactly the next one's first
    // picture.
    int64_t EndTs() const
    {
        return endTs_ == std::numeric_limits<int64_t>::max() ? endTs_ : endTs_ - Slack();
    }

    static int64_t ShownTs(const AVPacket *pkt) { return pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts; }

    // The head's rate, else the one the stream states; 0 when neither is known.
    int64_t TailBitRate() const { return bitRate_ > 0 ? bitRate_ : in_->streams[video_]->codecpar->bit_rate; }

    const CopyRequest &args_;
    const CopyHooks &hooks_;
    std::string error_;

    CopySource source_;
    AVFormatContext *in_ = nullptr; // source_'s
    std::unique_ptr<AVFormatContext, OutputFree> out_;
    OutputFile file_;
    std::vector<int> candidates_; // what the piece carries where the output container allows
    std::vector<bool> read_;      // per input stream: whether its packets are kept when read
    std::vector<int> copied_;     // input stream indices, in output order, once the output is set up
    std::vector<int> toOutput_;
    std::vector<int64_t> lastDts_;
    int video_ = -1;
    AVRational frameRate_{0, 1};
    int64_t frameTicks_ = 1; // one picture in the video time base
    int64_t startTs_ = 0;    // the asked time, video time base
    int64_t endTs_ = std::numeric_limits<int64_t>::max();

    // The first keyframe's group, the next keyframe and what was read with them.
    std::vector<OwnedPacket> gop_;
    std::deque<OwnedPacket> tail_; // video from the next keyframe on, in decode order
    std::deque<OwnedPacket> sound_;
    bool haveNextKey_ = false;
    int64_t nextKeyPts_ = 0;
    int64_t nextKeyDelay_ = 0; // its presentation minus its decode time
    bool atEnd_ = false;
    // The asked picture is a keyframe: nothing to encode at the start, only the end to make.
    bool noHead_ = false;
    bool pastTheEnd_ = false; // the asked time lies after the input's last picture

    std::unique_ptr<AVCodecContext, DecoderFree> decoder_;
    HeadEncoder encoder_;
    bool encoderOpen_ = false;
    int64_t bitRate_ = 0;
    bool firstFrameSeen_ = false;
    int64_t firstTs_ = 0; // the piece's first picture, video time base: becomes 0
    // When each head picture shows (video time base, from the first one), by the order it
    // went into the encoder: the encoder counts whole frames, the source's times need not.
    std::vector<int64_t> headShownTs_;
    std::vector<OwnedPacket> head_;
    // The head's SPS/PPS, which pictures encoded again at the end must not take the id of.
    std::vector<std::vector<uint8_t>> headParameterSets_;
    int tailSetId_ = -1; // the id named in the header for pictures encoded again at the end

    // Output details.
    bool lengthPrefixed_ = false; // H.264 as MP4/Matroska store it
    int lengthSize_ = 4;
    SequenceHeaderTracker mpeg2Headers_;
    bool tailStarted_ = false;
    bool videoDone_ = false;
    // The copied group the piece is in, held back until it turns out whether the piece ends
    // in it, and the packets read past the end.
    std::vector<OwnedPacket> group_;
    std::vector<OwnedPacket> pastEnd_;
    // The first picture shown at or after the end, once known: the sound ends with it.
    bool endSettled_ = false;
    int64_t firstAfterTs_ = std::numeric_limits<int64_t>::max();
    std::deque<OwnedPacket> heldSound_; // sound near the end, until the end is settled
    // Sound read while a group is held goes out with it, so that the muxer interleaves the
    // two and never holds more than a group.
    std::vector<OwnedPacket> groupSound_;
    std::vector<bool> soundStarted_;
    std::vector<bool> soundDone_;
    bool anyVideoWritten_ = false;
    int64_t writtenUs_ = 0;
};

int ExactJob::ReadPacket(OwnedPacket &pkt)
{
    for (;;) {
        pkt.reset(av_packet_alloc());
        if (!pkt)
            return AVERROR(ENOMEM);
        const int r = ReadContinuousPacket(in_, pkt.get());
        if (Stopped())
            return AVERROR_EXIT;
        if (r == AVERROR_INVALIDDATA)
            return AVERROR_EOF; // damaged data at the end reads as the end, as players take it
        if (r < 0)
            return r;
        if (pkt->stream_index >= 0 && pkt->stream_index < static_cast<int>(read_.size()) && read_[pkt->stream_index])
            return 0;
    }
}

Outcome ExactJob::OpenInput()
{
    std::string failed;
    if (!source_.Open(args_.input, hooks_.stop, &failed))
        return Fail(failed);
    AVFormatContext *ic = source_.Context();
    in_ = ic;

    video_ = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const std::string why = WhyNotExact(ic, video_);
    if (!why.empty())
        return NotExact(why);
    const AVStream *vs = ic->streams[video_];
    const AVCodecID codec = vs->codecpar->codec_id;
    frameRate_ = StreamFrameRate(vs);
    frameTicks_ = std::max<int64_t>(1, av_rescale_q(1, av_inv_q(frameRate_), vs->time_base));

    read_.assign(ic->nb_streams, false);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream *st = ic->streams[i];
        const AVMediaType type = st->codecpar->codec_type;
        const bool sound = type == AVMEDIA_TYPE_AUDIO && IsCopiedStream(st);
        const bool carried = (type == AVMEDIA_TYPE_SUBTITLE || type == AVMEDIA_TYPE_ATTACHMENT) && IsPieceStream(st);
        if (static_cast<int>(i) == video_ || sound || carried) {
            candidates_.push_back(static_cast<int>(i));
            read_[i] = true;
        }
    }
    soundStarted_.assign(ic->nb_streams, false);
    soundDone_.assign(ic->nb_streams, false);

    const int64_t fileStartUs = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    const int64_t startUs = fileStartUs + args_.startUs;
    startTs_ = VideoTs(startUs);
    if (args_.lengthUs) {
        endTs_ = VideoTs(startUs + *args_.lengthUs);
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
            r = SeekToKeyframeBefore(in_, -1, INT64_MIN);
            if (r < 0)
                r = av_seek_frame(in_, video_, INT64_MIN, AVSEEK_FLAG_BACKWARD);
        } else {
            r = SeekToKeyframeBefore(in_, video_, startUs - back);
        }
        if (r < 0 && !fromStart)
            continue;
        if (r < 0 && Stopped())
            return Fail("stopped");
        for (;;) {
            OwnedPacket pkt;
            r = ReadPacket(pkt);
            if (r == AVERROR_EOF && fromStart)
                return Fail("the input has no keyframe to start from");
            if (r == AVERROR_EOF)
                break; // a long last group: its keyframe lies further back
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
            if (pkt->pts >= startTs_ - Slack()) {
                // Up to the end of the input a plain copy is exact already; a piece that
                // ends before it still needs its end made here.
                if (!args_.lengthUs)
                    return Outcome::OnKeyframe;
                noHead_ = true;
                haveNextKey_ = true;
                nextKeyPts_ = pkt->pts;
                nextKeyDelay_ = pkt->dts != AV_NOPTS_VALUE ? std::max<int64_t>(0, pkt->pts - pkt->dts) : 0;
                tail_.push_back(std::move(pkt));
                return Outcome::Written;
            }
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
                    return NotExact(kOpenGop);
            }
            haveNextKey_ = true;
            nextKeyPts_ = pkt->pts;
            nextKeyDelay_ = pkt->dts != AV_NOPTS_VALUE ? std::max<int64_t>(0, pkt->pts - pkt->dts) : 0;
            tail_.push_back(std::move(pkt));
            return Outcome::Written;
        }
        if (pkt->pts != AV_NOPTS_VALUE && pkt->pts >= EndTs() && (pkt->flags & AV_PKT_FLAG_KEY)) {
            atEnd_ = true; // the piece ends inside this group
            return Outcome::Written;
        }
        gop_.push_back(std::move(pkt));
    }
}

bool ExactJob::OpenOutput()
{
    const AVOutputFormat *ofmt = PickCopyMuxer(in_, candidates_, args_.output);
    if (!ofmt) {
        error_ = std::string("cannot write the input's container (") + in_->iformat->name + ")";
        return false;
    }
    StreamSelection chosen = SelectCarriedStreams(in_, candidates_, ofmt);
    copied_ = std::move(chosen.copied);
    toOutput_.assign(in_->nb_streams, -1);
    for (size_t k = 0; k < copied_.size(); ++k)
        toOutput_[copied_[k]] = static_cast<int>(k);
    if (toOutput_[video_] < 0) {
        error_ = "the input has no video or audio stream: " + args_.input;
        return false;
    }
    if (hooks_.note) {
        for (const std::string &line : chosen.notes)
            hooks_.note(line);
        // A keyframe copy keeps them all; an exact cut encodes the pictures of one.
        for (unsigned i = 0; i < in_->nb_streams; ++i) {
            const AVStream *st = in_->streams[i];
            if (static_cast<int>(i) != video_ && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && IsPieceStream(st))
                hooks_.note("video stream " + std::to_string(i) + " (" + avcodec_get_name(st->codecpar->codec_id)
                            + ") is left out: an exact cut follows one video");
        }
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
        const auto add = [&config](const AVCodecContext *c) {
            for (auto &unit : SplitAnnexB(c ? c->extradata : nullptr, c ? c->extradata_size : 0)) {
                if (NalType(unit) == 7)
                    config.sps.push_back(std::move(unit));
                else if (NalType(unit) == 8)
                    config.pps.push_back(std::move(unit));
            }
        };
        add(encoder_.Context());
        // Pictures encoded again at the end have parameter sets of their own; they carry
        // them, and the header names them too for players that look only there. An encoder
        // with the same settings writes the same sets.
        if (args_.lengthUs) {
            std::vector<std::vector<uint8_t>> used = config.sps;
            used.insert(used.end(), config.pps.begin(), config.pps.end());
            tailSetId_ = FreeParameterSetId(used);
            HeadEncoder probe;
            std::string why;
            if (tailSetId_ >= 0
                && probe.Open(in_->streams[video_]->codecpar, frameRate_, TailBitRate(), true, tailSetId_, &why))
                add(probe.Context());
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
    // The piece shows the input from its first picture on.
    const AVRational vtb = in_->streams[video_]->time_base;
    const int64_t zeroUs = av_rescale_q(firstTs_, vtb, AV_TIME_BASE_Q);
    const int64_t endUs = EndTs() == std::numeric_limits<int64_t>::max() ? EndTs() : av_rescale_q(EndTs(), vtb, AV_TIME_BASE_Q);
    if (av_dict_copy(&oc->metadata, in_->metadata, 0) < 0 || !CopyPieceChapters(in_, oc, zeroUs, endUs)) {
        error_ = "out of memory";
        return false;
    }
    ShiftPieceTimecodes(in_, oc, zeroUs);
    AVDictionary *options = PieceMuxerOptions(in_, oc);
    r = avformat_write_header(oc, &options);
    av_dict_free(&options);
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
    // Pictures come out in showing order: the first at or after the end is where the next
    // piece starts.
    if (ts >= EndTs() && firstAfterTs_ == std::numeric_limits<int64_t>::max())
        firstAfterTs_ = ts;
    if ((haveNextKey_ && ts >= nextKeyPts_) || ts >= EndTs()) {
        *headComplete = true;
        return true;
    }
    if (!encoderOpen_) {
        firstTs_ = ts;
        const AVCodecParameters *par = in_->streams[video_]->codecpar;
        const AVOutputFormat *ofmt = PickCopyMuxer(in_, candidates_, args_.output);
        const bool global = ofmt && MuxerCarriesGlobalHeaders(ofmt) && (ofmt->flags & AVFMT_GLOBALHEADER);
        const int id = FreeParameterSetId(SourceParameterSets(gop_));
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
    int64_t shown = ts - firstTs_;
    if (!headShownTs_.empty() && shown <= headShownTs_.back())
        shown = headShownTs_.back() + 1;
    frame->pts = static_cast<int64_t>(headShownTs_.size());
    headShownTs_.push_back(shown);
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
        if (!haveNextKey_) {
            pastTheEnd_ = true;
            return Fail("the input has no picture at the asked time");
        }
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
    anyVideoWritten_ = anyVideoWritten_ || in == video_;
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

std::vector<std::vector<uint8_t>> ExactJob::SourceParameterSets(const std::vector<OwnedPacket> &packets) const
{
    std::vector<const AVPacket *> read;
    for (const auto &p : packets)
        read.push_back(p.get());
    return fileencoder::SourceParameterSets(in_->streams[video_]->codecpar, read);
}

bool ExactJob::ToOutputForm(OwnedPacket &pkt)
{
    if (!lengthPrefixed_ || ToLengthPrefixed(&pkt, lengthSize_))
        return true;
    error_ = "out of memory";
    return false;
}

bool ExactJob::WriteHead(std::vector<OwnedPacket> &packets)
{
    if (packets.empty())
        return true;
    const AVRational encTb = encoder_.Context()->time_base;
    const AVRational vtb = in_->streams[video_]->time_base;
    const bool h264 = in_->streams[video_]->codecpar->codec_id == AV_CODEC_ID_H264;
    for (OwnedPacket &pkt : packets) {
        for (auto &unit : SplitAnnexB(h264 ? pkt->data : nullptr, h264 ? static_cast<size_t>(pkt->size) : 0))
            if (NalType(unit) == 7 || NalType(unit) == 8)
                headParameterSets_.push_back(std::move(unit));
        if (!ToOutputForm(pkt))
            return false;
        pkt->stream_index = video_;
        if (pkt->pts < 0 || pkt->pts >= static_cast<int64_t>(headShownTs_.size())) {
            error_ = "the encoder returned a picture it was not given";
            return false;
        }
        const int64_t shown = headShownTs_[static_cast<size_t>(pkt->pts)];
        av_packet_rescale_ts(pkt.get(), encTb, vtb);
        // A variable frame rate keeps its own times; the encoder saw one frame per step.
        pkt->pts = shown;
        // Decoded before the copied keyframe, whose decode time lies its reorder delay
        // ahead of its presentation.
        pkt->dts = pkt->pts - nextKeyDelay_;
        if (!Write(std::move(pkt), 0))
            return false;
    }
    packets.clear();
    return true;
}

bool ExactJob::FlushGroup()
{
    for (OwnedPacket &pkt : group_) {
        if (!Write(std::move(pkt), firstTs_))
            return false;
    }
    group_.clear();
    return WriteGroupSound();
}

bool ExactJob::WriteSound(OwnedPacket pkt)
{
    if (!group_.empty()) {
        groupSound_.push_back(std::move(pkt));
        return true;
    }
    const AVRational tb = in_->streams[pkt->stream_index]->time_base;
    const int64_t firstUs = av_rescale_q(firstTs_, in_->streams[video_]->time_base, AV_TIME_BASE_Q);
    return Write(std::move(pkt), av_rescale_q(firstUs, AV_TIME_BASE_Q, tb));
}

bool ExactJob::WriteGroupSound()
{
    std::vector<OwnedPacket> sound;
    sound.swap(groupSound_);
    for (OwnedPacket &pkt : sound) {
        if (!WriteSound(std::move(pkt)))
            return false;
    }
    return true;
}

bool ExactJob::WriteVideoTail(OwnedPacket pkt)
{
    if (videoDone_)
        return true;
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
    if (pastEnd_.empty() && ShownTs(pkt.get()) < EndTs()) {
        // A new group: the one before it is whole and holds no end.
        if ((pkt->flags & AV_PKT_FLAG_KEY) && !FlushGroup())
            return false;
        group_.push_back(std::move(pkt));
        return true;
    }
    const int64_t decoded = pkt->dts;
    pastEnd_.push_back(std::move(pkt));
    std::vector<int64_t> shown;
    for (const auto &p : group_)
        shown.push_back(ShownTs(p.get()));
    for (const auto &p : pastEnd_)
        shown.push_back(ShownTs(p.get()));
    if (pastEnd_.size() >= kEndLookahead || ExactEndSettled(shown, EndTs(), decoded))
        return SettleEnd();
    return true;
}

bool ExactJob::SettleEnd()
{
    std::vector<int64_t> shown;
    std::vector<const AVPacket *> packets;
    for (const auto &p : group_) {
        shown.push_back(ShownTs(p.get()));
        packets.push_back(p.get());
    }
    for (const auto &p : pastEnd_) {
        shown.push_back(ShownTs(p.get()));
        packets.push_back(p.get());
    }
    const ExactEnd end = PlanExactEnd(shown, EndTs());
    firstAfterTs_ = end.firstAfter.value_or(std::numeric_limits<int64_t>::max());

    // Copied packets referring to a picture shown from the end on: the pictures they would
    // give are encoded again instead, as the head is.
    std::vector<OwnedPacket> tail;
    if (!end.reencoded.empty()) {
        const AVStream *vs = in_->streams[video_];
        std::vector<std::vector<uint8_t>> used = SourceParameterSets(group_);
        used.insert(used.end(), headParameterSets_.begin(), headParameterSets_.end());
        if (encoderOpen_ && vs->codecpar->codec_id == AV_CODEC_ID_H264) {
            const AVCodecContext *enc = encoder_.Context();
            for (auto &unit : SplitAnnexB(enc->extradata, enc->extradata ? static_cast<size_t>(enc->extradata_size) : 0))
                used.push_back(std::move(unit));
        }
        TailRequest request;
        request.stream = vs;
        request.frameRate = frameRate_;
        request.parameterSetId = tailSetId_ >= 0 ? tailSetId_ : FreeParameterSetId(used);
        if (request.parameterSetId < 0) {
            error_ = "the video uses every parameter set id";
            return false;
        }
        request.bitRate = TailBitRate();
        if (request.bitRate <= 0) {
            int64_t bytes = 0;
            for (const AVPacket *p : packets)
                bytes += p->size;
            const double span = static_cast<double>(packets.size()) / av_q2d(frameRate_);
            request.bitRate = static_cast<int64_t>(bytes * 8 / std::max(span, 0.04));
        }
        request.packets = packets;
        request.shown = end.reencoded;
        if (!EncodeTail(request, hooks_.stop, &tail, &error_))
            return false;
    }

    // Decoded where the group's pictures were: each re-encoded picture keeps the reorder
    // delay of the group's keyframe, which places it after the copied ones.
    const AVPacket *key = group_.empty() ? nullptr : group_.front().get();
    const int64_t delay = key && key->pts != AV_NOPTS_VALUE && key->dts != AV_NOPTS_VALUE
                              ? std::max<int64_t>(0, key->pts - key->dts)
                              : nextKeyDelay_;
    for (size_t i = 0; i < end.copied && i < group_.size(); ++i) {
        if (!Write(std::move(group_[i]), firstTs_))
            return false;
    }
    for (OwnedPacket &pkt : tail) {
        if (!ToOutputForm(pkt))
            return false;
        pkt->stream_index = video_;
        pkt->dts = pkt->pts - delay;
        if (!Write(std::move(pkt), firstTs_))
            return false;
    }
    group_.clear();
    pastEnd_.clear();
    videoDone_ = true;
    endSettled_ = true;
    return WriteGroupSound() && ReleaseHeldSound();
}

bool ExactJob::FinishVideo()
{
    if (videoDone_)
        return ReleaseHeldSound();
    if (!pastEnd_.empty())
        return SettleEnd();
    // The input ended before the piece's end: every picture read belongs to it.
    if (!FlushGroup())
        return false;
    videoDone_ = true;
    endSettled_ = true;
    return ReleaseHeldSound();
}

bool ExactJob::ReleaseHeldSound()
{
    std::deque<OwnedPacket> held;
    held.swap(heldSound_);
    for (OwnedPacket &pkt : held) {
        if (!WriteAudio(std::move(pkt)))
            return false;
    }
    return true;
}

bool ExactJob::WriteAudio(OwnedPacket pkt)
{
    const int in = pkt->stream_index;
    if (soundDone_[in] || pkt->pts == AV_NOPTS_VALUE)
        return true;
    const AVRational tb = in_->streams[in]->time_base;
    const AVRational vtb = in_->streams[video_]->time_base;
    const int64_t firstUs = av_rescale_q(firstTs_, vtb, AV_TIME_BASE_Q);
    const int64_t us = av_rescale_q(pkt->pts, tb, AV_TIME_BASE_Q);
    const int64_t halfUs = av_rescale_q(pkt->duration, tb, AV_TIME_BASE_Q) / 2;
    if (!soundStarted_[in]) {
        // The block nearest the first picture starts the sound.
        if (us + halfUs < firstUs)
            return true;
        soundStarted_[in] = true;
    }
    // The sound ends with the block nearest the first picture after the piece, by the rule
    // that starts the next piece's sound there: consecutive pieces share no block, lose none.
    constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
    if (!endSettled_) {
        const int64_t endUs = EndTs() == kNever ? kNever : av_rescale_q(EndTs(), vtb, AV_TIME_BASE_Q);
        if (us + halfUs >= endUs) {
            heldSound_.push_back(std::move(pkt));
            return true;
        }
    } else if (firstAfterTs_ != kNever && us + halfUs >= av_rescale_q(firstAfterTs_, vtb, AV_TIME_BASE_Q)) {
        soundDone_[in] = true;
        return true;
    }
    return WriteSound(std::move(pkt));
}

bool ExactJob::WriteOther(OwnedPacket pkt)
{
    // Streams the output container cannot hold were left out when it was set up.
    if (toOutput_[pkt->stream_index] < 0)
        return true;
    if (in_->streams[pkt->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE)
        return WriteCue(std::move(pkt));
    return WriteAudio(std::move(pkt));
}

// A cue that shows in the piece, clipped to it: nothing shows before the first picture or
// runs on into the next piece's time. One without a length (bitmap subtitles end with a
// later, empty one) is kept when it begins in the piece.
bool ExactJob::WriteCue(OwnedPacket pkt)
{
    const int64_t shown = ShownTs(pkt.get());
    if (shown == AV_NOPTS_VALUE)
        return true;
    const AVRational tb = in_->streams[pkt->stream_index]->time_base;
    const AVRational vtb = in_->streams[video_]->time_base;
    const int64_t firstTs = av_rescale_q(firstTs_, vtb, tb);
    constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
    const int64_t endTs = EndTs() == kNever ? kNever : av_rescale_q(EndTs(), vtb, tb);
    const bool timed = pkt->duration > 0;
    const int64_t until = timed ? shown + pkt->duration : shown;
    if (shown >= endTs || (timed ? until <= firstTs : shown < firstTs))
        return true;
    const int64_t from = std::max(shown, firstTs);
    if (timed)
        pkt->duration = std::max<int64_t>(std::min(until, endTs) - from, 1);
    if (from != shown || pkt->dts == AV_NOPTS_VALUE)
        pkt->dts = from;
    pkt->pts = from;
    return WriteSound(std::move(pkt));
}

Outcome ExactJob::CopyRest()
{
    if (!WriteHead(head_))
        return Outcome::Failed;
    if (!haveNextKey_ || nextKeyPts_ >= EndTs()) {
        // The piece ends among the re-encoded pictures.
        videoDone_ = true;
        endSettled_ = true;
    }
    while (!sound_.empty()) {
        OwnedPacket p = std::move(sound_.front());
        sound_.pop_front();
        if (!WriteOther(std::move(p)))
            return Outcome::Failed;
    }
    while (!tail_.empty()) {
        OwnedPacket p = std::move(tail_.front());
        tail_.pop_front();
        if (!WriteVideoTail(std::move(p)))
            return Outcome::Failed;
    }
    while (!atEnd_) {
        bool soundLeft = false;
        for (int index : copied_) {
            soundLeft = soundLeft
                        || (in_->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && !soundDone_[index]);
        }
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
        const bool ok = pkt->stream_index == video_ ? WriteVideoTail(std::move(pkt)) : WriteOther(std::move(pkt));
        if (!ok)
            return Outcome::Failed;
    }
    if (!FinishVideo())
        return Outcome::Failed;
    if (!anyVideoWritten_)
        return Fail("the asked range holds no picture");
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
    if (outcome == Outcome::Written && !noHead_)
        outcome = ReadHeadGop();
    if (outcome == Outcome::Written && !noHead_)
        outcome = MakeHead();
    if (outcome == Outcome::Written && noHead_) {
        firstTs_ = nextKeyPts_;
        if (!OpenOutput())
            outcome = Outcome::Failed;
    }
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
    result.pastTheEnd = outcome == Outcome::Failed && pastTheEnd_;
    result.seconds = writtenUs_ / 1e6;
    return result;
}

} // namespace

ExactCutResult RunExactCut(const CopyRequest &args, const CopyHooks &hooks)
{
    ExactJob job(args, hooks);
    return job.Run();
}

std::string WhyNoExactCut(const std::string &input, const volatile std::sig_atomic_t *stop)
{
    CopySource source;
    std::string failed;
    if (!source.Open(input, stop, &failed))
        return std::string(); // the copy says what is wrong with the input
    AVFormatContext *ic = source.Context();
    const int video = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const std::string why = WhyNotExact(ic, video);
    if (!why.empty() || ic->streams[video]->codecpar->codec_id != AV_CODEC_ID_H264)
        return why;

    // An open GOP shows in the keyframes after the first, which an encoder starts with an IDR.
    const AVCodecParameters *par = ic->streams[video]->codecpar;
    AvcConfig config;
    const int lengthSize = ParseAvcConfig(par->extradata, par->extradata_size, &config) ? config.lengthSize : 0;
    constexpr int kKeyframesLookedAt = 4;
    constexpr int kPacketLimit = 20000;
    int keyframes = 0;
    OwnedPacket pkt(av_packet_alloc());
    for (int n = 0; pkt && n < kPacketLimit && keyframes < kKeyframesLookedAt; ++n) {
        if (av_read_frame(ic, pkt.get()) < 0)
            break;
        if (pkt->stream_index == video && (pkt->flags & AV_PKT_FLAG_KEY) && keyframes++ > 0
            && !HasIdrSlice(pkt->data, static_cast<size_t>(pkt->size), lengthSize))
            return kOpenGop;
        av_packet_unref(pkt.get());
    }
    return std::string();
}

} // namespace kc::fileencoder
