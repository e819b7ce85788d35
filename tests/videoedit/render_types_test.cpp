// Renders of every output type, checked by probing what was written.
#include "fixtures.h"
#include "mpegheaders.h"

#include "common/programfolder.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <functional>

using namespace kc;
using namespace kc::test;

namespace {

struct TypeCase {
    const char *label;
    int type;
    Source source;
    std::function<void(TVideoEdit &)> setup;  // properties beyond OutputType
    const char *container;                   // ffprobe format_name
    const char *vcodec;
    const char *acodec;
    int width, height;
    const char *rate;
    int sampleRate, channels;
    // The disc types' header values: packet size, mux rate (50 B/s), bit rate (400 bit/s), VBV (16 kbit).
    int pack = 0, muxRate = 0, bitRateField = 0, vbvField = 0;
};

// Test names show the case label rather than its bytes.
void PrintTo(const TypeCase &c, std::ostream *os) { *os << c.label; }

int IndexOf(const CompressorList &list, const QString &name)
{
    for (int i = 0; i < list.Count(); ++i) {
        if (list.Item(i) == name)
            return i;
    }
    return -1;
}

void Avi(TVideoEdit &e, const QString &video, const QString &audio, int w, int h, float rate)
{
    e.setOutputFileWidth(w);
    e.setOutputFileHeight(h);
    e.setFrameRate(rate);
    e.setUseVideoCompressor(!video.isEmpty());
    e.setUseAudioCompressor(!audio.isEmpty());
    e.setVideoCompressor(video.isEmpty() ? 0 : IndexOf(e.VideoCompressors(), video));
    e.setAudioCompressor(audio.isEmpty() ? 0 : IndexOf(e.AudioCompressors(), audio));
    e.setAVIMP3Bitrate(128);
}

void Mpeg(TVideoEdit &e, bool ac3, int sampleRate, int w, int h, float rate)
{
    e.setMPEGAC3(ac3);
    e.setMPEGAudioSampleRate(sampleRate);
    e.setMPEGAudioBitrate(224000);
    e.setMPEGVideoBitrate(1500000);
    e.setFrameRate(rate);
    e.setMPEGAudioChannels(2);
    e.setOutputFileWidth(w);
    e.setOutputFileHeight(h);
}

const std::function<void(TVideoEdit &)> kNothing = [](TVideoEdit &) {};

const TypeCase kTypes[] = {
    {"VcdPalFromAvi", 0, Source::Avi, kNothing, "mpeg", "mpeg1video", "mp2", 352, 288, "25/1", 44100, 2,
     2324, 3528, 2875, 20},
    {"VcdNtscFromMpegPs", 1, Source::MpegPs, kNothing, "mpeg", "mpeg1video", "mp2", 352, 240, "30000/1001", 44100, 2,
     2324, 3528, 2875, 20},
    // SVCD has no fixed mux rate: the muxer sums the streams' peak rates, which it only knows
    // from the encoder's buffer model (2516000 + 224000 bit/s, 5 % and 10000 bit/s added).
    {"SvcdPalFromMp4", 2, Source::Mp4BFrames, kNothing, "mpeg", "mpeg2video", "mp2", 480, 576, "25/1", 44100, 2,
     2324, 7218, 6290, 112},
    {"SvcdNtscFromAvi", 3, Source::Avi, kNothing, "mpeg", "mpeg2video", "mp2", 480, 480, "30000/1001", 44100, 2,
     2324, 7218, 6290, 112},
    {"DvdPalFromMpegPs", 4, Source::MpegPs, kNothing, "mpeg", "mpeg2video", "ac3", 720, 576, "25/1", 48000, 2,
     2048, 25200, 22500, 112},
    {"DvdNtscFromMp4", 5, Source::Mp4BFrames, kNothing, "mpeg", "mpeg2video", "ac3", 720, 480, "30000/1001", 48000, 2,
     2048, 25200, 22500, 112},
    {"Mpeg1FromAvi", 6, Source::Avi, [](TVideoEdit &e) { Mpeg(e, false, 44100, 352, 240, 29.97f); },
     "mpeg", "mpeg1video", "mp2", 352, 240, "30000/1001", 44100, 2},
    {"Mpeg2Ac3FromMp4", 7, Source::Mp4BFrames, [](TVideoEdit &e) { Mpeg(e, true, 48000, 400, 300, 25.f); },
     "mpeg", "mpeg2video", "ac3", 400, 300, "25/1", 48000, 2},
    {"AviXvidMp3FromMpegPs", 8, Source::MpegPs,
     [](TVideoEdit &e) { Avi(e, QStringLiteral("XviD MPEG-4 Codec"), QStringLiteral("MPEG Layer-3"), 320, 240, 25.f); },
     "avi", "mpeg4", "mp3", 320, 240, "25/1", 44100, 2},
    {"AviUncompressedFromMp4", 8, Source::Mp4BFrames, [](TVideoEdit &e) { Avi(e, QString(), QString(), 160, 120, 15.f); },
     "avi", "rawvideo", "pcm_s16le", 160, 120, "15/1", 44100, 2},
    {"AviDvFromAvi", 8, Source::Avi,
     [](TVideoEdit &e) { Avi(e, QStringLiteral("DV Video Encoder"), QStringLiteral("PCM"), 320, 240, 25.f); },
     "avi", "dvvideo", "pcm_s16le", 720, 576, "25/1", 44100, 2},
    {"WmvProfileFromAvi", 9, Source::Avi, [](TVideoEdit &e) { e.setWMVProfile(4); },
     "asf", "wmv2", "wmav2", 320, 240, "25/1", 44100, 2},
    {"WmvPrxFromMpegPs", 9, Source::MpegPs,
     [](TVideoEdit &e) {
         e.setWMVCustomFileName(ProgramFolder() + QStringLiteral("Profiles/High motion video for broadband NTSC (384 Kbps).prx"));
     },
     "asf", "wmv2", "wmav2", 320, 240, "30000/1001", 44100, 2},
};

class VideoEditTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(VideoEditTypes, WritesWhatTheTypePromises)
{
    const TypeCase &c = GetParam();
    const QString src = SourceClip(c.source);
    const QString out = OutputPath(QString::fromLatin1(c.label) + QStringLiteral(".out"));
    TVideoEdit edit;
    edit.setOutputType(c.type);
    c.setup(edit);
    edit.setVideoSampleSize(24);
    SetClip(edit, src, 0.5, 2.0, 2);
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.saved) << r.reason.toStdString();
    ASSERT_TRUE(r.completed);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
    EXPECT_GT(r.progressEvents, 0);

