// The shape of the picture: sources turned by a display matrix (phone clips) and sources with
// non-square pixels, into every output type.
#include "fixtures.h"
#include "support/picturecompare.h"

#include <QFile>

#include <gtest/gtest.h>

#include <ostream>

#include <functional>

using namespace kc;
using namespace kc::test;

namespace {

// 2 s of 320x180 H.264 that players show turned a quarter clockwise, as 180x320: the display
// matrix of the MP4 track header is written the way phones write it.
QString RotatedClip()
{
    const QString made = MadeClip(QStringLiteral("phone upright.mp4"),
                                  {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("testsrc2=s=320x180:r=25:d=2"), QStringLiteral("-f"),
                                   QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=r=44100:d=2"),
                                   QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                                   QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("aac")});
    const QString path = WorkDir() + QStringLiteral("/phone rotated.mp4");
    if (made.isEmpty() || QFile::exists(path))
        return made.isEmpty() ? QString() : path;
    QFile in(made);
    if (!in.open(QIODevice::ReadOnly))
        return QString();
    QByteArray data = in.readAll();
    // tkhd: 4 bytes of type, then version/flags, times, ids, duration, layer, group, volume:
    // the 3x3 matrix starts 44 bytes after the type (version 0).
    const int tkhd = data.indexOf("tkhd");
    const QByteArray identity = QByteArray::fromHex("000100000000000000000000000000000001000000000000000000000000000040000000");
    if (tkhd < 0 || data.mid(tkhd + 44, 36) != identity) {
        ADD_FAILURE() << "unexpected track header in " << made.toStdString();
        return QString();
    }
    // a = 0, b = 1, c = -1, d = 0: a quarter turn clockwise.
    const QByteArray quarter = QByteArray::fromHex("00000000" "00010000" "00000000"
                                                   "ffff0000" "00000000" "00000000"
                                                   "00000000" "00000000" "40000000");
    data.replace(tkhd + 44, 36, quarter);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size())
        return QString();
    return path;
}

// 2 s of 360x288 MPEG-4 with pixels 64:45 wide: a 16:9 picture, as PAL DVDs store it.
QString AnamorphicClip()
{
    return MadeClip(QStringLiteral("anamorphic.avi"),
                    {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("testsrc2=s=360x288:r=25:d=2,setsar=64/45"), QStringLiteral("-f"),
                     QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=r=44100:d=2"),
                     QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-q:v"), QStringLiteral("3"),
                     QStringLiteral("-c:a"), QStringLiteral("libmp3lame")});
}

// How alike the first picture of the piece (only its visible area) and the first picture of
// the source as ffmpeg shows it (turned upright) are, in dB.
double FirstPictureLikeness(const QString &piece, const QString &area, const QString &source)
{
    return GraphPsnr({QStringLiteral("-i"), piece, QStringLiteral("-i"), source},
                     QStringLiteral("[0:v]crop=%1,scale=96:96,format=gray,trim=end_frame=1[a];"
                                    "[1:v]scale=96:96,format=gray,trim=end_frame=1[b];[a][b]psnr")
                         .arg(area));
}

// The source size the window writes for "原视频尺寸" is the size players show.
TEST(VideoEditSourceSize, IsTheShownSize)
{
    TVideoEdit edit;
    const QString rotated = RotatedClip();
    const QString anamorphic = AnamorphicClip();
    ASSERT_FALSE(rotated.isEmpty());
    ASSERT_FALSE(anamorphic.isEmpty());
    EXPECT_EQ(edit.GetFileWidth(rotated), 180);
    EXPECT_EQ(edit.GetFileHeight(rotated), 320);
    EXPECT_EQ(edit.GetFileWidth(anamorphic), 512);
    EXPECT_EQ(edit.GetFileHeight(anamorphic), 288);
}

struct ShapeCase {
    const char *label;
    std::function<QString()> source;
    int type;
    int stretch;
    std::function<void(TVideoEdit &, const QString &)> setup;
    int width, height;   // of the output frame
    const char *area;    // where the picture is in it
    const char *dar;     // display aspect of the output ("" when the type fixes it)
};

