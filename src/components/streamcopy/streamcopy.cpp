#include "streamcopy.h"

#include "chapterclip.h"
#include "copysetup.h"
#include "copysource.h"
#include "cutplanner.h"
#include "exactcut.h"
#include "h264paramsets.h"
#include "muxerchoice.h"
#include "muxeroptions.h"
#include "outputfile.h"
#include "piececheck.h"
#include "piecetimecode.h"
#include "pictureclassifier.h"
#include "sequenceheader.h"
#include "streamselection.h"
#include "tailencoder.h"
#include "trailinggroup.h"
#include "trailingrecode.h"

#include "components/timestampresets/timestampresets.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

namespace kc::fileencoder {

namespace {

struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

struct OutputFree {
    void operator()(AVFormatContext *c) const { avformat_free_context(c); }
};

// The timed streams of a piece: its video and sound.
bool IsCopied(const AVStream *st)
{
    const AVMediaType type = st->codecpar->codec_type;
    return (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) && IsPieceStream(st);
}

bool NeedsMpeg2Systems(const AVFormatContext *ic, const std::vector<int> &copied)
{
    for (int index : copied) {
        const AVCodecParameters *par = ic->streams[index]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && par->codec_id != AV_CODEC_ID_MPEG1VIDEO)
            return true;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->codec_id != AV_CODEC_ID_MP1
            && par->codec_id != AV_CODEC_ID_MP2 && par->codec_id != AV_CODEC_ID_MP3)
            return true;
        // DVD subtitles live in MPEG-2 program streams only.
        if (par->codec_type == AVMEDIA_TYPE_SUBTITLE)
            return true;
    }
    return false;
}

const AVOutputFormat *PickMuxer(const AVFormatContext *ic, const std::vector<int> &copied, const std::string &outputPath)
{
    const AVOutputFormat *byName = av_guess_format(nullptr, outputPath.c_str(), nullptr);
    const std::string name = ChooseMuxerName(ic->iformat->name, NeedsMpeg2Systems(ic, copied),
                                             byName ? byName->name : "", [](std::string_view n) {
                                                 const std::string s(n);
                                                 const AVOutputFormat *f = av_guess_format(s.c_str(), nullptr, nullptr);
                                                 return f && s == f->name;
                                             });
    return name.empty() ? nullptr : av_guess_format(name.c_str(), nullptr, nullptr);
}

// How long a subtitle cue may have been on screen before a piece starts and still be shown
// in it.
constexpr int64_t kCueLookBackUs = 10000000;

bool HasNoFixedBlocks(AVCodecID id)
{
    return id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP3 || id == AV_CODEC_ID_AC3 || id == AV_CODEC_ID_AAC;
}

// Program and transport streams, and bare elementary streams, have no place for a codec's
// global headers: a player knows only what the packets carry.
bool CarriesGlobalHeaders(const AVOutputFormat *ofmt)
{
    if (ofmt->flags & AVFMT_NOTIMESTAMPS)
        return false;
    for (const char *name : {"mpeg", "vob", "svcd", "dvd", "mpegts"}) {
        if (std::strcmp(ofmt->name, name) == 0)
            return false;
    }
    return true;
}

// A packet with the given bytes put in at offset `at` of its own.
PacketPtr WithInserted(const AVPacket *pkt, const std::vector<uint8_t> &bytes, size_t at)
{
    const size_t size = static_cast<size_t>(std::max(pkt->size, 0));
    at = std::min(at, size);
    PacketPtr joined(av_packet_alloc());
    if (!joined || av_new_packet(joined.get(), static_cast<int>(bytes.size() + size)) < 0
        || av_packet_copy_props(joined.get(), pkt) < 0)
        return nullptr;
    if (at > 0)
        std::memcpy(joined->data, pkt->data, at);
    std::memcpy(joined->data + at, bytes.data(), bytes.size());
    if (size > at)
        std::memcpy(joined->data + at + bytes.size(), pkt->data + at, size - at);
    return joined;
}

