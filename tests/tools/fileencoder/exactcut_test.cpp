// FileEncoder -exact on generated clips with a keyframe every 2 s: the piece starts on the
// asked picture, the pictures from the next keyframe on are the source's bit for bit, and
// the sound starts with the first picture.

#include "encoderprocess.h"
#include "support/clips.h"
#include "support/picturecompare.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using kc::test::ClipRecipe;
using kc::test::CutArgs;
using kc::test::DecodeErrors;
using kc::test::MakeClip;
using kc::test::RunEncoder;
using kc::test::RunTool;
using kc::test::FrameChecksums;
using kc::test::GraphPsnr;

namespace {

struct Frame {
    double pts = NAN;
    bool key = false;
};

// The decoded pictures of the first video stream, in showing order.
std::vector<Frame> VideoFrames(const QString &file)
{
    const QString text = RunTool(QStringLiteral("ffprobe"),
                                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                  QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                                  QStringLiteral("frame=best_effort_timestamp_time,key_frame"),
                                  QStringLiteral("-of"), QStringLiteral("csv=p=0"), file});
    std::vector<Frame> frames;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() < 2)
            continue;
        Frame fr;
        fr.key = f[0].trimmed() == QLatin1String("1");
        fr.pts = f[1].trimmed().toDouble();
        frames.push_back(fr);
    }
    return frames;
}

double FirstTime(const QString &file, const QString &stream)
{
    return RunTool(QStringLiteral("ffprobe"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), stream,
                    QStringLiteral("-show_entries"), QStringLiteral("frame=best_effort_timestamp_time"),
                    QStringLiteral("-read_intervals"), QStringLiteral("%+#1"), QStringLiteral("-of"),
                    QStringLiteral("csv=p=0"), file})
        .section(QLatin1Char('\n'), 0, 0)
        .section(QLatin1Char(','), 0, 0) // side data may follow on the line
        .trimmed()
        .toDouble();
}

// PSNR of the piece's first picture against the source's picture number sourceIndex.
double FirstPicturePsnr(const QString &piece, const QString &source, size_t sourceIndex)
{
    const QString graph = QStringLiteral("[0:v]trim=end_frame=1,setpts=PTS-STARTPTS[a];"
                                         "[1:v]trim=start_frame=%1:end_frame=%2,setpts=PTS-STARTPTS[b];[a][b]psnr")
                              .arg(sourceIndex)
                              .arg(sourceIndex + 1);
    return GraphPsnr({QStringLiteral("-i"), piece, QStringLiteral("-i"), source}, graph);
}

struct ExactCase {
    const char *name;
    const char *extension;
    const char *videoCodec;
    const char *audioCodec;
    QStringList extra;
};

void PrintTo(const ExactCase &c, std::ostream *os) { *os << c.name; }

class ExactCut : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactCut, StartsOnTheAskedPictureAndCopiesFromTheNextKeyframe)
{
    const ExactCase &c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("src.") + QLatin1String(c.extension));
    const QString piece = dir.filePath(QStringLiteral("piece.") + QLatin1String(c.extension));
    ClipRecipe recipe;
    recipe.seconds = 6.0;
    recipe.gop = 50;
    recipe.videoCodec = QLatin1String(c.videoCodec);
    recipe.audioCodec = QLatin1String(c.audioCodec);
    recipe.sampleRate = 48000;
    recipe.extraOutputArgs = c.extra;
    QString log;
    ASSERT_TRUE(MakeClip(source, recipe, &log)) << log.toStdString();

    // 1.24 s is picture 31 of a 2 s group: 19 pictures to encode before the next keyframe.
    QStringList args = CutArgs(source, QStringLiteral("00:00:01.240"), QStringLiteral("00:00:03.000"), piece);
    args.insert(5, QStringLiteral("-exact"));
    const kc::test::EncoderRun run = RunEncoder(args);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QLatin1String("exact"))) << run.err.toStdString();
    EXPECT_EQ(DecodeErrors(piece), QString());

    // The asked picture: the first that shows at or after the asked time.
    const std::vector<Frame> src = VideoFrames(source);
    const double fileStart =
        kc::test::ProbeValue(source, QStringLiteral("format=start_time")).toDouble();
    size_t asked = 0;
    while (asked < src.size() && src[asked].pts < fileStart + 1.24 - 0.001)
        ++asked;
    size_t nextKey = asked + 1;
    while (nextKey < src.size() && !src[nextKey].key)
        ++nextKey;
    ASSERT_LT(nextKey, src.size());
    ASSERT_FALSE(src[asked].key) << "the case must start between keyframes";

    EXPECT_GE(FirstPicturePsnr(piece, source, asked), 30.0);

    const QStringList pieceHashes = FrameChecksums(piece);
    const QStringList sourceHashes = FrameChecksums(source);
    const int head = static_cast<int>(nextKey - asked);
    // The 3 s asked for: the picture at the end, where a following piece starts, is not in it.
    ASSERT_EQ(pieceHashes.size(), 75);
    // From the next keyframe on the source's pictures as they are, up to the last keyframe
    // before the end; after it, pictures that only come with the one at the end are
    // encoded again.
    size_t lastKey = asked + 74;
    while (!src[lastKey].key)
        --lastKey;
    ASSERT_GT(lastKey, nextKey);
    EXPECT_EQ(pieceHashes.mid(head, static_cast<int>(lastKey - nextKey)),
              sourceHashes.mid(static_cast<int>(nextKey), static_cast<int>(lastKey - nextKey)));
    const QList<double> psnr = kc::test::PicturePsnr(piece, source, static_cast<int>(asked));
    ASSERT_EQ(psnr.size(), 75);
    for (int i = 0; i < psnr.size(); ++i)
        EXPECT_GE(psnr[i], 30.0) << "picture " << i;

    // One stream of pictures, in time.
    const std::vector<Frame> out = VideoFrames(piece);
    for (size_t i = 1; i < out.size(); ++i)
        ASSERT_GT(out[i].pts, out[i - 1].pts) << "picture " << i;

    const double video = FirstTime(piece, QStringLiteral("v:0"));
    const double sound = FirstTime(piece, QStringLiteral("a:0"));
    EXPECT_LT(std::abs(sound - video), 0.02) << "video " << video << " sound " << sound;
}

