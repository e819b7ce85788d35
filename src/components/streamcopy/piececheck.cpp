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
    if (avformat_find_stream_info(ic, nullptr) < 0) {
        *why = "the streams of the piece written cannot be read back";
        return false;
    }
    if (expectedVideoCodec == AV_CODEC_ID_NONE)
        return true;

    const int video = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0 || ic->streams[video]->codecpar->codec_id != expectedVideoCodec) {
        const AVCodecDescriptor *d = avcodec_descriptor_get(static_cast<AVCodecID>(expectedVideoCodec));
        *why = std::string("a player would not recognise the ") + (d ? d->name : "video")
               + " video of the piece written from this input";
        return false;
    }
    DecodeCheck check;
    if (!check.Open(ic->streams[video]->codecpar, true))
        return true; // no decoder here to tell; the copy itself went right
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    if (!pkt) {
        *why = "out of memory";
        return false;
    }
    while (check.Active()) {
        if (av_read_frame(ic, pkt.get()) < 0)
            break;
        const bool ours = pkt->stream_index == video;
        const bool fed = !ours || check.Feed(pkt.get(), why);
        av_packet_unref(pkt.get());
        if (!fed)
            return false;
    }
    return check.Finish(why);
}

} // namespace kc::fileencoder