int CopyStreamSetup(const AVStream *ist, AVStream *ost, const AVOutputFormat *ofmt)
{
    int r = avcodec_parameters_copy(ost->codecpar, ist->codecpar);
    if (r < 0)
        return r;
    // Keep the input's codec tag (an AVI's FourCC) unless the output container maps it to
    // another codec.
    const unsigned tag = ist->codecpar->codec_tag;
    unsigned other = 0;
    ost->codecpar->codec_tag = 0;
    if (!ofmt->codec_tag || av_codec_get_id(ofmt->codec_tag, tag) == ist->codecpar->codec_id
        || !av_codec_get_tag2(ofmt->codec_tag, ist->codecpar->codec_id, &other))
        ost->codecpar->codec_tag = tag;

    // An AVI sound stream's header has a sample size: the muxer writes the block size there,
    // and readers then take the stream for fixed-size blocks and count its length in bytes
    // (a third of the sound, or hundreds of seconds). Frame-based sound has no fixed block;
    // the muxer derives these codecs' format block size on its own, so 0 changes nothing else.
    if (std::strcmp(ofmt->name, "avi") == 0 && HasNoFixedBlocks(ist->codecpar->codec_id))
        ost->codecpar->block_align = 0;

    if (ist->time_base.num > 0 && ist->time_base.den > 0)
        ost->time_base = ist->time_base;
    ost->avg_frame_rate = ist->avg_frame_rate;
    ost->r_frame_rate = ist->r_frame_rate;
    // Pixels keep the shape players show: the container's when it gives one (Matroska's
    // display size, an AVI's vprp), else the stream's own. Muxers refuse a stream whose two
    // differ, so both get that one.
    AVRational sar = ist->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        sar = ist->codecpar->sample_aspect_ratio;
    if (ist->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && sar.num > 0 && sar.den > 0)
        ost->codecpar->sample_aspect_ratio = sar;
    ost->sample_aspect_ratio = sar;
    ost->disposition = ist->disposition;
    r = av_dict_copy(&ost->metadata, ist->metadata, 0);
    if (r < 0)
        return r;
    // Buffer sizes and rates (MPEG program streams size their buffers from them).
    for (int i = 0; i < ist->nb_side_data; ++i) {
        const AVPacketSideData &sd = ist->side_data[i];
        uint8_t *dst = av_stream_new_side_data(ost, sd.type, sd.size);
        if (!dst)
            return AVERROR(ENOMEM);
        std::memcpy(dst, sd.data, sd.size);
    }
    return 0;
}

// The input as a job sees it: opened for the job alone, or shared by the pieces of a split.
class InputRef {
public:
    AVFormatContext *get() const { return ic_; }
    AVFormatContext *operator->() const { return ic_; }
    void reset(AVFormatContext *ic) { ic_ = ic; }

private:
    AVFormatContext *ic_ = nullptr;
};

class Job {
public:
    // source: an input already open, read from where it stands; null to open args.input.
    Job(const CopyRequest &args, const CopyHooks &hooks, CopySource *source)
        : args_(args), hooks_(hooks), source_(source ? source : &ownSource_)
    {
    }
    CopyResult Run();

private:
    bool Fail(const std::string &why)
    {
        if (error_.empty())
            error_ = why;
        return false;
    }
    bool Stopped() const { return hooks_.stop && *hooks_.stop; }
    bool HasCues() const;
    bool OpenInput();
    bool OpenOutput();
    bool ChooseStreams(const AVOutputFormat *ofmt);
    bool WriteHeader();
    bool AddChapters();
    bool Copy();
    bool SeekForAttempt(int attempt, bool *atFileStart);
    bool Apply(std::vector<PacketAction> &actions);
    bool WriteOut(PacketPtr pkt, const PacketAction &a, const std::vector<uint8_t> &prefix);
    bool WriteRecoded(PacketPtr pkt, const PacketAction &a);
    bool KeepForGroup(PacketPtr pkt, const PacketAction &a, const std::vector<uint8_t> &prefix);
    bool WriteTrailingGroup();
    bool CheckPiece();
    PictureKind Classify(uint64_t id);
    std::vector<uint8_t> MissingHeaders(const AVPacket *pkt, bool key);

    const CopyRequest &args_;
    const CopyHooks &hooks_;
    std::string error_;

    CopySource ownSource_;
    CopySource *source_;
    InputRef in_;
    std::unique_ptr<AVFormatContext, OutputFree> out_;
    OutputFile file_;
    std::vector<int> candidates_;  // input streams a piece would carry, where the container allows
    std::vector<int> copied_;      // input stream indices, in output order
    std::vector<int> toOutput_;    // input index -> output index or -1
    std::vector<int64_t> lastDts_; // per output stream, in its time base
    int anchorInput_ = -1;
    bool byDecodeOrder_ = false;
    int64_t fileStartUs_ = 0;