const QStringList kH264 = {QStringLiteral("-bf"), QStringLiteral("2"), QStringLiteral("-sc_threshold"),
                           QStringLiteral("0"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")};

INSTANTIATE_TEST_SUITE_P(
    Codecs, ExactCut,
    ::testing::Values(ExactCase{"H264_MP4", "mp4", "libx264", "aac", kH264},
                      ExactCase{"H264_MKV", "mkv", "libx264", "aac", kH264},
                      ExactCase{"H264_MOV", "mov", "libx264", "aac", kH264},
                      ExactCase{"H264_TS", "ts", "libx264", "aac", kH264},
                      ExactCase{"MPEG4_AVI", "avi", "mpeg4", "libmp3lame", {QStringLiteral("-b:v"), QStringLiteral("800k")}},
                      ExactCase{"MPEG2_PS", "mpg", "mpeg2video", "mp2",
                                {QStringLiteral("-bf"), QStringLiteral("2"), QStringLiteral("-b:v"),
                                 QStringLiteral("1500k"), QStringLiteral("-f"), QStringLiteral("vob")}},
                      ExactCase{"MPEG2_TS", "ts", "mpeg2video", "mp2",
                                {QStringLiteral("-bf"), QStringLiteral("2"), QStringLiteral("-b:v"),
                                 QStringLiteral("1500k")}}),
    [](const ::testing::TestParamInfo<ExactCase> &info) { return std::string(info.param.name); });

struct RefusedCase {
    const char *name;
    const char *extension;
    const char *videoCodec;
    const char *audioCodec;
    QStringList extra;
    // The keyframe copy of an open-GOP H.264 stream still makes the decoder warn about
    // references of dropped leading pictures; that belongs to the plain copy, not to -exact.
    bool decodesClean = true;
};

void PrintTo(const RefusedCase &c, std::ostream *os) { *os << c.name; }

class ExactCutRefusal : public ::testing::TestWithParam<RefusedCase> {};

// A video without an exact cut says so in one line and copies from the keyframe before.
TEST_P(ExactCutRefusal, StartsAtTheKeyframeAndSaysSo)
{
    const RefusedCase &c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("src.") + QLatin1String(c.extension));
    const QString piece = dir.filePath(QStringLiteral("piece.") + QLatin1String(c.extension));
    ClipRecipe recipe;
    recipe.seconds = 4.0;
    recipe.gop = 25;
    recipe.videoCodec = QLatin1String(c.videoCodec);
    recipe.audioCodec = QLatin1String(c.audioCodec);
    recipe.extraOutputArgs = c.extra;
    QString log;
    ASSERT_TRUE(MakeClip(source, recipe, &log)) << log.toStdString();
    QStringList args = CutArgs(source, QStringLiteral("00:00:01.400"), QStringLiteral("00:00:01.000"), piece);
    args.insert(5, QStringLiteral("-exact"));
    const kc::test::EncoderRun run = RunEncoder(args);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QLatin1String("-exact:"))) << run.err.toStdString();
    if (c.decodesClean) {
        EXPECT_EQ(DecodeErrors(piece), QString());
    }
    // The keyframe before the asked time starts the piece, as without the option.
    const std::vector<Frame> src = VideoFrames(source);
    const double fileStart = kc::test::ProbeValue(source, QStringLiteral("format=start_time")).toDouble();
    int key = -1;
    for (size_t i = 0; i < src.size() && src[i].pts <= fileStart + 1.4; ++i)
        if (src[i].key)
            key = static_cast<int>(i);
    ASSERT_GT(key, 0);
    const QStringList pieceHashes = FrameChecksums(piece);
    const QStringList sourceHashes = FrameChecksums(source);
    ASSERT_FALSE(pieceHashes.isEmpty());
    EXPECT_EQ(pieceHashes.front(), sourceHashes.value(key));
}

