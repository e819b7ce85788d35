#include "streamselection.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace kc::fileencoder {

namespace {

bool IsOneOf(const char *name, std::initializer_list<const char *> names)
{
    for (const char *n : names) {
        if (std::strcmp(name, n) == 0)
            return true;
    }
    return false;
}

// Subtitle codecs of the muxers that cannot tell by themselves (they have no codec table
// to ask).
bool SubtitleFits(const AVOutputFormat *ofmt, AVCodecID id)
{
    if (IsOneOf(ofmt->name, {"vob", "dvd", "svcd", "mpeg"}))
        return id == AV_CODEC_ID_DVD_SUBTITLE;
    if (IsOneOf(ofmt->name, {"mpegts"}))
        return id == AV_CODEC_ID_DVB_SUBTITLE || id == AV_CODEC_ID_DVB_TELETEXT;
    // AVI, FLV and ASF have no agreed place for subtitles; players ignore what FFmpeg would
    // put there.
    if (IsOneOf(ofmt->name, {"avi", "flv", "asf", "asf_stream"}))
        return false;
    return avformat_query_codec(ofmt, id, FF_COMPLIANCE_NORMAL) == 1;
}

bool AttachmentFits(const AVOutputFormat *ofmt, const AVStream *st)
{
    // Only Matroska stores attached files (WebM, its subset, refuses them); it needs to know
    // the file's type.
    return std::strcmp(ofmt->name, "matroska") == 0
           && (st->codecpar->codec_id != AV_CODEC_ID_NONE || av_dict_get(st->metadata, "mimetype", nullptr, 0));
}

std::string KindName(const AVStream *st)
{
    switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO: return "video";
    case AVMEDIA_TYPE_AUDIO: return "sound";
    case AVMEDIA_TYPE_SUBTITLE: return "subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "attached file";
    default: return "data";
    }
}

// Whether a sound stream's format (rate, channels) is known. A Blu-ray TrueHD track shows
// up with a second stream for the AC-3 core it may carry; without one, that stream has no
// format, and muxers refuse it.
bool HasReadableSound(const AVCodecParameters *par)
{
    return par->codec_id != AV_CODEC_ID_NONE && par->sample_rate > 0 && par->ch_layout.nb_channels > 0;
}

} // namespace

bool IsPieceStream(const AVStream *st)
{
    const AVCodecParameters *par = st->codecpar;
    switch (par->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        return par->codec_id != AV_CODEC_ID_NONE && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
    case AVMEDIA_TYPE_AUDIO:
        return HasReadableSound(par);
    case AVMEDIA_TYPE_SUBTITLE:
        return par->codec_id != AV_CODEC_ID_NONE;
    case AVMEDIA_TYPE_ATTACHMENT:
        return par->extradata && par->extradata_size > 0;
    default:
        return false;
    }
}

bool ContainerCarries(const AVOutputFormat *ofmt, const AVStream *st)
{
    switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
    case AVMEDIA_TYPE_AUDIO:
        return true;
    case AVMEDIA_TYPE_SUBTITLE:
        return SubtitleFits(ofmt, st->codecpar->codec_id);
    case AVMEDIA_TYPE_ATTACHMENT:
        return AttachmentFits(ofmt, st);
    default:
        return false;
    }
}

StreamSelection SelectCarriedStreams(const AVFormatContext *ic, const std::vector<int> &candidates,
                                     const AVOutputFormat *ofmt)
{
    StreamSelection s;
    for (int index : candidates) {
        const AVStream *st = ic->streams[index];
        if (ContainerCarries(ofmt, st)) {
            s.copied.push_back(index);
            continue;
        }
        const AVCodecDescriptor *d = avcodec_descriptor_get(st->codecpar->codec_id);
        std::string what = KindName(st) + " stream " + std::to_string(index);
        if (d)
            what += " (" + std::string(d->name) + ")";
        s.notes.push_back("the " + std::string(ofmt->name) + " container cannot carry the " + what + "; it is left out");
    }
    return s;
}

bool IsSparseStream(const AVStream *st)
{
    return st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE || st->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT;
}

} // namespace kc::fileencoder
