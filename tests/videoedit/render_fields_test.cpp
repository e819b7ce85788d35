// Interlaced sources (HD camcorders, broadcasts): the MPEG-2 disc types keep the fields, each
// scaled on its own; the other types show whole pictures, deinterlaced before scaling. Either
// way no picture mixes the lines of two moments.
#include "fixtures.h"
#include "support/picturecompare.h"


#include <gtest/gtest.h>

#include <ostream>

using namespace kc;
using namespace kc::test;

namespace {

// A pan at 50 pictures a second: every field of the interlaced clip woven from it is a
// moment of its own.
const QString kMoments = QStringLiteral("testsrc2=s=1600x540:r=50:d=2,crop=960:540:x='mod(n*12\\,640)'");

// 2 s of 960x540 H.264 at 25 interlaced pictures a second, top field first, in a transport
// stream as camcorders write it.
QString InterlacedClip()
{
    return MadeClip(QStringLiteral("interlaced.mts"),
                    {"-f", "lavfi", "-i", kMoments, "-f", "lavfi", "-i", "sine=r=48000:d=2", "-vf",
                     "tinterlace=interleave_top,setfield=tff", "-c:v", "libx264", "-preset", "veryfast", "-crf", "12",
                     "-flags", "+ildct+ilme", "-x264-params", "tff=1", "-c:a", "ac3", "-f", "mpegts"});
}

// The same moments as a camcorder's DV: 720x576, bottom field first.
QString DvClip()
{
    return MadeClip(QStringLiteral("camcorder dv.avi"),
                    {"-f", "lavfi", "-i", kMoments, "-f", "lavfi", "-i", "sine=r=48000:d=2", "-vf",
                     "scale=720:576,tinterlace=interleave_bottom,setfield=bff", "-c:v", "dvvideo", "-pix_fmt", "yuv420p",
                     "-c:a", "pcm_s16le"});
}

// PSNR (dB) of the pieces, one after the other, against the moments they show, both scaled
// to the pieces' picture area ("W:H:X:Y" in a frame of frameW x frameH): field by field when
// fields are kept, else each picture against the moment of its first field.
double LikenessToTheMoments(const QStringList &pieces, const QString &area, int frameW, int frameH, bool fields)
{
    const QStringList a = area.split(QLatin1Char(':'));
    if (a.size() != 4)
        return -1;
    const int w = a[0].toInt(), h = a[1].toInt(), x = a[2].toInt(), y = a[3].toInt();
    QStringList args;
    QString joined;
    for (int i = 0; i < pieces.size(); ++i) {
        args << "-i" << pieces.at(i);
        joined += QStringLiteral("[%1:v]").arg(i);
    }
    args << "-f" << "lavfi" << "-i" << kMoments;
    const QString graph =
        fields ? QStringLiteral("%1concat=n=%2:v=1:a=0,separatefields,setpts=N/50/TB[a];"
                                "[%2:v]scale=%3:%4,pad=%5:%6:%7:%8:black,setpts=N/50/TB[b];[a][b]psnr")
                     .arg(joined).arg(pieces.size()).arg(w).arg(h / 2).arg(frameW).arg(frameH / 2).arg(x).arg(y / 2)
               : QStringLiteral("%1concat=n=%2:v=1:a=0,setpts=N/25/TB[a];"
                                "[%2:v]select='not(mod(n\\,2))',scale=%3:%4,pad=%5:%6:%7:%8:black,setpts=N/25/TB[b];"
                                "[a][b]psnr")
                     .arg(joined).arg(pieces.size()).arg(w).arg(h).arg(frameW).arg(frameH).arg(x).arg(y);
    return GraphPsnr(args, graph);
}

struct FieldsCase {
    const char *label;
    QString (*source)();
    int type;
    void (*setup)(TVideoEdit &);
    int width, height;
    const char *order;   // the pieces' field order: "tt", "bb", or none for whole pictures
};

void PrintTo(const FieldsCase &c, std::ostream *os) { *os << c.label; }

class VideoEditFields : public ::testing::TestWithParam<FieldsCase> {};

// In two pieces, so that the picture the deinterlacer holds at a cut lands in its own piece.
TEST_P(VideoEditFields, NoPictureMixesTwoMoments)
{
    const FieldsCase &c = GetParam();
    const QString src = c.source();
    ASSERT_FALSE(src.isEmpty());
    TVideoEdit edit;
    edit.setOutputType(c.type);
    c.setup(edit);
    edit.setVideoSampleSize(24);
    const double duration = edit.GetFileDuration(src);
    QStringList outputs;
    for (int i = 0; i < 2; ++i) {
        edit.AddVideo(src, duration * i / 2, duration * (i + 1) / 2, 2);
        edit.AddAudio(src, duration * i / 2, duration * (i + 1) / 2);
        outputs << OutputPath(QStringLiteral("fields %1 %2.%3")
                                  .arg(QString::fromLatin1(c.label)).arg(i + 1)
                                  .arg(c.type == 8 ? QStringLiteral("avi") : QStringLiteral("mpg")));
    }
    const RenderOutcome r = SavePiecesAndWait(edit, outputs);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();

    int pictures = 0;
    for (const QString &o : outputs) {
        SCOPED_TRACE(o.toStdString());
        EXPECT_EQ(DecodeErrors(o), QString());
        const QString order = ProbeValue(o, QStringLiteral("stream=field_order"), QStringLiteral("v:0")).trimmed();
        if (*c.order)
            EXPECT_EQ(order.toStdString(), c.order);
        else
            EXPECT_TRUE(order == QLatin1String("progressive") || order == QLatin1String("unknown")) << order.toStdString();
        EXPECT_NEAR(SoundSeconds(o), PictureSeconds(o), 0.05);
        pictures += CountVideoFrames(o);
    }
    EXPECT_EQ(pictures, 50); // the source's, none held back at the cut or the end
    const QString area = PictureArea(outputs.first());
    // Lines of the other moment in a picture (scaled across fields, or not deinterlaced)
    // show as ghosts: 25 to 27 dB here, against 38 to 41 dB without.
    EXPECT_GT(LikenessToTheMoments(outputs, area, c.width, c.height, *c.order != 0), 33.0) << "area " << area.toStdString();
}

void DiscDefaults(TVideoEdit &) {}

// AVI of the source's shape at its rate.
void WideAvi(TVideoEdit &e)
{
    e.setOutputFileWidth(480);
    e.setOutputFileHeight(270);
    e.setFrameRate(25.f);
    e.setUseVideoCompressor(true);
    e.setVideoCompressor(0);
    e.setUseAudioCompressor(false);
}

const FieldsCase kFields[] = {
    {"DvdPal", InterlacedClip, 4, DiscDefaults, 720, 576, "tt"},
    {"SvcdPal", InterlacedClip, 2, DiscDefaults, 480, 576, "tt"},
    {"VcdPal", InterlacedClip, 0, DiscDefaults, 352, 288, ""},
    {"Avi", InterlacedClip, 8, WideAvi, 480, 270, ""},
    // DV says nothing of fields in its stream header, only in its pictures.
    {"DvToDvdPal", DvClip, 4, DiscDefaults, 720, 576, "bb"},
    {"DvToVcdPal", DvClip, 0, DiscDefaults, 352, 288, ""},
};

INSTANTIATE_TEST_SUITE_P(Types, VideoEditFields, ::testing::ValuesIn(kFields),
                         [](const ::testing::TestParamInfo<FieldsCase> &i) { return std::string(i.param.label); });

} // namespace