    CutPlanner planner_;
    std::unique_ptr<PictureClassifier> classifier_;
    std::unordered_map<uint64_t, PacketPtr> pending_;
    std::unordered_map<uint64_t, PictureKind> kinds_;

    // MPEG-1/2 video: the sequence header in force when each keyframe without its own was
    // read, for the piece's first picture.
    std::unique_ptr<SequenceHeaderTracker> headers_;
    // H.264 in Annex B form: the SPS and PPS read so far, for a first keyframe without them.
    std::unique_ptr<ParameterSetTracker> parameterSets_;
    std::unordered_map<uint64_t, std::vector<uint8_t>> headerFor_;
    bool anchorWritten_ = false;
    bool headerWritten_ = false;

    // MPEG-2 open GOPs: the pictures before the piece's end written anew.
    struct Withheld {
        PacketPtr pkt;
        PacketAction action;
    };
    std::unique_ptr<TrailingPictureRecoder> recoder_;
    std::vector<Withheld> withheld_;
    bool recodeFailed_ = false;
    bool anyRecoded_ = false;

    // H.264 and MPEG-4 open GOPs: the pictures before the piece's end encoded again as a
    // group of their own once the piece's last packet is read (withheld_ holds the pictures
    // left out after the end, regrouped_ the ones replaced).
    std::unique_ptr<TrailingGroupRecoder> groupRecoder_;
    std::vector<Withheld> regrouped_;
};

bool Job::OpenInput()
{
    if (!source_->Context()) {
        std::string why;
        if (!source_->Open(args_.input, hooks_.stop, &why))
            return Fail(why);
    }
    AVFormatContext *ic = source_->Context();
    in_.reset(ic);

    bool anyTimed = false;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        if (IsPieceStream(ic->streams[i]))
            candidates_.push_back(static_cast<int>(i));
        anyTimed = anyTimed || IsCopied(ic->streams[i]);
    }
    if (!anyTimed)
        return Fail("the input has no video or audio stream: " + args_.input);

    for (enum AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
        const int best = av_find_best_stream(ic, type, -1, -1, nullptr, 0);
        if (best >= 0 && IsCopied(ic->streams[best])) {
            anchorInput_ = best;
            break;
        }
    }
    for (unsigned i = 0; anchorInput_ < 0 && i < ic->nb_streams; ++i) {
        if (IsCopied(ic->streams[i]))
            anchorInput_ = static_cast<int>(i);
    }

    fileStartUs_ = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    // AVI stores no presentation times: reordered pictures are told by their type.
    byDecodeOrder_ = std::strcmp(ic->iformat->name, "avi") == 0;
    return true;
}

bool Job::ChooseStreams(const AVOutputFormat *ofmt)
{
    StreamSelection chosen = SelectCarriedStreams(in_.get(), candidates_, ofmt);
    copied_ = std::move(chosen.copied);
    toOutput_.assign(in_->nb_streams, -1);
    for (size_t k = 0; k < copied_.size(); ++k)
        toOutput_[copied_[k]] = static_cast<int>(k);
    if (hooks_.note) {
        for (const std::string &line : chosen.notes)
            hooks_.note(line);
    }
    return toOutput_[anchorInput_] >= 0 || Fail("the input has no video or audio stream: " + args_.input);
}

bool Job::OpenOutput()
{
    const AVOutputFormat *ofmt = PickMuxer(in_.get(), candidates_, args_.output);
    if (!ofmt)
        return Fail(std::string("cannot write the input's container (") + in_->iformat->name + ")");
    if (!ChooseStreams(ofmt))
        return false;

    AVFormatContext *oc = nullptr;
    int r = avformat_alloc_output_context2(&oc, ofmt, nullptr, args_.output.c_str());
    if (r < 0 || !oc)
        return Fail("cannot set up the output (" + AvErrorText(r) + ")");
    out_.reset(oc);
    for (int index : copied_) {
        AVStream *ost = avformat_new_stream(oc, nullptr);
        if (!ost)
            return Fail("out of memory");
        r = CopyStreamSetup(in_->streams[index], ost, ofmt);
        if (r < 0)
            return Fail("cannot copy the stream parameters (" + AvErrorText(r) + ")");
    }

    if (!file_.Create(args_.output, &error_))
        return false;
    oc->pb = file_.Io();
    oc->flags |= AVFMT_FLAG_CUSTOM_IO;
    // By default every packet ends with a flush point, which empties the buffer: one small
    // write per packet. Writing whole buffers (256 KiB) is what keeps a copy at disk speed.
    oc->flush_packets = 0;
    oc->interrupt_callback = in_->interrupt_callback;
    r = av_dict_copy(&oc->metadata, in_->metadata, 0);
    if (r < 0)
        return Fail("out of memory");
    lastDts_.assign(oc->nb_streams, AV_NOPTS_VALUE);
    return true;
}

