#include "trailingrecode.h"

#include "exactpicture.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace kc::fileencoder {

namespace {

void FreePacket(AVPacket *p)
{
    av_packet_free(&p);
}

using Packet = std::unique_ptr<AVPacket, void (*)(AVPacket *)>;

Packet NewPacket(const uint8_t *a, size_t aSize, const uint8_t *b, size_t bSize)
{
    Packet p(av_packet_alloc(), &FreePacket);
    if (!p || av_new_packet(p.get(), static_cast<int>(aSize + bSize)) < 0)
        return Packet(nullptr, &FreePacket);
    if (aSize)
        std::memcpy(p->data, a, aSize);
    if (bSize)
        std::memcpy(p->data + aSize, b, bSize);
    return p;
}

// The picture header's coding type (1 I, 2 P, 3 B) and temporal reference; 0 when none.
int PictureType(const AVPacket *pkt, int *temporalReference)
{
    const uint8_t *d = pkt->data;
    for (int i = 0; i + 5 < pkt->size; ++i) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0) {
            *temporalReference = (d[i + 4] << 2) | (d[i + 5] >> 6);
            return (d[i + 5] >> 3) & 7;
        }
    }
    return 0;
}

} // namespace

struct TrailingPictureRecoder::Kept {
    Packet pkt{nullptr, &FreePacket};
    bool written = false;
    int type = 0;
    int temporalReference = 0;
};

TrailingPictureRecoder::TrailingPictureRecoder(const AVCodecParameters *par) : par_(avcodec_parameters_alloc())
{
    // A copy: the reader the parameters came from is opened anew when a piece has to be
    // read from the input's beginning.
    if (par_ && avcodec_parameters_copy(par_, par) < 0)
        avcodec_parameters_free(&par_);
}

TrailingPictureRecoder::~TrailingPictureRecoder()
{
    av_frame_free(&lastNew_);
    avcodec_parameters_free(&par_);
}

void TrailingPictureRecoder::Keep(const AVPacket *pkt, bool written, const std::vector<uint8_t> &headerBefore)
{
    if (written && (pkt->flags & AV_PKT_FLAG_KEY)) {
        kept_.clear();
        written_.clear();
        writtenPts_.clear();
        av_frame_free(&lastNew_);
        nextTemporalReference_ = -1;
        incomplete_ = false;
    }
    Kept k;
    // A reference to the packet's data, not a copy: this runs for every picture of a piece.
    if (headerBefore.empty()) {
        k.pkt = Packet(av_packet_alloc(), &FreePacket);
        if (!k.pkt || av_packet_ref(k.pkt.get(), pkt) < 0) {
            incomplete_ = true; // out of memory: a later recode says so
            return;
        }
    } else {
        k.pkt = NewPacket(headerBefore.data(), headerBefore.size(), pkt->data, static_cast<size_t>(pkt->size));
        if (!k.pkt || av_packet_copy_props(k.pkt.get(), pkt) < 0) {
            incomplete_ = true;
            return;
        }
    }
    k.written = written;
    k.type = PictureType(pkt, &k.temporalReference);
    kept_.push_back(std::move(k));
}

// Decodes the kept packets (those written, or all) and then extra ones, and returns a copy
// of the picture shown at pts, or nullptr; withVectors: with the motion vectors it was
// decoded with.
static AVFrame *DecodePicture(const AVCodecParameters *par, const std::vector<const AVPacket *> &packets, int64_t pts,
                              bool withVectors = false)
{
    const AVCodec *codec = par ? avcodec_find_decoder(par->codec_id) : nullptr;
    if (!codec)
        return nullptr;
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    AVFrame *frame = av_frame_alloc();
    AVFrame *found = nullptr;
    if (ctx && frame && avcodec_parameters_to_context(ctx, par) >= 0) {
        ctx->thread_count = 1;
        if (withVectors)
            ctx->export_side_data |= AV_CODEC_EXPORT_DATA_MVS;
        if (avcodec_open2(ctx, codec, nullptr) >= 0) {
            const auto drain = [&] {
                while (avcodec_receive_frame(ctx, frame) >= 0) {
                    const int64_t at = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
                    if (at == pts && !found)
                        found = av_frame_clone(frame);
                    av_frame_unref(frame);
                }
            };
            for (const AVPacket *p : packets) {
                // No picture refers to a bidirectional one: only the wanted one is decoded.
                int temporalReference = 0;
                if (p->pts != pts && PictureType(p, &temporalReference) == 3)
                    continue;
                if (avcodec_send_packet(ctx, p) < 0)
                    break;
                drain();
            }
            avcodec_send_packet(ctx, nullptr);
            drain();
        }
    }
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return found;
}

