#include "piececheck.h"

#include "decodecheck.h"

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace kc::fileencoder {

namespace {

int InterruptRequested(void *opaque)
{
    const auto *stop = static_cast<const volatile std::sig_atomic_t *>(opaque);
    return stop && *stop ? 1 : 0;
}

struct InputClose {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
// Sound and other streams may come first in a piece; this many packets without any video
// means a player would find none.
constexpr int kPacketsBeforeVideo = 2000;

// MPEG-1 and MPEG-2 video share one stream id and one decoder; a program stream read
// without a probe names both MPEG-2 until its pictures are parsed.
bool SameVideoCodec(int found, int expected)
{
    const auto mpeg = [](int id) { return id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO; };
    return found == expected || (mpeg(found) && mpeg(expected));
}

struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

} // namespace

bool CheckWrittenPiece(const std::string &path, int expectedVideoCodec, const volatile std::sig_atomic_t *stop,
                       std::string *why)
{
    AVFormatContext *ic = avformat_alloc_context();
    if (!ic) {
        *why = "out of memory";
        return false;
    }
    ic->interrupt_callback.callback = &InterruptRequested;
    ic->interrupt_callback.opaque = const_cast<std::sig_atomic_t *>(stop);
    const std::string url = "file:" + path;
    if (avformat_open_input(&ic, url.c_str(), nullptr, nullptr) < 0) {
        *why = "the piece written cannot be read back as a media file";
        return false;
    }
    std::unique_ptr<AVFormatContext, InputClose> in(ic);
    if (expectedVideoCodec == AV_CODEC_ID_NONE) {
        if (avformat_find_stream_info(ic, nullptr) >= 0)
            return true;
        *why = "the streams of the piece written cannot be read back";
        return false;
    }

    // The packets are read as they come, without probing the streams first: a probe decodes
    // and analyses a second or more of every piece, while a player's first picture needs only
    // what the container and the piece's first packets carry.
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    if (!pkt) {
        *why = "out of memory";
        return false;
    }
    const auto unrecognised = [&] {
        const AVCodecDescriptor *d = avcodec_descriptor_get(static_cast<AVCodecID>(expectedVideoCodec));
        *why = std::string("a player would not recognise the ") + (d ? d->name : "video")
               + " video of the piece written from this input";
        return false;
    };
    DecodeCheck check;
    int video = -1;
    // Containers with a header name their streams at once; the others as packets come.
    const auto findVideo = [&] {
        const int best = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (best < 0)
            return true;
        const int found = ic->streams[best]->codecpar->codec_id;
        // A stream whose codec is still being probed from its first packets (a program
        // stream without a stream map) is told once those packets come.
        if (found == AV_CODEC_ID_NONE)
            return true;
        if (!SameVideoCodec(found, expectedVideoCodec))
            return false;
        video = best;
        return true;
    };
    if (!findVideo())
        return unrecognised();
    if (video >= 0 && !check.Open(ic->streams[video]->codecpar, true))
        return true; // no decoder here to tell; the copy itself went right
    for (int read = 0; video < 0 || check.Active(); ++read) {
        if (video < 0 && read >= kPacketsBeforeVideo)
            return unrecognised();
        const int r = av_read_frame(ic, pkt.get());
        if (r < 0) {
            if (video < 0)
                return unrecognised();
            break;
        }
        if (video < 0) {
            if (!findVideo()) {
                av_packet_unref(pkt.get());
                return unrecognised();
            }
            if (video >= 0 && !check.Open(ic->streams[video]->codecpar, true)) {
                av_packet_unref(pkt.get());
                return true;
            }
        }
        const bool fed = pkt->stream_index != video || check.Feed(pkt.get(), why);
        av_packet_unref(pkt.get());
        if (!fed)
            return false;
    }
    return check.Finish(why);
}

} // namespace kc::fileencoder