bool Job::AddChapters()
{
    const int64_t endUs =
        args_.lengthUs ? fileStartUs_ + args_.startUs + *args_.lengthUs : std::numeric_limits<int64_t>::max();
    return CopyPieceChapters(in_.get(), out_.get(), planner_.ZeroUs(), endUs) || Fail("out of memory");
}

// Written with the first packet: only then is it known where the piece starts, and
// containers such as MP4 must know their chapters before the header.
bool Job::WriteHeader()
{
    if (headerWritten_)
        return true;
    if (!AddChapters())
        return false;
    ShiftPieceTimecodes(in_.get(), out_.get(), planner_.ZeroUs());
    AVDictionary *options = PieceMuxerOptions(in_.get(), out_.get());
    const int r = avformat_write_header(out_.get(), &options);
    av_dict_free(&options);
    if (r < 0)
        return Fail(std::string("the ") + out_->oformat->name + " container cannot hold these streams (" + AvErrorText(r) + ")");
    headerWritten_ = true;
    return true;
}

PictureKind Job::Classify(uint64_t id)
{
    if (!classifier_)
        return PictureKind::Unknown;
    const auto known = kinds_.find(id);
    if (known != kinds_.end())
        return known->second;
    const auto it = pending_.find(id);
    const PictureKind kind = it != pending_.end() ? classifier_->Classify(it->second.get()) : PictureKind::Unknown;
    kinds_[id] = kind;
    return kind;
}

// Follows the headers in force as the video's packets are read in file order: for a keyframe
// that carries none of its own, the ones its piece must start with; empty otherwise.
std::vector<uint8_t> Job::MissingHeaders(const AVPacket *pkt, bool key)
{
    const size_t size = static_cast<size_t>(std::max(pkt->size, 0));
    if (headers_ && !headers_->Observe(pkt->data, size) && key)
        return headers_->InForce();
    if (parameterSets_ && !parameterSets_->Observe(pkt->data, size) && key)
        return parameterSets_->InForce();
    return {};
}

bool Job::WriteOut(PacketPtr pkt, const PacketAction &a, const std::vector<uint8_t> &prefix)
{
    if (!WriteHeader())
        return false;
    const int in = pkt->stream_index;
    if (in == anchorInput_) {
        if (!anchorWritten_ && !prefix.empty()) {
            // H.264's parameter sets go after the access unit's delimiter, before its slices.
            const size_t at = parameterSets_ ? FirstSliceOffset(pkt->data, static_cast<size_t>(std::max(pkt->size, 0))) : 0;
            pkt = WithInserted(pkt.get(), prefix, at);
            if (!pkt)
                return Fail("out of memory");
        }
        anchorWritten_ = true;
    }
    const int out = toOutput_[in];
    const AVStream *ost = out_->streams[out];
    pkt->pts = a.pts;
    pkt->dts = a.dts;
    if (a.duration >= 0)
        pkt->duration = a.duration;
    pkt->pos = -1;
    pkt->stream_index = out;
    av_packet_rescale_ts(pkt.get(), in_->streams[in]->time_base, ost->time_base);

    KeepDecodeTimesIncreasing(pkt.get(), out_->oformat, &lastDts_[out]);

    const int r = av_interleaved_write_frame(out_.get(), pkt.get());
    if (r < 0)
        return Fail(Stopped() ? "stopped" : "cannot write the output (" + AvErrorText(r) + ")");
    return true;
}

// A picture before the end that refers to one left out after it: written anew. If that
// cannot be done before anything was written anew, the left-out pictures come along as they
// are (the next GOP's first then shows once more at the end); after that, the picture is
// left out rather than shown with the wrong reference.
bool Job::WriteRecoded(PacketPtr pkt, const PacketAction &a)
{
    if (!recodeFailed_) {
        std::string why;
        auto fresh = recoder_->Recode(pkt.get(), headers_ ? headers_->InForce() : std::vector<uint8_t>(), &why);
        if (fresh) {
            PacketPtr recoded(fresh.release());
            recoded->stream_index = pkt->stream_index;
            anyRecoded_ = true;
            return WriteOut(std::move(recoded), a, {});
        }
        recodeFailed_ = true;
        if (hooks_.note)
            hooks_.note("the pictures just before the end of the piece could not be written anew (" + why + ")");
    }
    if (anyRecoded_)
        return true;
    std::vector<Withheld> references;
    references.swap(withheld_);
    for (Withheld &w : references) {
        if (!WriteOut(std::move(w.pkt), w.action, {}))
            return false;
    }
    return WriteOut(std::move(pkt), a, {});
}