    EXPECT_EQ(ProbeValue(out, QStringLiteral("format=format_name")), QString::fromLatin1(c.container));
    EXPECT_EQ(ProbeValue(out, QStringLiteral("stream=codec_name"), QStringLiteral("v:0")), QString::fromLatin1(c.vcodec));
    EXPECT_EQ(ProbeValue(out, QStringLiteral("stream=codec_name"), QStringLiteral("a:0")), QString::fromLatin1(c.acodec));
    EXPECT_EQ(ProbeInt(out, QStringLiteral("stream=width"), QStringLiteral("v:0")), c.width);
    EXPECT_EQ(ProbeInt(out, QStringLiteral("stream=height"), QStringLiteral("v:0")), c.height);
    EXPECT_EQ(ProbeRate(out), QString::fromLatin1(c.rate));
    EXPECT_EQ(ProbeInt(out, QStringLiteral("stream=sample_rate"), QStringLiteral("a:0")), c.sampleRate);
    EXPECT_EQ(ProbeInt(out, QStringLiteral("stream=channels"), QStringLiteral("a:0")), c.channels);

    // 1.5 s of pictures on the output's own constant rate.
    const QStringList rate = QString::fromLatin1(c.rate).split(QLatin1Char('/'));
    const double fps = rate.value(0).toDouble() / rate.value(1).toDouble();
    EXPECT_NEAR(CountVideoFrames(out), 1.5 * fps, 1.0);
    EXPECT_NEAR(ProbeDouble(out, QStringLiteral("format=duration")), 1.5, 0.15);
    // Pictures and sound start together, up to the sound encoder's own delay (WMA's is the
    // longest: 2048 samples, 46 ms).
    EXPECT_NEAR(ProbeDouble(out, QStringLiteral("stream=start_time"), QStringLiteral("v:0")),
                ProbeDouble(out, QStringLiteral("stream=start_time"), QStringLiteral("a:0")), 0.05);

    if (c.pack) {
        const MpegHeaderFacts h = ReadMpegHeaders(out);
        EXPECT_EQ(h.packSpacing, c.pack);
        if (c.muxRate) {
            EXPECT_EQ(h.muxRate, c.muxRate);
        }
        EXPECT_EQ(h.bitRateField, c.bitRateField);
        EXPECT_EQ(h.vbvField, c.vbvField);
        EXPECT_EQ(h.aspectCode, c.type <= 1 ? (c.type == 0 ? 8 : 12) : 2) << "4:3 display";
    }
}

TEST(VideoEditStretch, KeepAspectPadsAWidePictureAndStretchFillsTheFrame)
{
    const QString src = SourceClip(Source::Wide); // 16:9 into the 4:3 DVD frame
    struct Case {
        int stretch;
        const char *area;
    };
    for (const Case &c : {Case{2, "720:432:0:72"}, Case{0, "720:576:0:0"}}) {
        TVideoEdit edit;
        edit.setOutputType(4);
        SetClip(edit, src, 0, 0.5, c.stretch);
        const QString out = OutputPath(QStringLiteral("stretch %1.mpg").arg(c.stretch));
        const RenderOutcome r = SaveAndWait(edit, out);
        ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
        EXPECT_EQ(PictureArea(out), QString::fromLatin1(c.area)) << "stretch mode " << c.stretch;
    }
}

INSTANTIATE_TEST_SUITE_P(Types, VideoEditTypes, ::testing::ValuesIn(kTypes),
                         [](const ::testing::TestParamInfo<TypeCase> &i) { return std::string(i.param.label); });

} // namespace
