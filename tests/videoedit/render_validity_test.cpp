// Every output type as a player reads it: the piece decodes without a complaint and its sound
// lasts as long as its pictures.
#include "fixtures.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

#include <functional>

using namespace kc;
using namespace kc::test;

namespace {

int IndexOf(const CompressorList &list, const QString &name)
{
    for (int i = 0; i < list.Count(); ++i) {
        if (list.Item(i) == name)
            return i;
    }
    return -1;
}

struct ValidityCase {
    const char *label;
    int type;
    std::function<void(TVideoEdit &)> setup;
    double soundFrame;  // seconds of one frame of the sound codec (the sound ends on its frames)
};

void PrintTo(const ValidityCase &c, std::ostream *os) { *os << c.label; }

// The MPEG page as the window leaves it at start-up, with the frame rate and sound chosen.
std::function<void(TVideoEdit &)> Mpeg(float rate, bool ac3, int sampleRate)
{
    return [=](TVideoEdit &e) {
        e.setMPEGAC3(ac3);
        e.setMPEGAudioSampleRate(sampleRate);
        e.setMPEGAudioBitrate(224000);
        e.setMPEGVideoBitrate(1500000);
        e.setFrameRate(rate);
        e.setMPEGAudioChannels(2);
        e.setOutputFileWidth(352);
        e.setOutputFileHeight(240);
    };
}

std::function<void(TVideoEdit &)> Avi(const char *video, const char *audio, float rate)
{
    return [=](TVideoEdit &e) {
        e.setOutputFileWidth(320);
        e.setOutputFileHeight(240);
        e.setFrameRate(rate);
        e.setUseVideoCompressor(*video != 0);
        e.setUseAudioCompressor(*audio != 0);
        e.setVideoCompressor(*video ? IndexOf(e.VideoCompressors(), QString::fromUtf8(video)) : 0);
        e.setAudioCompressor(*audio ? IndexOf(e.AudioCompressors(), QString::fromUtf8(audio)) : 0);
        e.setAVIMP3Bitrate(128);
    };
}

const auto kDisc = [](TVideoEdit &) {};
constexpr double kMp2At44k = 1152.0 / 44100;
constexpr double kAc3At48k = 1536.0 / 48000;

const ValidityCase kValidity[] = {
    {"VcdPal", 0, kDisc, kMp2At44k},
    {"VcdNtsc", 1, kDisc, kMp2At44k},
    {"SvcdPal", 2, kDisc, kMp2At44k},
    {"SvcdNtsc", 3, kDisc, kMp2At44k},
    {"DvdPal", 4, kDisc, kAc3At48k},
    {"DvdNtsc", 5, kDisc, kAc3At48k},
    {"Mpeg1Ntsc", 6, Mpeg(29.97f, false, 44100), kMp2At44k},
    // MPEG-2 at 29.97 frames per second with B-pictures, the window's start-up choice.
    {"Mpeg2Ntsc", 7, Mpeg(29.97f, false, 44100), kMp2At44k},
    {"Mpeg2PalAc3", 7, Mpeg(25.f, true, 48000), kAc3At48k},
    // AVI has no timestamps to hide the MP3 encoder's lead-in (1105 samples) behind.
    {"AviXvidMp3", 8, Avi("XviD MPEG-4 Codec", "MPEG Layer-3", 25.f), (1152.0 + 1105.0) / 44100},
    {"AviMpeg4Pcm", 8, Avi("MPEG-4 Part 2 Video Codec", "PCM", 29.97f), 0.001},
    {"AviX264Mp2", 8, Avi("H.264 Video Codec (x264)", "MPEG Layer-2", 25.f), kMp2At44k},
    {"AviMjpegAc3", 8, Avi("Motion JPEG Codec", "AC-3", 15.f), 1536.0 / 44100},
    {"AviMsMpeg4AdpcmIma", 8, Avi("MS-MPEG4 V2 Video Codec", "IMA ADPCM", 25.f), 0.03},
    {"AviDvPcm", 8, Avi("DV Video Encoder", "PCM", 25.f), 0.001},
    {"AviUncompressed", 8, Avi("", "", 12.f), 0.001},
    {"Wmv", 9, [](TVideoEdit &e) { e.setWMVProfile(4); }, 2048.0 / 44100},
};

class VideoEditValidPieces : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(VideoEditValidPieces, DecodeCleanlyWithSoundAsLongAsThePictures)
{
    const ValidityCase &c = GetParam();
    // B-frames in the source, a start inside a frame and a rate conversion for most types.
    const QString src = SourceClip(Source::Mp4BFrames);
    TVideoEdit edit;
    edit.setOutputType(c.type);
    c.setup(edit);
    edit.setVideoSampleSize(24);
    SetClip(edit, src, 0.33, 2.95, 2);
    const QString out = OutputPath(QStringLiteral("valid %1.out").arg(QString::fromLatin1(c.label)));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();

    EXPECT_EQ(DecodeErrors(out), QString());
    const double pictures = PictureSeconds(out);
    EXPECT_NEAR(pictures, 2.62, 0.07);
    // The sound ends on the last whole frame of its codec that the pictures reach.
    EXPECT_NEAR(SoundSeconds(out), pictures, c.soundFrame + 0.002);
}

INSTANTIATE_TEST_SUITE_P(Types, VideoEditValidPieces, ::testing::ValuesIn(kValidity),
                         [](const ::testing::TestParamInfo<ValidityCase> &i) { return std::string(i.param.label); });

} // namespace