AVFrame *TrailingPictureRecoder::DecodeWith(const std::vector<const AVPacket *> &extra, int64_t pts)
{
    std::vector<const AVPacket *> packets;
    for (const Kept &k : kept_) {
        if (k.written)
            packets.push_back(k.pkt.get());
    }
    std::vector<Packet> fresh;
    for (size_t i = 0; i < written_.size(); ++i) {
        fresh.push_back(NewPacket(written_[i].data(), written_[i].size(), nullptr, 0));
        if (!fresh.back())
            return nullptr;
        fresh.back()->pts = fresh.back()->dts = writtenPts_[i];
        packets.push_back(fresh.back().get());
    }
    packets.insert(packets.end(), extra.begin(), extra.end());
    return DecodePicture(par_, packets, pts);
}

std::unique_ptr<AVPacket, void (*)(AVPacket *)> TrailingPictureRecoder::Recode(const AVPacket *pkt,
                                                                             const std::vector<uint8_t> &sequenceHeader,
                                                                             std::string *why)
{
    Packet none(nullptr, &FreePacket);
    if (incomplete_ || kept_.empty() || !(kept_.front().pkt->flags & AV_PKT_FLAG_KEY)) {
        *why = "the GOP before the end was not read from its keyframe";
        return none;
    }
    // What the picture shows: decoded with everything it refers to.
    std::vector<const AVPacket *> all;
    for (const Kept &k : kept_)
        all.push_back(k.pkt.get());
    all.push_back(pkt);
    std::unique_ptr<AVFrame, void (*)(AVFrame *)> target(DecodePicture(par_, all, pkt->pts, true),
                                                         [](AVFrame *f) { av_frame_free(&f); });
    // What it may refer to instead: the last new picture, or the piece's last reference.
    const Kept *lastReference = nullptr;
    for (const Kept &k : kept_) {
        if (k.written && (k.type == 1 || k.type == 2))
            lastReference = &k;
    }
    std::unique_ptr<AVFrame, void (*)(AVFrame *)> reference(
        lastNew_ ? av_frame_clone(lastNew_) : lastReference ? DecodeWith({}, lastReference->pkt->pts) : nullptr,
        [](AVFrame *f) { av_frame_free(&f); });
    if (!target || !reference) {
        *why = "the pictures at the end do not decode";
        return none;
    }
    // The picture's own vectors point into its past reference: of use only while the new
    // picture refers to that same picture, not to a picture written anew before it.
    if (lastNew_)
        av_frame_remove_side_data(target.get(), AV_FRAME_DATA_MOTION_VECTORS);

    PictureTiming timing;
    if (!ReadPictureTiming(pkt->data, static_cast<size_t>(pkt->size), &timing)) {
        *why = "the picture at the end has no picture header";
        return none;
    }
    // It now belongs to the GOP before: its place there follows the last reference's.
    if (nextTemporalReference_ < 0)
        nextTemporalReference_ = lastReference ? lastReference->temporalReference + 1 : 0;
    timing.temporalReference = nextTemporalReference_++;

    const auto decode = [&](const std::vector<uint8_t> &picture) -> AVFrame * {
        Packet candidate = NewPacket(picture.data(), picture.size(), nullptr, 0);
        if (!candidate)
            return nullptr;
        candidate->pts = candidate->dts = pkt->pts;
        return DecodeWith({candidate.get()}, pkt->pts);
    };
    ExactnessStats stats;
    std::vector<uint8_t> bits = EncodeExactPicture(sequenceHeader, target.get(), reference.get(), timing, decode, &stats, why);
    if (bits.empty())
        return none;
    AVFrame *shown = decode(bits);
    if (!shown) {
        *why = "the new picture does not decode";
        return none;
    }
    av_frame_free(&lastNew_);
    lastNew_ = shown;
    macroblocks_ += stats.macroblocks;
    inexact_ += stats.inexact;
    Packet out = NewPacket(bits.data(), bits.size(), nullptr, 0);
    if (!out || av_packet_copy_props(out.get(), pkt) < 0) {
        *why = "out of memory";
        return none;
    }
    out->flags &= ~AV_PKT_FLAG_KEY;
    written_.push_back(std::move(bits));
    writtenPts_.push_back(pkt->pts);
    return out;
}

} // namespace kc::fileencoder
