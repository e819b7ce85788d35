// Pictures and sound in step: starts that fall inside a frame, and sources whose frame times
// are not constant.
#include "fixtures.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <vector>

using namespace kc;
using namespace kc::test;

namespace {

// 6 s at 25 fps: a white frame and a 40 ms beep at every whole second, black and silence
// between them. PCM sound, so that the source itself has no codec delay.
QString FlashBeepClip()
{
    return MadeClip(QStringLiteral("flash beep.avi"),
                    {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("color=c=black:s=160x120:r=25:d=6,format=yuv420p,"
                                    "geq=lum='if(lt(mod(T,1),0.04),235,16)':cb=128:cr=128"),
                     QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("aevalsrc='if(lt(mod(t,1),0.04),0.8*sin(2*PI*1000*t),0)':s=48000:d=6"),
                     QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
                     QStringLiteral("-q:v"), QStringLiteral("2"), QStringLiteral("-g"), QStringLiteral("25"),
                     QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")});
}

// Times (on the file's own timestamps, as players use them) where pictures turn bright and
// where the sound turns loud.
std::vector<double> FlashTimes(const QString &file)
{
    QString err;
    RunTool(QStringLiteral("ffmpeg"), {QStringLiteral("-copyts"), QStringLiteral("-i"), file, QStringLiteral("-an"),
                                       QStringLiteral("-vf"),
                                       QStringLiteral("signalstats,metadata=print:key=lavfi.signalstats.YAVG"),
                                       QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
            nullptr, &err);
    std::vector<double> times;
    double time = 0;
    bool bright = false;
    for (const QString &line : err.split(QLatin1Char('\n'))) {
        const int t = line.indexOf(QStringLiteral("pts_time:"));
        if (t >= 0)
            time = line.mid(t + 9).section(QLatin1Char(' '), 0, 0).toDouble();
        const int y = line.indexOf(QStringLiteral("YAVG="));
        if (y >= 0) {
            const bool now = line.mid(y + 5).toDouble() > 100;
            if (now && !bright)
                times.push_back(time);
            bright = now;
        }
    }
    return times;
}

std::vector<double> BeepTimes(const QString &file)
{
    QString err;
    RunTool(QStringLiteral("ffmpeg"), {QStringLiteral("-copyts"), QStringLiteral("-i"), file, QStringLiteral("-vn"),
                                       QStringLiteral("-af"), QStringLiteral("silencedetect=n=-20dB:d=0.01"),
                                       QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
            nullptr, &err);
    std::vector<double> times;
    const QRegularExpression re(QStringLiteral("silence_end: ([0-9.]+)"));
    for (auto it = re.globalMatch(err); it.hasNext();)
        times.push_back(it.next().captured(1).toDouble());
    return times;
}

struct SyncCase {
    const char *label;
    int type;
    double start;
    double frameSeconds;  // of the output
};

void PrintTo(const SyncCase &c, std::ostream *os) { *os << c.label; }

class VideoEditStartInsideAFrame : public ::testing::TestWithParam<SyncCase> {};

// Wherever the start falls inside a frame, every flash and its beep stay within half an
// output frame of each other.
TEST_P(VideoEditStartInsideAFrame, KeepsSoundWithThePictures)
{
    const SyncCase &c = GetParam();
    const QString src = FlashBeepClip();
    ASSERT_FALSE(src.isEmpty());
    TVideoEdit edit;
    edit.setOutputType(c.type);
    if (c.type == 8) {
        edit.setOutputFileWidth(160);
        edit.setOutputFileHeight(120);
        edit.setFrameRate(25.f);
        edit.setUseVideoCompressor(true);
        edit.setVideoCompressor(0);
        edit.setUseAudioCompressor(false);
    }
    edit.setVideoSampleSize(24);
    SetClip(edit, src, c.start, c.start + 2.2, 2);
    const QString out = OutputPath(QStringLiteral("sync %1.out").arg(QString::fromLatin1(c.label)));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();

    const std::vector<double> flashes = FlashTimes(out);
    const std::vector<double> beeps = BeepTimes(out);
    ASSERT_GE(flashes.size(), 2u);
    ASSERT_GE(beeps.size(), 2u);
    for (double flash : flashes) {
        double nearest = beeps.front();
        for (double b : beeps) {
            if (std::fabs(b - flash) < std::fabs(nearest - flash))
                nearest = b;
        }
        EXPECT_LT(std::fabs(nearest - flash), c.frameSeconds / 2)
            << "flash at " << flash << " s, beep at " << nearest << " s";
    }
}

const SyncCase kSync[] = {
    // The start 21 ms into a 40 ms frame, at a frame boundary, just before one, just after one.
    {"DvdPalAt2521", 4, 2.521, 1.0 / 25},
    {"DvdPalAt2500", 4, 2.5, 1.0 / 25},
    {"DvdPalAt2539", 4, 2.539, 1.0 / 25},
    // A rate conversion (25 to 29.97) on top.
    {"DvdNtscAt2521", 5, 2.521, 1001.0 / 30000},
    {"DvdNtscAt2510", 5, 2.51, 1001.0 / 30000},
    {"VcdNtscAt2533", 1, 2.533, 1001.0 / 30000},
    {"AviAt2521", 8, 2.521, 1.0 / 25},
    {"AviAt2501", 8, 2.501, 1.0 / 25},
};

INSTANTIATE_TEST_SUITE_P(Starts, VideoEditStartInsideAFrame, ::testing::ValuesIn(kSync),
                         [](const ::testing::TestParamInfo<SyncCase> &i) { return std::string(i.param.label); });

// 8 s of 25 fps pictures retimed so that from 5 s on they come 2.5 times slower (a variable
// frame rate file whose nominal rate is still 25), with 14 s of sound.
QString VariableRateClip()
{
    return MadeClip(QStringLiteral("variable rate.mkv"),
                    {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("testsrc2=s=160x120:r=25:d=8"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                     QStringLiteral("-i"), QStringLiteral("sine=r=44100:d=14"), QStringLiteral("-vf"),
                     QStringLiteral("setpts='if(lt(T,5),PTS,5/TB+(PTS-5/TB)*2.5)'"), QStringLiteral("-fps_mode"),
                     QStringLiteral("vfr"), QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                     QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("aac")});
}

struct VfrCase {
    const char *label;
    int type;
};

void PrintTo(const VfrCase &c, std::ostream *os) { *os << c.label; }

class VideoEditVariableRate : public ::testing::TestWithParam<VfrCase> {};

// Output at the source's nominal rate: the slow part's pictures are repeated by their time, so
// the pictures last as long as the range and the sound.
TEST_P(VideoEditVariableRate, PicturesLastAsLongAsTheRange)
{
    const VfrCase &c = GetParam();
    const QString src = VariableRateClip();
    ASSERT_FALSE(src.isEmpty());
    TVideoEdit edit;
    edit.setOutputType(c.type);
    if (c.type == 8) {
        edit.setOutputFileWidth(160);
        edit.setOutputFileHeight(120);
        edit.setFrameRate(25.f);
        edit.setUseVideoCompressor(true);
        edit.setVideoCompressor(0);
        edit.setUseAudioCompressor(false);
    } else {
        edit.setMPEGAC3(false);
        edit.setMPEGAudioSampleRate(44100);
        edit.setMPEGAudioBitrate(224000);
        edit.setMPEGVideoBitrate(1500000);
        edit.setFrameRate(25.f);
        edit.setMPEGAudioChannels(2);
        edit.setOutputFileWidth(160);
        edit.setOutputFileHeight(120);
    }
    SetClip(edit, src, 3.0, 11.4);
    const QString out = OutputPath(QStringLiteral("vfr %1.out").arg(QString::fromLatin1(c.label)));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
    EXPECT_EQ(DecodeErrors(out), QString());
    const double pictures = PictureSeconds(out);
    EXPECT_NEAR(pictures, 8.4, 0.081);
    // Sound in whole codec frames (MP2: 26 ms).
    EXPECT_NEAR(SoundSeconds(out), pictures, 0.03);
}

const VfrCase kVfr[] = {
    {"Avi", 8},
    {"Mpeg2", 7},
};

INSTANTIATE_TEST_SUITE_P(Types, VideoEditVariableRate, ::testing::ValuesIn(kVfr),
                         [](const ::testing::TestParamInfo<VfrCase> &i) { return std::string(i.param.label); });

} // namespace
