// How the output properties become encoder and muxer settings.
#include "components/videoedit/outputplan.h"

#include <gtest/gtest.h>

using namespace kc;

namespace {

MediaFacts Source640()
{
    MediaFacts f;
    f.readable = true;
    f.duration = 10;
    f.hasVideo = f.hasAudio = true;
    f.width = 640;
    f.height = 480;
    f.frameRate = 25;
    f.sampleRate = 48000;
    f.channels = 6;
    return f;
}

const QList<AviVideoChoice> kVideo{
    {"mpeg4", {{QStringLiteral("quality"), QString(), 1, 100, 100}, {QStringLiteral("gop"), QString(), 1, 600, 30}}},
    {"dvvideo", {}},
    {"libx264", {{QStringLiteral("quality"), QString(), 1, 100, 80}}},
};
const QList<QByteArray> kAudio{"pcm_s16le", "libmp3lame", "mp2", "libgsm_ms"};

OutputPlan Plan(const OutputSettings &s, const MediaFacts &src = Source640())
{
    OutputPlan p;
    QString error;
    EXPECT_TRUE(PlanOutput(s, kVideo, kAudio, src, &p, &error)) << error.toStdString();
    return p;
}

TEST(VideoEditPlan, DiscTypesIgnoreTheFreeSettings)
{
    OutputSettings s;
    s.width = 100;
    s.height = 100;
    s.frameRate = 12;
    s.mpegVideoBitrate = 500000;
    struct Want {
        int type;
        const char *muxer, *venc, *aenc;
        int w, h, rateNum, packet;
        int64_t bitrate, maxrate, minrate, bufsize, audioBitrate;
        int sampleRate, gop;
    };
    const Want wants[] = {
        {0, "vcd", "mpeg1video", "mp2", 352, 288, 25, 2324, 1150000, 1150000, 1150000, 327680, 224000, 44100, 15},
        {1, "vcd", "mpeg1video", "mp2", 352, 240, 30000, 2324, 1150000, 1150000, 1150000, 327680, 224000, 44100, 18},
        {2, "svcd", "mpeg2video", "mp2", 480, 576, 25, 2324, 2040000, 2516000, 0, 1835008, 224000, 44100, 15},
        {3, "svcd", "mpeg2video", "mp2", 480, 480, 30000, 2324, 2040000, 2516000, 0, 1835008, 224000, 44100, 18},
        {4, "dvd", "mpeg2video", "ac3", 720, 576, 25, 2048, 6000000, 9000000, 0, 1835008, 448000, 48000, 15},
        {5, "dvd", "mpeg2video", "ac3", 720, 480, 30000, 2048, 6000000, 9000000, 0, 1835008, 448000, 48000, 18},
    };
    for (const Want &w : wants) {
        SCOPED_TRACE(w.type);
        s.outputType = w.type;
        const OutputPlan p = Plan(s);
        EXPECT_EQ(p.muxer, w.muxer);
        EXPECT_EQ(p.video.encoder, w.venc);
        EXPECT_EQ(p.audio.encoder, w.aenc);
        EXPECT_EQ(p.video.width, w.w);
        EXPECT_EQ(p.video.height, w.h);
        EXPECT_EQ(p.video.rateNum, w.rateNum);
        EXPECT_EQ(p.packetSize, w.packet);
        EXPECT_EQ(p.video.bitrate, w.bitrate);
        EXPECT_EQ(p.video.maxrate, w.maxrate);
        EXPECT_EQ(p.video.minrate, w.minrate);
        EXPECT_EQ(p.video.bufsize, w.bufsize);
        EXPECT_EQ(p.video.gop, w.gop);
        EXPECT_EQ(p.audio.bitrate, w.audioBitrate);
        EXPECT_EQ(p.audio.sampleRate, w.sampleRate);
        EXPECT_EQ(p.audio.channels, 2);
        EXPECT_EQ(p.video.darNum, 4);
        EXPECT_TRUE(p.audioRequired);
        EXPECT_TRUE(p.applyStretchMode);
    }
    s.outputType = 2;
    EXPECT_TRUE(Plan(s).video.options.contains(qMakePair(QByteArray("scan_offset"), QByteArray("1"))));
}

TEST(VideoEditPlan, MpegTypesSnapToWhatTheStandardsAllow)
{
    struct Case {
        int type;
        float rate;
        int width, height, sampleRate, audioBitrate, videoBitrate, channels;
        bool ac3;
        // expected
        const char *muxer, *venc, *aenc;
        int rateNum, rateDen, w, h, sr;
        int64_t ab, vb;
        int ch;
    };
    const Case cases[] = {
        {6, 29.97f, 352, 240, 44100, 224000, 1500000, 2, false, "mpeg", "mpeg1video", "mp2", 30000, 1001, 352, 240,
         44100, 224000, 1500000, 2},
        {7, 25.f, 720, 576, 48000, 192000, 6000000, 2, true, "vob", "mpeg2video", "ac3", 25, 1, 720, 576, 48000,
         192000, 6000000, 2},
        // An odd size is made even; a rate MPEG cannot carry goes to the nearest it can;
        // kb/s written where bit/s were meant are read as kb/s; one channel stays one.
        {6, 15.f, 351, 241, 22050, 224, 1500, 1, false, "mpeg", "mpeg1video", "mp2", 24000, 1001, 350, 240,
         32000, 192000, 1500000, 1},
        {7, 0.f, 352, 288, 44100, 100000, 2000000, 2, false, "vob", "mpeg2video", "mp2", 25, 1, 352, 288, 44100,
         96000, 2000000, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        OutputSettings s;
        s.outputType = c.type;
        s.frameRate = c.rate;
        s.width = c.width;
        s.height = c.height;
        s.mpegAudioSampleRate = c.sampleRate;
        s.mpegAudioBitrate = c.audioBitrate;
        s.mpegVideoBitrate = c.videoBitrate;
        s.mpegAudioChannels = c.channels;
        s.mpegAc3 = c.ac3;
        const OutputPlan p = Plan(s);
        EXPECT_EQ(p.muxer, c.muxer);
        EXPECT_EQ(p.video.encoder, c.venc);
        EXPECT_EQ(p.audio.encoder, c.aenc);
        EXPECT_EQ(p.video.rateNum, c.rateNum);
        EXPECT_EQ(p.video.rateDen, c.rateDen);
        EXPECT_EQ(p.video.width, c.w);
        EXPECT_EQ(p.video.height, c.h);
        EXPECT_EQ(p.audio.sampleRate, c.sr);
        EXPECT_EQ(p.audio.bitrate, c.ab);
        EXPECT_EQ(p.video.bitrate, c.vb);
        EXPECT_GT(p.video.maxrate, p.video.bitrate);
        EXPECT_GT(p.video.bufsize, 0);
        EXPECT_EQ(p.audio.channels, c.ch);
        EXPECT_FALSE(p.applyStretchMode);
    }
}

TEST(VideoEditPlan, AviUsesTheChosenCodecsAndTheirSettings)
{
    OutputSettings s;
    s.outputType = 8;
    s.width = 320;
    s.height = 240;
    s.frameRate = 15.f;
    s.videoCompressor = 0;
    s.audioCompressor = 1;
    s.aviMp3Bitrate = 128;
    OutputPlan p = Plan(s);
    EXPECT_EQ(p.muxer, "avi");
    EXPECT_EQ(p.video.encoder, "mpeg4");
    EXPECT_EQ(p.video.gop, 30);
    EXPECT_EQ(p.video.qscale, 2);         // best quality
    EXPECT_EQ(p.video.rateNum, 15);
    EXPECT_EQ(p.audio.encoder, "libmp3lame");
    EXPECT_EQ(p.audio.bitrate, 128000);
    EXPECT_EQ(p.audio.sampleRate, 48000);  // the source's
    EXPECT_EQ(p.audio.channels, 2);        // at most stereo
    EXPECT_FALSE(p.audioRequired);

    // x264 takes its quality as a rate factor.
    s.videoCompressor = 2;
    p = Plan(s);
    EXPECT_EQ(p.video.encoder, "libx264");
    EXPECT_TRUE(p.video.options.contains(qMakePair(QByteArray("crf"), QByteArray("18"))));

    // Uncompressed: raw pictures of VideoSampleSize bits and PCM, whatever positions are set.
    s.useVideoCompressor = false;
    s.useAudioCompressor = false;
    for (auto [bits, fmt] : {std::pair{24, "bgr24"}, {32, "bgra"}, {16, "rgb555le"}, {8, "bgr24"}}) {
        s.videoSampleSize = bits;
        p = Plan(s);
        EXPECT_EQ(p.video.encoder, "rawvideo");
        EXPECT_EQ(p.video.pixFmt, fmt);
        EXPECT_EQ(p.audio.encoder, "pcm_s16le");
    }

    // GSM carries 8 kHz mono only.
    s.useAudioCompressor = true;
    s.audioCompressor = 3;
    p = Plan(s);
    EXPECT_EQ(p.audio.sampleRate, 8000);
    EXPECT_EQ(p.audio.channels, 1);
}

TEST(VideoEditPlan, DvGetsOneOfItsTwoFixedShapes)
{
    OutputSettings s;
    s.outputType = 8;
    s.videoCompressor = 1;
    struct Case {
        float rate;
        int w, h, num, den;
        const char *pix;
    };
    for (const Case &c : {Case{25.f, 720, 576, 25, 1, "yuv420p"}, Case{29.97f, 720, 480, 30000, 1001, "yuv411p"},
                          Case{15.f, 720, 576, 25, 1, "yuv420p"}, Case{30.f, 720, 480, 30000, 1001, "yuv411p"}}) {
        s.width = 320;
        s.height = 240;
        s.frameRate = c.rate;
        const OutputPlan p = Plan(s);
        EXPECT_EQ(p.video.encoder, "dvvideo");
        EXPECT_EQ(p.video.width, c.w);
        EXPECT_EQ(p.video.height, c.h);
        EXPECT_EQ(p.video.rateNum, c.num);
        EXPECT_EQ(p.video.rateDen, c.den);
        EXPECT_EQ(p.video.pixFmt, c.pix);
    }
}

TEST(VideoEditPlan, SourceValuesFillWhatTheSettingsLeaveOpen)
{
    OutputSettings s;
    s.outputType = 8;
    s.width = 0;
    s.height = 0;
    s.frameRate = 0;
    const OutputPlan p = Plan(s);
    EXPECT_EQ(p.video.width, 640);
    EXPECT_EQ(p.video.height, 480);
    EXPECT_EQ(p.video.rateNum, 25);
}

TEST(VideoEditPlan, WmvUsesTheBuiltInProfileOrTheCustomFile)
{
    OutputSettings s;
    s.outputType = 9;
    s.wmvProfile = 4;
    OutputPlan p = Plan(s);
    const WmvProfile &want = BuiltInWmvProfiles().at(4);
    EXPECT_EQ(p.muxer, "asf");
    EXPECT_EQ(p.video.encoder, "wmv2");
    EXPECT_EQ(p.audio.encoder, "wmav2");
    EXPECT_EQ(p.video.bitrate, want.videoBitrate);
    EXPECT_EQ(p.video.width, want.width);
    EXPECT_EQ(p.video.height, want.height);
    EXPECT_EQ(p.audio.bitrate, want.audioBitrate);

    s.wmvUseCustom = true;
    s.wmvCustomFileName = QStringLiteral("/nonexistent/Profiles/abc.prx");
    OutputPlan none;
    QString error;
    EXPECT_FALSE(PlanOutput(s, kVideo, kAudio, Source640(), &none, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("abc.prx")));
}

TEST(VideoEditPlan, RefusesWhatCannotBeRendered)
{
    struct Case {
        const char *label;
        OutputSettings s;
    };
    OutputSettings unknown;
    unknown.outputType = -1;
    OutputSettings badVideo;
    badVideo.outputType = 8;
    badVideo.videoCompressor = 3;
    OutputSettings badAudio;
    badAudio.outputType = 8;
    badAudio.audioCompressor = -1;
    OutputSettings tiny;
    tiny.outputType = 6;
    tiny.width = 8;
    OutputSettings badProfile;
    badProfile.outputType = 9;
    badProfile.wmvProfile = 99;
    for (const Case &c : {Case{"unknown type", unknown}, Case{"video position", badVideo},
                          Case{"audio position", badAudio}, Case{"tiny picture", tiny},
                          Case{"profile position", badProfile}}) {
        OutputPlan p;
        QString error;
        EXPECT_FALSE(PlanOutput(c.s, kVideo, kAudio, Source640(), &p, &error)) << c.label;
        EXPECT_FALSE(error.isEmpty()) << c.label;
    }
}

TEST(VideoEditRate, GivesExactFractions)
{
    struct Case {
        double rate;
        int num, den;
    };
    for (const Case &c : {Case{29.97f, 30000, 1001}, Case{23.976f, 24000, 1001}, Case{59.94, 60000, 1001},
                          Case{25, 25, 1}, Case{15, 15, 1}, Case{12.5, 25, 2}, Case{7.3f, 73, 10}}) {
        int num = 0, den = 0;
        RateToFraction(c.rate, &num, &den);
        EXPECT_EQ(num, c.num) << c.rate;
        EXPECT_EQ(den, c.den) << c.rate;
    }
}

} // namespace
