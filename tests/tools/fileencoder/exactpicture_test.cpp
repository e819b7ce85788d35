// The picture that stands in for one whose reference a piece cannot carry: decoded where it
// stands, it must give back the samples it was made from (off by one at most where a
// macroblock has no exact coding).
#include "exactpicture.h"
#include "support/clips.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/md5.h>
}

namespace fe = kc::fileencoder;

namespace {

struct Decoded {
    std::vector<uint8_t> sequenceHeader;
    std::vector<uint8_t> firstPicture; // the first packet, from its first picture on
    std::vector<AVFrame *> frames;
    ~Decoded()
    {
        for (AVFrame *f : frames)
            av_frame_free(&f);
    }
};

// Every picture of an MPEG-2 elementary stream, and its first sequence header.
void DecodeAll(const std::string &path, Decoded *out)
{
    AVFormatContext *ic = nullptr;
    ASSERT_GE(avformat_open_input(&ic, path.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(ic, nullptr), 0);
    const AVCodec *codec = avcodec_find_decoder(ic->streams[0]->codecpar->codec_id);
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, ic->streams[0]->codecpar);
    ASSERT_GE(avcodec_open2(ctx, codec, nullptr), 0);
    AVPacket *pkt = av_packet_alloc();
    const auto drain = [&] {
        for (;;) {
            AVFrame *f = av_frame_alloc();
            if (avcodec_receive_frame(ctx, f) < 0) {
                av_frame_free(&f);
                return;
            }
            out->frames.push_back(f);
        }
    };
    while (av_read_frame(ic, pkt) >= 0) {
        if (out->sequenceHeader.empty()) {
            // Up to the first picture start code.
            for (int i = 0; i + 3 < pkt->size; ++i) {
                if (pkt->data[i] == 0 && pkt->data[i + 1] == 0 && pkt->data[i + 2] == 1 && (pkt->data[i + 3] == 0 || pkt->data[i + 3] == 0xB8)) {
                    out->sequenceHeader.assign(pkt->data, pkt->data + i);
                    out->firstPicture.assign(pkt->data + i, pkt->data + pkt->size);
                    break;
                }
            }
        }
        avcodec_send_packet(ctx, pkt);
        av_packet_unref(pkt);
        drain();
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    avformat_close_input(&ic);
}

std::string Md5(const AVFrame *f, int chromaHeight)
{
    AVMD5 *md5 = av_md5_alloc();
    av_md5_init(md5);
    const int widths[3] = {f->width, (f->width + 1) / 2, (f->width + 1) / 2};
    const int heights[3] = {f->height, chromaHeight, chromaHeight};
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < heights[p]; ++y)
            av_md5_update(md5, f->data[p] + y * f->linesize[p], widths[p]);
    uint8_t sum[16];
    av_md5_final(md5, sum);
    av_free(md5);
    char text[33];
    for (int i = 0; i < 16; ++i)
        snprintf(text + 2 * i, 3, "%02x", sum[i]);
    return text;
}

// Decodes pictures, one packet each, and returns the last.
AVFrame *DecodeLast(const std::vector<std::vector<uint8_t>> &packets)
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    avcodec_open2(ctx, codec, nullptr);
    AVPacket *pkt = av_packet_alloc();
    AVFrame *last = nullptr;
    for (const auto &stream : packets) {
        av_new_packet(pkt, static_cast<int>(stream.size()));
        memcpy(pkt->data, stream.data(), stream.size());
        avcodec_send_packet(ctx, pkt);
        av_packet_unref(pkt);
    }
    avcodec_send_packet(ctx, nullptr);
    for (;;) {
        AVFrame *f = av_frame_alloc();
        if (avcodec_receive_frame(ctx, f) < 0) {
            av_frame_free(&f);
            break;
        }
        av_frame_free(&last);
        last = f;
    }
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return last;
}

std::vector<uint8_t> Joined(std::initializer_list<const std::vector<uint8_t> *> parts)
{
    std::vector<uint8_t> all;
    for (const auto *p : parts)
        all.insert(all.end(), p->begin(), p->end());
    return all;
}

} // namespace

TEST(ExactPicture, DecodesToTheSamplesItWasMadeFrom)
{
    const struct {
        const char *name;
        const char *size;
        const char *pixelFormat;
        std::vector<const char *> extra;
    } cases[] = {
        {"4:2:0 progressive", "320x240", "yuv420p", {}},
        {"size not a multiple of 16", "200x120", "yuv420p", {}},
        {"4:2:2 interlaced", "352x288", "yuv422p", {"-flags", "+ilme+ildct", "-top", "1"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("clip.m2v"));
        QStringList args = {"-v", "error", "-f", "lavfi", "-i", QStringLiteral("testsrc2=s=%1:r=25").arg(c.size), "-t", "0.4",
                            "-pix_fmt", c.pixelFormat, "-c:v", "mpeg2video", "-bf", "2", "-g", "6"};
        for (const char *a : c.extra)
            args << a;
        args << path;
        int code = -1;
        QString err;
        kc::test::RunTool(QStringLiteral("ffmpeg"), args, &code, &err);
        ASSERT_EQ(code, 0) << err.toStdString();

        Decoded d;
        DecodeAll(path.toStdString(), &d);
        ASSERT_GE(d.frames.size(), 3u);
        ASSERT_FALSE(d.sequenceHeader.empty());
        // A bidirectional picture, the kind that needs replacing, as a picture predicted from
        // the intra picture before it.
        const AVFrame *b = d.frames[1];
        const int chromaHeight = b->format == AV_PIX_FMT_YUV422P ? b->height : (b->height + 1) / 2;
        fe::PictureTiming timing;
        timing.progressiveFrame = std::string(c.name).find("interlaced") == std::string::npos;
        timing.chroma420Type = timing.progressiveFrame;
        timing.topFieldFirst = !timing.progressiveFrame;
        // It follows the stream's first (intra) picture.
        const auto decode = [&](const std::vector<uint8_t> &picture) {
            return DecodeLast({Joined({&d.sequenceHeader, &d.firstPicture}), picture});
        };
        std::string why;
        fe::ExactnessStats stats;
        const std::vector<uint8_t> picture
            = fe::EncodeExactPicture(d.sequenceHeader, b, d.frames[0], timing, decode, &stats, &why);
        ASSERT_FALSE(picture.empty()) << why;
        AVFrame *out = decode(picture);
        ASSERT_NE(out, nullptr);
        // Where a macroblock has no exact coding, its samples are off by one at most.
        EXPECT_EQ(stats.macroblocks, (b->width + 15) / 16 * ((b->height + 15) / 16));
        int worst = 0;
        long off = 0, all = 0;
        for (int p = 0; p < 3; ++p) {
            const int w = p ? (b->width + 1) / 2 : b->width;
            const int h = p ? chromaHeight : b->height;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int d = std::abs(out->data[p][y * out->linesize[p] + x] - b->data[p][y * b->linesize[p] + x]);
                    worst = std::max(worst, d);
                    off += d != 0;
                    ++all;
                }
        }
        EXPECT_LE(worst, 1);
        EXPECT_LT(off * 20, all) << off << " of " << all << " samples differ";
        if (stats.inexact == 0) {
            EXPECT_EQ(Md5(out, chromaHeight), Md5(b, chromaHeight));
        }
        av_frame_free(&out);
    }
}
