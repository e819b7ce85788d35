// Colours through a change of definition: players decode standard-definition pictures with
// BT.601's formula and HD ones with BT.709's unless the stream says otherwise, so a picture
// scaled between the two must have its Y, Cb and Cr converted, or every colour shifts.
#include "fixtures.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <vector>

using namespace kc;
using namespace kc::test;

namespace {

// Colour bars coded with a formula: size, the scale filter's name for the formula, and
// whether the stream says which it is.
QString Bars(const QString &name, const QString &size, const QString &matrix, bool tagged, const QStringList &codec)
{
    QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("smptehdbars=size=%1:rate=25:duration=1").arg(size), QStringLiteral("-vf"),
                     QStringLiteral("scale=out_color_matrix=%1,format=yuv420p").arg(matrix)};
    args << codec;
    if (tagged)
        args << QStringLiteral("-colorspace") << matrix;
    return MadeClip(name, args);
}

// HD bars on a transfer curve (zscale's name) and in a gamut, 10 bits, with the stream's tags
// saying so: the bars' white at BT.2100's reference white for high dynamic range.
QString CurveBars(const QString &name, const QString &curve, const QString &primaries, const QString &matrix)
{
    const bool hdr = curve != QLatin1String("bt709");
    return MadeClip(name, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("smptehdbars=size=1280x720:rate=25:duration=1"), QStringLiteral("-vf"),
                           QStringLiteral("zscale=tin=bt709:pin=bt709:min=bt709:rin=tv:t=%1:p=%2:m=%3:r=tv:npl=203,format=%4")
                               .arg(curve, primaries, matrix,
                                    hdr ? QStringLiteral("yuv420p10le") : QStringLiteral("yuv420p")),
                           QStringLiteral("-c:v"), hdr ? QStringLiteral("libx265") : QStringLiteral("libx264"),
                           QStringLiteral("-color_trc"), curve, QStringLiteral("-color_primaries"), primaries,
                           QStringLiteral("-colorspace"), matrix == QLatin1String("bt2020nc") ? matrix : primaries});
}

// The formula a player decodes the file's pictures with: the stream's word, else its guess
// from the size (HD from 1280 wide or above 576 lines).
QString ShownMatrix(const QString &file)
{
    const QString tag = ProbeValue(file, QStringLiteral("stream=color_space"), QStringLiteral("v:0"));
    if (tag == QLatin1String("bt709"))
        return QStringLiteral("bt709");
    if (tag == QLatin1String("bt470bg") || tag == QLatin1String("smpte170m"))
        return QStringLiteral("bt601");
    const int width = ProbeInt(file, QStringLiteral("stream=width"), QStringLiteral("v:0"));
    const int height = ProbeInt(file, QStringLiteral("stream=height"), QStringLiteral("v:0"));
    return width >= 1280 || height > 576 ? QStringLiteral("bt709") : QStringLiteral("bt601");
}

// The red, green and blue of the grey band and the seven bars in the top part of the first
// picture, at their middles, as a player shows them.
std::vector<int> ShownBars(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file, QStringLiteral("-frames:v"),
             QStringLiteral("1"), QStringLiteral("-vf"),
             QStringLiteral("scale=320:180:flags=area:in_color_matrix=%1,format=rgb24").arg(ShownMatrix(file)),
             QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-")});
    p.waitForFinished(60000);
    const QByteArray rgb = p.readAllStandardOutput();
    std::vector<int> bars;
    if (rgb.size() != 320 * 180 * 3)
        return bars;
    for (int x : {20, 57, 91, 125, 159, 193, 227, 261}) {
        const int at = (60 * 320 + x) * 3;
        for (int c = 0; c < 3; ++c)
            bars.push_back(uchar(rgb[at + c]));
    }
    return bars;
}

struct ColourCase {
    const char *label;
    std::function<QString()> source;
    int type;
    int width = 0, height = 0; // AVI only: the output size
    // The pictures the piece must look like, when not the source as players show it.
    std::function<QString()> reference = nullptr;
    // How far a bar's red, green or blue may be off: coding noise, and for high dynamic
    // range the 10-bit curve's coarse steps near black.
    int tolerance = 8;
};

void PrintTo(const ColourCase &c, std::ostream *os) { *os << c.label; }

const std::vector<QString> kH264{QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                                 QStringLiteral("ultrafast")};