bool Job::KeepForGroup(PacketPtr pkt, const PacketAction &a, const std::vector<uint8_t> &prefix)
{
    if (a.referenceOnly || a.recode) {
        const bool kept = a.recode ? groupRecoder_->Add(pkt.get(), a.pts, a.dts) : groupRecoder_->Keep(pkt.get(), false);
        if (!kept)
            return Fail("out of memory");
        (a.recode ? regrouped_ : withheld_).push_back({std::move(pkt), a});
        return true;
    }
    if (!groupRecoder_->Keep(pkt.get(), true))
        return Fail("out of memory");
    return WriteOut(std::move(pkt), a, prefix);
}

// After the piece's last packet: the pictures before the end that refer to one left out
// after it, encoded again. If that cannot be done they come along as they are, with the
// pictures they refer to (the next GOP's first then shows once more at the end).
bool Job::WriteTrailingGroup()
{
    if (!groupRecoder_ || groupRecoder_->Empty())
        return true;
    std::vector<OwnedPacket> fresh;
    std::string why;
    if (groupRecoder_->Encode(in_->streams[anchorInput_], hooks_.stop, &fresh, &why)) {
        for (OwnedPacket &pkt : fresh) {
            PacketAction a{0, true, pkt->pts, pkt->dts};
            a.duration = pkt->duration;
            PacketPtr owned(pkt.release());
            owned->stream_index = anchorInput_;
            if (!WriteOut(std::move(owned), a, {}))
                return false;
        }
        return true;
    }
    if (Stopped())
        return Fail("stopped");
    if (hooks_.note)
        hooks_.note("the pictures just before the end of the piece could not be encoded again (" + why + ")");
    for (std::vector<Withheld> *list : {&withheld_, &regrouped_}) {
        for (Withheld &w : *list) {
            if (!WriteOut(std::move(w.pkt), w.action, {}))
                return false;
        }
    }
    return true;
}

bool Job::Apply(std::vector<PacketAction> &actions)
{
    for (const PacketAction &a : actions) {
        const auto it = pending_.find(a.id);
        if (it == pending_.end())
            continue;
        PacketPtr pkt = std::move(it->second);
        pending_.erase(it);
        kinds_.erase(a.id);
        const auto header = headerFor_.find(a.id);
        std::vector<uint8_t> prefix;
        if (header != headerFor_.end()) {
            prefix.swap(header->second);
            headerFor_.erase(header);
        }
        const bool anchor = pkt->stream_index == anchorInput_;
        bool ok = true;
        if (groupRecoder_ && anchor && (a.write || a.referenceOnly)) {
            ok = KeepForGroup(std::move(pkt), a, prefix);
        } else if (a.referenceOnly && recoder_) {
            recoder_->Keep(pkt.get(), false, prefix);
            withheld_.push_back({std::move(pkt), a});
        } else if (!a.write) {
            continue;
        } else if (a.recode && recoder_ && anchor) {
            ok = WriteRecoded(std::move(pkt), a);
        } else {
            if (recoder_ && anchor)
                recoder_->Keep(pkt.get(), true, prefix);
            ok = WriteOut(std::move(pkt), a, prefix);
        }
        if (!ok) {
            actions.clear();
            return false;
        }
    }
    actions.clear();
    // No note before the first packet: a run that fails early says only why.
    if (hooks_.progress && planner_.AnyWritten())
        hooks_.progress(planner_.WrittenSeconds());
    return true;
}

bool Job::HasCues() const
{
    for (int index : copied_) {
        if (in_->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE)
            return true;
    }
    return false;
}