void PrintTo(const ShapeCase &c, std::ostream *os) { *os << c.label; }

// AVI at the source's own size, as the window writes it for "原视频尺寸".
void AviSourceSize(TVideoEdit &e, const QString &src)
{
    e.setOutputFileWidth(e.GetFileWidth(src));
    e.setOutputFileHeight(e.GetFileHeight(src));
    e.setFrameRate(25.f);
    e.setUseVideoCompressor(true);
    e.setVideoCompressor(0);
    e.setUseAudioCompressor(false);
}

void Mpeg352x240(TVideoEdit &e, const QString &)
{
    e.setFrameRate(25.f);
    e.setOutputFileWidth(352);
    e.setOutputFileHeight(240);
}

const auto kDisc = [](TVideoEdit &, const QString &) {};

const ShapeCase kShapes[] = {
    {"RotatedAviSourceSize", RotatedClip, 8, 0, AviSourceSize, 180, 320, "180:320:0:0", "9:16"},
    {"RotatedVcdPalKeepAspect", RotatedClip, 0, 2, kDisc, 352, 288, "148:288:102:0", ""},
    {"RotatedVcdPalStretch", RotatedClip, 0, 0, kDisc, 352, 288, "352:288:0:0", ""},
    {"RotatedSvcdNtscKeepAspect", RotatedClip, 3, 2, kDisc, 480, 480, "202:480:138:0", ""},
    {"RotatedDvdNtscKeepAspect", RotatedClip, 5, 2, kDisc, 720, 480, "304:480:208:0", ""},
    {"RotatedMpeg1", RotatedClip, 6, 2, Mpeg352x240, 352, 240, "352:240:0:0", ""},
    {"RotatedWmv", RotatedClip, 9, 2, [](TVideoEdit &e, const QString &) { e.setWMVProfile(4); }, 320, 240,
     "320:240:0:0", ""},
    {"AnamorphicAviSourceSize", AnamorphicClip, 8, 0, AviSourceSize, 512, 288, "512:288:0:0", "16:9"},
    {"AnamorphicDvdPalKeepAspect", AnamorphicClip, 4, 2, kDisc, 720, 576, "720:432:0:72", ""},
    {"AnamorphicDvdPalStretch", AnamorphicClip, 4, 0, kDisc, 720, 576, "720:576:0:0", ""},
    {"AnamorphicVcdNtscKeepAspect", AnamorphicClip, 1, 2, kDisc, 352, 240, "352:180:0:30", ""},
    {"AnamorphicMpeg2", AnamorphicClip, 7, 2, Mpeg352x240, 352, 240, "352:240:0:0", ""},
};

class VideoEditShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(VideoEditShape, ShowsThePictureUprightInItsShape)
{
    const ShapeCase &c = GetParam();
    const QString src = c.source();
    ASSERT_FALSE(src.isEmpty());
    TVideoEdit edit;
    edit.setOutputType(c.type);
    c.setup(edit, src);
    edit.setVideoSampleSize(24);
    SetClip(edit, src, 0, 1, c.stretch);
    const QString out = OutputPath(QStringLiteral("shape %1.out").arg(QString::fromLatin1(c.label)));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();

    EXPECT_EQ(ProbeInt(out, QStringLiteral("stream=width"), QStringLiteral("v:0")), c.width);
    EXPECT_EQ(ProbeInt(out, QStringLiteral("stream=height"), QStringLiteral("v:0")), c.height);
    if (*c.dar) {
        EXPECT_EQ(ProbeValue(out, QStringLiteral("stream=display_aspect_ratio"), QStringLiteral("v:0")),
                  QString::fromLatin1(c.dar));
    }
    EXPECT_EQ(PictureArea(out), QString::fromLatin1(c.area));
    // Turned the right way: a picture on its side or upside down is far less alike (< 12 dB).
    EXPECT_GT(FirstPictureLikeness(out, QString::fromLatin1(c.area), src), 20.0);
}

INSTANTIATE_TEST_SUITE_P(Sources, VideoEditShape, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<ShapeCase> &i) { return std::string(i.param.label); });

} // namespace
