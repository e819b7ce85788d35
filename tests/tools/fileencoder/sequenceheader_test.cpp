#include "decodecheck.h"
#include "sequenceheader.h"

#include "support/clips.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace fe = kc::fileencoder;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A 352x288, 25 fps sequence header, its sequence extension and display extension, a GOP
// header and the start of a picture.
const Bytes kSequence = {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20, 0x13, 0x04, 0xE2, 0x23, 0x80};
const Bytes kSequenceExtension = {0x00, 0x00, 0x01, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00};
const Bytes kDisplayExtension = {0x00, 0x00, 0x01, 0xB5, 0x23, 0x05, 0x05, 0x05, 0x05, 0x82, 0x09, 0x00};
const Bytes kUserData = {0x00, 0x00, 0x01, 0xB2, 'k', 'c'};
const Bytes kGop = {0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x40};
const Bytes kPicture = {0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF, 0xF8, 0x00, 0x00, 0x01, 0x01, 0x22};
const Bytes kSequenceEnd = {0x00, 0x00, 0x01, 0xB7};

} // namespace

TEST(FileEncoderSequenceHeader, TakesTheHeaderWithItsExtensionsFromThePacketStart)
{
    const struct {
        const char *what;
        Bytes packet;
        Bytes header;
    } cases[] = {
        {"header, extensions, GOP, picture", Cat({kSequence, kSequenceExtension, kDisplayExtension, kGop, kPicture}),
         Cat({kSequence, kSequenceExtension, kDisplayExtension})},
        {"MPEG-1: header and user data, then the picture", Cat({kSequence, kUserData, kPicture}),
         Cat({kSequence, kUserData})},
        {"after the previous sequence's end", Cat({kSequenceEnd, kSequence, kSequenceExtension, kGop, kPicture}),
         Cat({kSequence, kSequenceExtension})},
        {"a global header alone", Cat({kSequence, kSequenceExtension}), Cat({kSequence, kSequenceExtension})},
        {"GOP without a header", Cat({kGop, kPicture}), {}},
        {"picture alone", kPicture, {}},
        {"a header cut short", Bytes(kSequence.begin(), kSequence.begin() + 8), {}},
        {"no start code", {0x12, 0x34, 0x56, 0x78, 0x9A}, {}},
        {"empty", {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fe::SequenceHeaderTracker::HeaderAtStart(c.packet.data(), c.packet.size()), c.header);
    }
}

TEST(FileEncoderSequenceHeader, TheLastHeaderReadStaysInForce)
{
    fe::SequenceHeaderTracker tracker;
    const Bytes global = Cat({kSequence, kSequenceExtension});
    tracker.SetInitial(global.data(), global.size());
    EXPECT_EQ(tracker.InForce(), global);

    const Bytes gop = Cat({kGop, kPicture});
    EXPECT_FALSE(tracker.Observe(gop.data(), gop.size()));
    EXPECT_EQ(tracker.InForce(), global);

    const Bytes withDisplay = Cat({kSequence, kSequenceExtension, kDisplayExtension, kGop, kPicture});
    EXPECT_TRUE(tracker.Observe(withDisplay.data(), withDisplay.size()));
    EXPECT_EQ(tracker.InForce(), Cat({kSequence, kSequenceExtension, kDisplayExtension}));
    EXPECT_FALSE(tracker.Observe(gop.data(), gop.size()));
    EXPECT_EQ(tracker.InForce(), Cat({kSequence, kSequenceExtension, kDisplayExtension}));
}

namespace {

struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

struct Stream {
    std::unique_ptr<AVCodecParameters, void (*)(AVCodecParameters *)> par{nullptr, [](AVCodecParameters *p) {
                                                                              avcodec_parameters_free(&p);
                                                                          }};
    std::vector<PacketPtr> packets;
};

// The video packets of an MPEG-2 elementary stream from its second GOP on, each without the
// sequence header ffmpeg writes before every GOP: a piece cut from the middle of a file
// that states the header once.
Stream HeaderlessMiddle(const QString &path)
{
    Stream s;
    AVFormatContext *ic = nullptr;
    if (avformat_open_input(&ic, path.toLocal8Bit().constData(), nullptr, nullptr) < 0)
        return s;
    if (avformat_find_stream_info(ic, nullptr) >= 0) {
        s.par.reset(avcodec_parameters_alloc());
        avcodec_parameters_copy(s.par.get(), ic->streams[0]->codecpar);
        int keyframes = 0;
        PacketPtr pkt(av_packet_alloc());
        while (av_read_frame(ic, pkt.get()) >= 0) {
            if (pkt->flags & AV_PKT_FLAG_KEY)
                ++keyframes;
            if (keyframes >= 2) {
                const Bytes header = fe::SequenceHeaderTracker::HeaderAtStart(pkt->data, pkt->size);
                PacketPtr bare(av_packet_alloc());
                av_new_packet(bare.get(), pkt->size - static_cast<int>(header.size()));
                std::copy(pkt->data + header.size(), pkt->data + pkt->size, bare->data);
                av_packet_copy_props(bare.get(), pkt.get());
                s.packets.push_back(std::move(bare));
            }
            av_packet_unref(pkt.get());
        }
    }
    avformat_close_input(&ic);
    return s;
}

} // namespace

TEST(FileEncoderDecodeCheck, RefusesVideoThatCannotBeDecodedFromItsFirstPicture)
{
    // The decoder's complaints about the headerless cases are expected.
    av_log_set_level(AV_LOG_QUIET);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("clip.m2v"));
    int code = -1;
    QString err;
    kc::test::RunTool(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                       QStringLiteral("-i"), QStringLiteral("testsrc2=size=176x144:rate=25:duration=4"),
                       QStringLiteral("-c:v"), QStringLiteral("mpeg2video"), QStringLiteral("-g"),
                       QStringLiteral("12"), QStringLiteral("-bf"), QStringLiteral("2"), path},
                      &code, &err);
    ASSERT_EQ(code, 0) << err.toStdString();
    const Stream s = HeaderlessMiddle(path);
    ASSERT_TRUE(s.par);
    ASSERT_GT(s.packets.size(), static_cast<size_t>(fe::DecodeCheck::kPacketLimit));
    const Bytes header = fe::SequenceHeaderTracker::HeaderAtStart(s.par->extradata, s.par->extradata_size);
    ASSERT_FALSE(header.empty());

    const struct {
        const char *what;
        bool withExtradata; // the container carries the global header
        bool prependHeader; // the header in force goes before the first picture
        size_t packets;
        bool decodes;
    } cases[] = {
        {"a program stream without the header", false, false, 3, false},
        {"a program stream without the header, many packets", false, false, 200, false},
        {"the header before the first picture", false, true, 3, true},
        {"a container that carries the global header", true, false, 3, true},
        {"the first picture alone", false, true, 1, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fe::DecodeCheck check;
        ASSERT_TRUE(check.Open(s.par.get(), c.withExtradata));
        std::string why;
        bool ok = true;
        for (size_t i = 0; i < c.packets && i < s.packets.size() && ok; ++i) {
            const AVPacket *pkt = s.packets[i].get();
            PacketPtr joined;
            if (i == 0 && c.prependHeader) {
                joined.reset(av_packet_alloc());
                av_new_packet(joined.get(), pkt->size + static_cast<int>(header.size()));
                std::copy(header.begin(), header.end(), joined->data);
                std::copy(pkt->data, pkt->data + pkt->size, joined->data + header.size());
                pkt = joined.get();
            }
            ok = check.Feed(pkt, &why);
        }
        ok = ok && check.Finish(&why);
        EXPECT_EQ(ok, c.decodes) << why;
        if (!c.decodes) {
            EXPECT_FALSE(why.empty());
            EXPECT_EQ(why.find('\n'), std::string::npos);
        }
    }
}