bool Job::SeekForAttempt(int attempt, bool *atFileStart)
{
    // How far before the start each attempt begins reading: the first lands on the
    // keyframe the container's index names; the rest cover long GOPs and streams muxed far
    // ahead of each other, and the last reads from the beginning.
    static const int64_t kBackUs[] = {0, 1000000, 3000000, 10000000, 30000000, 120000000};
    // A subtitle cue shown across the start was stored before it, and a demuxer that lands
    // on a keyframe skips what lies before: reading starts early enough for a cue's length.
    const int64_t targetUs = fileStartUs_ + args_.startUs - (HasCues() ? kCueLookBackUs : 0);
    const int count = static_cast<int>(sizeof kBackUs / sizeof kBackUs[0]);

    if (attempt < count && targetUs - kBackUs[attempt] > fileStartUs_) {
        if (SeekToKeyframeBefore(in_.get(), anchorInput_, targetUs - kBackUs[attempt]) >= 0) {
            *atFileStart = false;
            return true;
        }
        if (Stopped())
            return Fail("stopped");
        // An input that cannot seek (a pipe) is read from where it is, its beginning.
        if (attempt == 0) {
            *atFileStart = true;
            return true;
        }
    }
    *atFileStart = true;
    if (source_->AtBeginning())
        return true; // nothing read yet: the reader is still at the beginning
    // Reading from the beginning must see the input's first packet: a seek to the start time
    // lands past packets decoded before it (a transport stream's first keyframe), so the
    // input is opened again instead.
    std::string why;
    if (!source_->Reopen(&why))
        return Fail(Stopped() ? "stopped" : "cannot go back to the beginning of the input: " + why);
    in_.reset(source_->Context());
    return true;
}