INSTANTIATE_TEST_SUITE_P(
    Videos, ExactCutRefusal,
    ::testing::Values(RefusedCase{"MPEG1_PS", "mpg", "mpeg1video", "mp2", {}},
                      RefusedCase{"MPEG4_BFRAMES_AVI", "avi", "mpeg4", "libmp3lame",
                                  {QStringLiteral("-bf"), QStringLiteral("2")}},
                      RefusedCase{"H264_OPEN_GOP_MKV", "mkv", "libx264", "aac",
                                  {QStringLiteral("-bf"), QStringLiteral("3"), QStringLiteral("-sc_threshold"),
                                   QStringLiteral("0"), QStringLiteral("-x264-params"), QStringLiteral("open-gop=1"),
                                   QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")},
                                  false}),
    [](const ::testing::TestParamInfo<RefusedCase> &info) { return std::string(info.param.name); });

// Asked on a keyframe, the exact cut is a plain copy: nothing is encoded again.
TEST(ExactCutOnKeyframe, CopiesEveryPicture)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("src.mp4"));
    const QString piece = dir.filePath(QStringLiteral("piece.mp4"));
    ClipRecipe recipe;
    recipe.seconds = 5.0;
    recipe.gop = 50;
    recipe.videoCodec = QStringLiteral("libx264");
    recipe.audioCodec = QStringLiteral("aac");
    recipe.extraOutputArgs = kH264;
    QString log;
    ASSERT_TRUE(MakeClip(source, recipe, &log)) << log.toStdString();
    QStringList args = CutArgs(source, QStringLiteral("00:00:02.000"), QStringLiteral("00:00:02.000"), piece);
    args.insert(5, QStringLiteral("-exact"));
    const kc::test::EncoderRun run = RunEncoder(args);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, QString());
    const QStringList pieceHashes = FrameChecksums(piece);
    const QStringList sourceHashes = FrameChecksums(source);
    EXPECT_EQ(pieceHashes, sourceHashes.mid(50, pieceHashes.size()));
    EXPECT_EQ(pieceHashes.size(), 50);
}

} // namespace

namespace {

// SIGTERM while the pictures before the next keyframe are being encoded: nothing is left
// at the output path.
TEST(ExactCutStop, TerminatedMidwayLeavesNoFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("long.mp4"));
    const QString piece = dir.filePath(QStringLiteral("piece.mp4"));
    ClipRecipe recipe;
    recipe.seconds = 12.0;
    recipe.width = 640;
    recipe.height = 480;
    recipe.gop = 300; // one group: the head runs to the end of the clip
    recipe.videoCodec = QStringLiteral("libx264");
    recipe.audioCodec = QStringLiteral("aac");
    recipe.extraOutputArgs = {QStringLiteral("-preset"), QStringLiteral("ultrafast")};
    recipe.extraOutputArgs += kH264;
    QString log;
    ASSERT_TRUE(MakeClip(source, recipe, &log)) << log.toStdString();

    QStringList args = CutArgs(source, QStringLiteral("00:00:00.520"), QStringLiteral("00:00:11.000"), piece);
    args.insert(5, QStringLiteral("-exact"));
    QProcess p;
    p.start(kc::test::EncoderPath(), args);
    ASSERT_TRUE(p.waitForStarted(10000));
    bool writing = false;
    for (int i = 0; i < 1000 && !writing && p.state() == QProcess::Running; ++i) {
        p.waitForReadyRead(10);
        writing = QFileInfo::exists(piece);
    }
    ASSERT_TRUE(writing) << "the cut ended before it could be stopped: " << p.readAllStandardError().toStdString();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(piece));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("long.mp4")});
}

} // namespace