const ColourCase kColourCases[] = {
    // A camera's or a phone's HD, which says BT.709, onto a PAL DVD.
    {"TaggedHdToDvdPal",
     [] { return Bars(QStringLiteral("hd tagged.mp4"), QStringLiteral("1280x720"), QStringLiteral("bt709"), true,
                      {kH264.begin(), kH264.end()}); },
     4},
    // HD that says nothing, which players take for BT.709, onto an NTSC VCD.
    {"UntaggedHdToVcdNtsc",
     [] { return Bars(QStringLiteral("hd untagged.mp4"), QStringLiteral("1920x1080"), QStringLiteral("bt709"), false,
                      {kH264.begin(), kH264.end()}); },
     1},
    // A DV camcorder's standard definition, made into HD AVI.
    {"UntaggedSdToHdAvi",
     [] { return Bars(QStringLiteral("sd untagged.avi"), QStringLiteral("720x576"), QStringLiteral("bt601"), false,
                      {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-q:v"), QStringLiteral("2")}); },
     8, 1280, 720},
    // A phone's HLG and an HDR10 film (PQ), both in BT.2020's colours: shown on a standard
    // range the bars must look as the same bars made for it.
    {"HlgToDvdPal",
     [] { return CurveBars(QStringLiteral("hlg.mp4"), QStringLiteral("arib-std-b67"), QStringLiteral("bt2020"),
                           QStringLiteral("bt2020nc")); },
     4, 0, 0, [] { return CurveBars(QStringLiteral("sdr.mp4"), QStringLiteral("bt709"), QStringLiteral("bt709"),
                                    QStringLiteral("bt709")); }, 14},
    // An HLG broadcast in 1080i onto a PAL DVD, which keeps its fields.
    {"InterlacedHlgToDvdPal",
     [] {
         return MadeClip(QStringLiteral("hlg 1080i.mkv"),
                         {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("smptehdbars=size=1920x1080:rate=50:duration=1"), QStringLiteral("-vf"),
                          QStringLiteral("zscale=tin=bt709:pin=bt709:min=bt709:rin=tv:t=arib-std-b67:p=bt2020:"
                                         "m=bt2020nc:r=tv:npl=203,tinterlace=mode=interleave_top,setfield=tff,"
                                         "format=yuv420p10le"),
                          QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-flags"),
                          QStringLiteral("+ildct+ilme"), QStringLiteral("-x264-params"), QStringLiteral("tff=1"),
                          QStringLiteral("-color_trc"), QStringLiteral("arib-std-b67"), QStringLiteral("-color_primaries"),
                          QStringLiteral("bt2020"), QStringLiteral("-colorspace"), QStringLiteral("bt2020nc")});
     },
     4, 0, 0, [] { return CurveBars(QStringLiteral("sdr.mp4"), QStringLiteral("bt709"), QStringLiteral("bt709"),
                                    QStringLiteral("bt709")); }, 14},
    {"PqToHdAvi",
     [] { return CurveBars(QStringLiteral("pq.mp4"), QStringLiteral("smpte2084"), QStringLiteral("bt2020"),
                           QStringLiteral("bt2020nc")); },
     8, 1280, 720, [] { return CurveBars(QStringLiteral("sdr.mp4"), QStringLiteral("bt709"), QStringLiteral("bt709"),
                                         QStringLiteral("bt709")); }, 14},
};

class VideoEditColour : public ::testing::TestWithParam<ColourCase> {};

TEST_P(VideoEditColour, ColoursStayAsPlayersShowThem)
{
    const ColourCase &c = GetParam();
    const QString src = c.source();
    ASSERT_FALSE(src.isEmpty());
    TVideoEdit edit;
    edit.setOutputType(c.type);
    if (c.width > 0) {
        edit.setOutputFileWidth(c.width);
        edit.setOutputFileHeight(c.height);
        edit.setFrameRate(25.f);
        edit.setUseVideoCompressor(true);
        edit.setVideoCompressor(0);
    }
    SetClip(edit, src, 0, 1);
    const QString out = OutputPath(QStringLiteral("colour %1.out").arg(QString::fromLatin1(c.label)));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
    EXPECT_EQ(DecodeErrors(out), QString());

    const std::vector<int> source = ShownBars(c.reference ? c.reference() : src);
    const std::vector<int> piece = ShownBars(out);
    ASSERT_EQ(source.size(), 24u);
    ASSERT_EQ(piece.size(), 24u);
    int worst = 0;
    for (size_t i = 0; i < source.size(); ++i)
        worst = std::max(worst, std::abs(source[i] - piece[i]));
    EXPECT_LE(worst, c.tolerance) << "a bar's red, green or blue is off by " << worst;
}

INSTANTIATE_TEST_SUITE_P(Definitions, VideoEditColour, ::testing::ValuesIn(kColourCases),
                         [](const ::testing::TestParamInfo<ColourCase> &i) { return std::string(i.param.label); });

} // namespace