bool Job::Copy()
{
    for (int index : copied_) {
        const AVStream *st = in_->streams[index];
        const TimeBase tb = st->time_base.num > 0 && st->time_base.den > 0 ? TimeBase{st->time_base.num, st->time_base.den}
                                                                           : TimeBase{1, AV_TIME_BASE};
        planner_.AddStream(tb, index == anchorInput_, IsSparseStream(st));
    }
    const int64_t targetUs = fileStartUs_ + args_.startUs;
    const int64_t endUs = args_.lengthUs ? targetUs + *args_.lengthUs : std::numeric_limits<int64_t>::max();
    planner_.SetRange(targetUs, endUs);
    planner_.SetOrdering(byDecodeOrder_ ? CutPlanner::Ordering::DecodeOrderOnly
                                        : CutPlanner::Ordering::PresentationTimestamps);
    const AVCodecParameters *anchorPar = in_->streams[anchorInput_]->codecpar;
    if (anchorPar->codec_type == AVMEDIA_TYPE_VIDEO)
        classifier_ = std::make_unique<PictureClassifier>(anchorPar);
    // Matroska, WebM and FLV start the pictures a few milliseconds after the sound (the sound
    // encoder's priming), so a keyframe on a whole second of the video's own clock shows at
    // 1.023 s or so. That lead, never more than a frame, is allowed after the start; anything
    // later goes back to the keyframe before, as asked.
    const AVStream *anchorStream = in_->streams[anchorInput_];
    const AVRational rate = anchorStream->avg_frame_rate;
    if (anchorPar->codec_type == AVMEDIA_TYPE_VIDEO && rate.num > 0 && rate.den > 0
        && anchorStream->start_time != AV_NOPTS_VALUE) {
        const int64_t videoLeadUs = av_rescale_q(anchorStream->start_time, anchorStream->time_base, AV_TIME_BASE_Q) - fileStartUs_;
        const int64_t frameUs = av_rescale(AV_TIME_BASE, rate.den, rate.num);
        planner_.SetKeyframeSlack(std::clamp<int64_t>(videoLeadUs, 0, frameUs - 1000));
    }
    if (anchorPar->codec_id == AV_CODEC_ID_MPEG1VIDEO || anchorPar->codec_id == AV_CODEC_ID_MPEG2VIDEO) {
        headers_ = std::make_unique<SequenceHeaderTracker>();
        // Until a header is read, the one the demuxer found at the file's beginning holds.
        headers_->SetInitial(anchorPar->extradata, anchorPar->extradata ? anchorPar->extradata_size : 0);
    }
    if (anchorPar->codec_id == AV_CODEC_ID_H264 && NalLengthSize(anchorPar) == 0) {
        parameterSets_ = std::make_unique<ParameterSetTracker>();
        parameterSets_->SetInitial(anchorPar->extradata, static_cast<size_t>(std::max(anchorPar->extradata_size, 0)));
    }
    if (anchorPar->codec_id == AV_CODEC_ID_MPEG2VIDEO && !byDecodeOrder_) {
        planner_.SetRecodesAcrossEnd(true);
        recoder_ = std::make_unique<TrailingPictureRecoder>(anchorPar);
    } else if (TrailingGroupRecoder::Supports(anchorStream)
               && (!byDecodeOrder_ || anchorPar->codec_id == AV_CODEC_ID_MPEG4)) {
        // Without presentation times (AVI) the order pictures show in is read from their
        // types, which MPEG-4 Part 2 tells plainly: its B-pictures are never referred to.
        planner_.SetRecodesAcrossEnd(true);
        groupRecoder_ = std::make_unique<TrailingGroupRecoder>();
    }
    planner_.SetClassifier([this](uint64_t id) { return Classify(id); });

    std::vector<PacketAction> actions;
    uint64_t nextId = 1;
    for (int attempt = 0;; ++attempt) {
        bool atFileStart = true;
        if (!SeekForAttempt(attempt, &atFileStart))
            return false;
        source_->MarkRead();
        planner_.Restart(atFileStart, actions);
        if (!Apply(actions))
            return false;

        CutPlanner::Verdict verdict = CutPlanner::Verdict::Continue;
        while (verdict == CutPlanner::Verdict::Continue) {
            if (Stopped())
                return Fail("stopped");
            PacketPtr pkt(av_packet_alloc());
            if (!pkt)
                return Fail("out of memory");
            const int r = ReadContinuousPacket(in_.get(), pkt.get());
            if (Stopped()) {
                // A stop can make a blocked read look like the end of the input.
                return Fail("stopped");
            } else if (r == AVERROR_EOF || r == AVERROR_INVALIDDATA) {
                // Damaged data at the end reads as the end, as players treat it.
                verdict = planner_.Finish(actions);
            } else if (r < 0) {
                return Fail(Stopped() ? "stopped" : "cannot read the input (" + AvErrorText(r) + ")");
            } else {
                const int out = pkt->stream_index >= 0 && pkt->stream_index < static_cast<int>(toOutput_.size())
                                    ? toOutput_[pkt->stream_index]
                                    : -1;
                if (out < 0)
                    continue;
                const uint64_t id = nextId++;
                PacketFacts facts;
                facts.stream = out;
                facts.pts = pkt->pts;
                facts.dts = pkt->dts;
                facts.duration = pkt->duration;
                facts.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
                const bool anchor = pkt->stream_index == anchorInput_;
                if (anchor) {
                    std::vector<uint8_t> headers = MissingHeaders(pkt.get(), facts.key);
                    if (!headers.empty())
                        headerFor_[id] = std::move(headers);
                }
                const bool prime = byDecodeOrder_ && facts.key && anchor;
                pending_.emplace(id, std::move(pkt));
                // Keyframes carry the sequence headers the parser needs to read later pictures.
                if (prime)
                    Classify(id);
                verdict = planner_.Push(id, facts, actions);
            }
            if (!Apply(actions))
                return false;
        }
        if (verdict == CutPlanner::Verdict::Failed)
            return Fail(planner_.Error());
        if (verdict == CutPlanner::Verdict::Done)
            return true;
        // SeekEarlier: go on with the next attempt.
    }
}

bool Job::CheckPiece()
{
    // What was copied can still come out unrecognisable (a damaged input's packets): read
    // the piece back as a player would before calling it done.
    const AVCodecParameters *anchor = in_->streams[anchorInput_]->codecpar;
    const int video = anchor->codec_type == AVMEDIA_TYPE_VIDEO ? anchor->codec_id : AV_CODEC_ID_NONE;
    std::string why;
    if (CheckWrittenPiece(args_.output, video, hooks_.stop, &why))
        return true;
    return Fail(Stopped() ? "stopped" : why);
}

CopyResult Job::Run()
{
    CopyResult result;
    struct stat st;
    if (::lstat(args_.output.c_str(), &st) == 0) {
        result.error = "the output file already exists: " + args_.output;
        return result;
    }
    // Whether the piece's first picture decodes is asked of the finished file (CheckPiece),
    // as a player reads it: decoding the packets a second time as they are written adds a
    // decoder per piece and finds nothing that reading back would not.
    bool copied = OpenInput() && OpenOutput() && Copy() && WriteTrailingGroup() && WriteHeader();
    if (copied && Stopped())
        copied = Fail("stopped");
    if (copied) {
        const int r = av_write_trailer(out_.get());
        if (r < 0)
            Fail(Stopped() ? "stopped" : "cannot finish the output (" + AvErrorText(r) + ")");
        else if (file_.Flush(&error_) && CheckPiece() && file_.Commit(&error_))
            result.ok = true;
    }
    if (!result.ok) {
        // The output context points at the file's I/O; let go of it before the file goes.
        out_.reset();
        file_.Discard();
        result.error = error_.empty() ? "failed" : error_;
    }
    result.seconds = planner_.WrittenSeconds();
    return result;
}

} // namespace

