// Consecutive lossless pieces of open-GOP video (MPEG-2, H.264 as x264 writes it for Blu-ray
// and broadcast, HEVC as x265 writes it by default, MPEG-4 with B-pictures in AVI): the
// pictures shown just before a cut refer to the next GOP's first picture, which belongs to
// the next piece. Together the pieces must still show every picture of the source once, in
// order, and decode cleanly.
#include "support/clips.h"
#include "support/mediachecks.h"
#include "support/picturecompare.h"
#include "support/realworldclips.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kc::test {
namespace {

// PSNR of picture `index` of a piece against picture `sourceIndex` of the source.
double PicturePsnr(const QString &piece, int index, const QString &source, int sourceIndex)
{
    const QString graph = QStringLiteral("[0:v]select=eq(n\\,%1),setpts=PTS-STARTPTS[a];"
                                         "[1:v]select=eq(n\\,%2),setpts=PTS-STARTPTS[b];[a][b]psnr")
                              .arg(index)
                              .arg(sourceIndex);
    return GraphPsnr({"-i", piece, "-i", source}, graph);
}

struct OpenGopCase {
    const char *name;
    const char *file;
    QString make; // shell command; %1 is the output path
    QStringList programs;
    // How close a picture written anew must come to the source's: MPEG-2's are rewritten
    // sample for sample where the coding allows, H.264's encoded again.
    double minPsnr = 50.0;
};

void PrintTo(const OpenGopCase &c, std::ostream *os) { *os << c.name; }

// x264 with open GOPs (keyframes that are not IDR pictures, B-pictures before them that
// refer back across), muxed with sound into %1 by ffmpeg; extra: ffmpeg's video options.
QString X264OpenGop(const QString &extra)
{
    return QStringLiteral("ffmpeg -v error -f lavfi -i testsrc2=s=320x240:r=25 -t 6 -pix_fmt yuv420p "
                          "-f yuv4mpegpipe - | x264 --quiet --no-progress --open-gop --keyint 25 --min-keyint 25 "
                          "--scenecut 0 --bframes 3 --demuxer y4m -o %1.mkv - && "
                          "ffmpeg -v error -i %1.mkv -f lavfi -i sine=sample_rate=48000 -t 6 -c:v copy ")
           + extra + QStringLiteral(" -c:a aac %1");
}

// x265's default open GOPs (CRA keyframes, leading pictures that refer back across them),
// encoded and muxed with sound into %1 by ffmpeg.
const QString kX265OpenGop =
    QStringLiteral("ffmpeg -v error -f lavfi -i testsrc2=s=320x240:r=25 -f lavfi -i sine=sample_rate=48000 -t 6 "
                   "-c:v libx265 -x265-params log-level=error:open-gop=1:keyint=25:min-keyint=25:scenecut=0:bframes=3 "
                   "-c:a aac %1");

// The same from GStreamer, whose MP4 muxer writes the hvc1 form (parameter sets in the sample
// description).
const QString kGstX265OpenGopMp4 = QStringLiteral(
    "gst-launch-1.0 -q videotestsrc num-buffers=150 pattern=smpte horizontal-speed=3 "
    "! video/x-raw,format=I420,width=320,height=240,framerate=25/1 "
    "! x265enc option-string=open-gop=1:keyint=25:min-keyint=25:scenecut=0:bframes=3:log-level=error "
    "! h265parse ! queue ! mp4mux name=m ! filesink location=%1 "
    "audiotestsrc num-buffers=282 samplesperbuffer=1024 ! audio/x-raw,rate=48000 ! audioconvert ! avenc_aac "
    "! aacparse ! queue ! m.");

class SplitCliOpenGop : public ::testing::TestWithParam<OpenGopCase> {};

TEST_P(SplitCliOpenGop, PiecesTogetherShowEveryPictureOnce)
{
    const OpenGopCase &c = GetParam();
    for (const QString &program : c.programs) {
        if (!HaveProgram(program))
            GTEST_SKIP() << program.toStdString() << " is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.path() + QStringLiteral("/out/");
    ASSERT_TRUE(QDir().mkpath(out));
    const QString source = dir.filePath(QString::fromLatin1(c.file));
    int code = -1;
    QString err;
    RunTool(QStringLiteral("sh"), {"-c", c.make.arg(source)}, &code, &err);
    ASSERT_EQ(code, 0) << err.toStdString();

    RunTool(BinDir() + QStringLiteral("kestrelcut-split"), {source, "--parts", "3", "--copy", "--output", out}, &code, &err);
    ASSERT_EQ(code, 0) << err.toStdString();
    const QStringList pieces = QDir(out).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(pieces.size(), 3);

    const QStringList wanted = FrameChecksums(source);
    int at = 0;
    for (const QString &name : pieces) {
        const QString piece = out + name;
        SCOPED_TRACE(piece.toStdString());
        EXPECT_EQ(DecodeErrors(piece), QString());
        EXPECT_NEAR(StreamSeconds(piece, "a:0"), StreamSeconds(piece, "v:0"), 0.1);
        const QStringList sums = FrameChecksums(piece);
        for (int i = 0; i < sums.size(); ++i, ++at) {
            ASSERT_LT(at, wanted.size()) << "more pictures than the source";
            if (sums.at(i) == wanted.at(at))
                continue;
            // Only the pictures written anew before a cut may differ, by a step here and there.
            EXPECT_GE(i, sums.size() - 3) << "picture " << at << " differs";
            EXPECT_GE(PicturePsnr(piece, i, source, at), c.minPsnr) << "picture " << at;
        }
    }
    EXPECT_EQ(at, wanted.size()) << "pictures in the pieces";
}

INSTANTIATE_TEST_SUITE_P(
    Sources, SplitCliOpenGop,
    ::testing::Values(
        OpenGopCase{"ProgramStream", "open.vob",
                    "ffmpeg -v error -f lavfi -i testsrc2=s=320x240:r=25 -f lavfi -i sine=sample_rate=48000 -t 6 "
                    "-c:v mpeg2video -g 12 -bf 2 -flags -cgop -c:a mp2 -f vob %1",
                    {"ffmpeg"}},
        OpenGopCase{"TransportStream", "open.ts",
                    "ffmpeg -v error -f lavfi -i testsrc2=s=320x240:r=25 -f lavfi -i sine=sample_rate=48000 -t 6 "
                    "-c:v mpeg2video -g 15 -bf 2 -flags -cgop -c:a mp2 %1",
                    {"ffmpeg"}},
        // mpeg2enc writes open GOPs and one sequence header for the whole stream.
        OpenGopCase{"Mpeg2encMplex", "open.mpg",
                    "ffmpeg -v error -f lavfi -i testsrc2=s=352x288:r=25 -t 6 -pix_fmt yuv420p -f yuv4mpegpipe - "
                    "| mpeg2enc -v 0 -f 3 -b 3000 -o %1.m2v && "
                    "ffmpeg -v error -f lavfi -i sine=sample_rate=48000 -t 6 -c:a mp2 %1.mp2 && "
                    "mplex -v 0 -f 3 -o %1 %1.m2v %1.mp2",
                    {"ffmpeg", "mpeg2enc", "mplex"}},
        OpenGopCase{"X264Mp4", "open.mp4", X264OpenGop(QString()), {"ffmpeg", "x264"}, 30.0},
        OpenGopCase{"X264Matroska", "open.mkv", X264OpenGop(QString()), {"ffmpeg", "x264"}, 30.0},
        // As broadcasts carry it: the parameter sets repeated before every keyframe.
        OpenGopCase{"X264TransportStream", "open.ts",
                    X264OpenGop(QStringLiteral("-bsf:v h264_mp4toannexb,dump_extra=freq=keyframe")),
                    {"ffmpeg", "x264"}, 30.0},
        // As ffmpeg remuxes it from Matroska: the parameter sets only before IDR pictures,
        // that is once at the start; every later piece needs them put in front.
        OpenGopCase{"X264TransportStreamOneHeader", "open.ts", X264OpenGop(QString()), {"ffmpeg", "x264"}, 30.0},
        // ffmpeg's MPEG-4 with B-pictures in AVI: open GOPs, and no presentation times to
        // tell the order pictures show in.
        OpenGopCase{"Mpeg4Avi", "open.avi",
                    "ffmpeg -v error -f lavfi -i testsrc2=s=320x240:r=25 -f lavfi -i sine=sample_rate=44100 -t 6 "
                    "-c:v mpeg4 -bf 2 -g 25 -q:v 3 -c:a libmp3lame %1",
                    {"ffmpeg"}, 30.0},
        OpenGopCase{"X265Matroska", "open.mkv", kX265OpenGop, {"ffmpeg"}, 30.0},
        OpenGopCase{"X265TransportStream", "open.ts", kX265OpenGop, {"ffmpeg"}, 30.0},
        OpenGopCase{"GStreamerX265Mp4", "open.mp4", kGstX265OpenGopMp4, {"gst-launch-1.0"}, 30.0}),
    [](const ::testing::TestParamInfo<OpenGopCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace kc::test