std::string AvErrorText(int err)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

int InterruptRequested(void *opaque)
{
    const auto *stop = static_cast<const volatile std::sig_atomic_t *>(opaque);
    return stop && *stop ? 1 : 0;
}

bool IsCopiedStream(const AVStream *st)
{
    return IsCopied(st);
}

const AVOutputFormat *PickCopyMuxer(const AVFormatContext *ic, const std::vector<int> &copied,
                                    const std::string &outputPath)
{
    return PickMuxer(ic, copied, outputPath);
}

bool MuxerCarriesGlobalHeaders(const AVOutputFormat *ofmt)
{
    return CarriesGlobalHeaders(ofmt);
}

int SetUpCopiedStream(const AVStream *ist, AVStream *ost, const AVOutputFormat *ofmt)
{
    return CopyStreamSetup(ist, ost, ofmt);
}

void FillInPresentationTimes(AVFormatContext *ic)
{
    const std::string name = ic->iformat->name;
    if (name == "mpeg" || name == "mpegts" || name == "mpegvideo")
        ic->flags |= AVFMT_FLAG_GENPTS;
}

void KeepDecodeTimesIncreasing(AVPacket *pkt, const AVOutputFormat *ofmt, int64_t *lastDts)
{
    const bool strict = !(ofmt->flags & AVFMT_TS_NONSTRICT);
    int64_t &last = *lastDts;
    // A damaged packet that lost both times (its PES header) follows the one before it. These
    // muxers cannot place a packet without them: the transport stream muxer guesses a decode
    // time no later packet passes, and refuses the rest of the piece.
    static constexpr const char *kTimedMuxers[] = {"mpegts", "matroska", "webm", "mp4", "mov", "3gp", "ipod", "flv"};
    const auto needsTimes = [ofmt] {
        return std::any_of(std::begin(kTimedMuxers), std::end(kTimedMuxers),
                           [ofmt](const char *name) { return std::strcmp(name, ofmt->name) == 0; });
    };
    if (pkt->dts == AV_NOPTS_VALUE && pkt->pts == AV_NOPTS_VALUE && last != AV_NOPTS_VALUE && needsTimes()) {
        pkt->dts = strict ? last + 1 : last;
        pkt->pts = pkt->dts;
    }
    // A picture is never decoded after it shows: a damaged packet's decode time is taken back
    // to its showing time, which muxers accept.
    if (pkt->dts != AV_NOPTS_VALUE && pkt->pts != AV_NOPTS_VALUE && pkt->dts > pkt->pts)
        pkt->dts = pkt->pts;
    if (pkt->dts != AV_NOPTS_VALUE && last != AV_NOPTS_VALUE && (strict ? pkt->dts <= last : pkt->dts < last)) {
        pkt->dts = strict ? last + 1 : last;
        if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < pkt->dts)
            pkt->pts = pkt->dts;
    }
    if (pkt->dts != AV_NOPTS_VALUE)
        last = pkt->dts;
}

CopyResult RunStreamCopy(const CopyRequest &args, const CopyHooks &hooks)
{
    if (args.exact) {
        ExactCutResult exact = RunExactCut(args, hooks);
        if (exact.outcome == ExactCutResult::Outcome::Written)
            return CopyResult{true, std::string(), exact.seconds};
        if (exact.outcome == ExactCutResult::Outcome::Failed)
            return CopyResult{false, exact.error, 0.0, exact.pastTheEnd};
        if (exact.outcome == ExactCutResult::Outcome::CannotBeExact && hooks.note)
            hooks.note(exact.error);
        // OnKeyframe: the plain copy below already starts on the asked picture.
    }
    Job job(args, hooks, nullptr);
    return job.Run();
}

CopyResult RunStreamCopy(const CopyRequest &args, const CopyHooks &hooks, CopySource &source)
{
    if (args.exact)
        return RunStreamCopy(args, hooks);
    Job job(args, hooks, &source);
    return job.Run();
}

} // namespace kc::fileencoder
