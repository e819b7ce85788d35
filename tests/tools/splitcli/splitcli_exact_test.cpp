// kestrelcut-split --copy --exact run as a process on small generated clips whose cuts fall
// between keyframes: the pieces start on their planned pictures and together hold the
// source's pictures once each, copied ones bit for bit.
#include "support/clips.h"
#include "support/mediachecks.h"
#include "splitrun.h"
#include "support/picturecompare.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <cmath>
#include <vector>

namespace kc::test {
namespace {

// Where the stream's first decoded frame and its last one end, in seconds.
struct Span {
    double first = 0;
    double end = 0;
};

Span StreamSpan(const QString &file, const QString &stream)
{
    const QString text = RunTool(QStringLiteral("ffprobe"),
                                 {"-v", "error", "-select_streams", stream, "-show_entries",
                                  "frame=best_effort_timestamp_time,duration_time", "-of", "csv=p=0", file});
    Span s{1e9, 0};
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const double at = line.section(QLatin1Char(','), 0, 0).toDouble(&ok);
        if (!ok)
            continue;
        s.first = std::min(s.first, at);
        s.end = std::max(s.end, at + line.section(QLatin1Char(','), 1, 1).toDouble());
    }
    return s;
}

class SplitCliExact : public SplitIntoFolder {};

struct ExactCase {
    const char *name;
    const char *file;
    const char *videoCodec;
    const char *audioCodec;
    QStringList extra;
    const char *rate = "25";
    int gop = 50;
};

void PrintTo(const ExactCase &c, std::ostream *os) { *os << c.name; }

class SplitCliExactContainer : public SplitCliExact, public ::testing::WithParamInterface<ExactCase> {};

// 7 s with a keyframe every 50 pictures (or only one), in 3 parts: both cuts fall inside a
// group of pictures.
TEST_P(SplitCliExactContainer, PiecesStartOnTheirPlannedPictureAndHoldEveryPictureOnce)
{
    const ExactCase &c = GetParam();
    const QString source = dir.filePath(QString::fromLatin1(c.file));
    ClipRecipe recipe;
    recipe.seconds = 7;
    recipe.videoCodec = QString::fromLatin1(c.videoCodec);
    recipe.audioCodec = QString::fromLatin1(c.audioCodec);
    recipe.sampleRate = 48000;
    recipe.rate = QString::fromLatin1(c.rate);
    recipe.gop = c.gop;
    recipe.extraOutputArgs = c.extra;
    QString log;
    ASSERT_TRUE(MakeClip(source, recipe, &log)) << log.toStdString();

    const SplitRun r = RunSplit({source, "--parts", "3", "--copy", "--exact", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("3 pieces written"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("--exact"))) << r.err.toStdString();
    const QStringList pieces = Pieces();
    ASSERT_EQ(pieces.size(), 3) << r.err.toStdString();

    const std::vector<PictureTime> src = PictureTimes(source);
    const QStringList sourceSums = PictureChecksums(source);
    ASSERT_EQ(static_cast<size_t>(sourceSums.size()), src.size());
    const QStringList rate = QString::fromLatin1(c.rate).split(QLatin1Char('/'));
    const double frame = rate.size() == 2 ? rate[1].toDouble() / rate[0].toDouble() : 1.0 / rate[0].toDouble();
    const double length = ProbeValue(source, QStringLiteral("format=duration")).toDouble();

    QStringList joined;
    QStringList joinedSound;
    std::vector<int> firsts; // the source picture each piece starts on
    for (int i = 0; i < pieces.size(); ++i) {
        const QString &piece = pieces.at(i);
        SCOPED_TRACE(piece.toStdString());
        EXPECT_EQ(QFileInfo(piece).fileName(), QStringLiteral("%1_new(%2).%3")
                                                   .arg(QFileInfo(source).completeBaseName())
                                                   .arg(i + 1)
                                                   .arg(QFileInfo(source).suffix()));
        EXPECT_EQ(DecodeErrors(piece), QString());
        const int first = static_cast<int>(joined.size());
        firsts.push_back(first);
        // The planned start's picture, not the keyframe before it.
        ASSERT_LT(static_cast<size_t>(first), src.size());
        EXPECT_NEAR(src[static_cast<size_t>(first)].seconds, length * i / 3, frame);

        const QStringList sums = PictureChecksums(piece);
        const QList<double> psnr = PicturePsnr(piece, source, first);
        ASSERT_EQ(psnr.size(), sums.size());
        for (int k = 0; k < psnr.size(); ++k)
            EXPECT_GE(psnr[k], 30.0) << "picture " << k;
        joined << sums;
        joinedSound << SoundPacketChecksums(piece);

        // The sound starts with the first picture and lasts as long as the pictures.
        const Span video = StreamSpan(piece, QStringLiteral("v:0"));
        const Span sound = StreamSpan(piece, QStringLiteral("a:0"));
        EXPECT_LT(std::abs(sound.first - video.first), frame / 2) << video.first << " " << sound.first;
        EXPECT_NEAR(sound.end - sound.first, video.end - video.first, 0.06);
    }
    ASSERT_EQ(joined.size(), sourceSums.size());
    // Pictures are encoded again only in the groups a cut falls in; all others are copied.
    for (int k = 0; k < joined.size(); ++k) {
        if (joined[k] == sourceSums[k])
            continue;
        bool nearCut = false;
        for (size_t p = 1; p < firsts.size(); ++p) {
            int groupStart = firsts[p];
            while (groupStart > 0 && !src[static_cast<size_t>(groupStart)].key)
                --groupStart;
            int groupEnd = firsts[p] + 1;
            while (static_cast<size_t>(groupEnd) < src.size() && !src[static_cast<size_t>(groupEnd)].key)
                ++groupEnd;
            nearCut = nearCut || (k >= groupStart && k < groupEnd);
        }
        EXPECT_TRUE(nearCut) << "picture " << k << " is not the source's";
    }
    // The sound is cut at the same instants: no block in two pieces, none lost. (An
    // encoder-delay block before the first picture, as MP4 keeps AAC's, starts no piece.)
    const qsizetype sound = SoundPacketChecksums(source).size();
    EXPECT_TRUE(joinedSound.size() == sound || joinedSound.size() == sound - 1)
        << joinedSound.size() << " packets in the pieces, " << sound << " in the source";
}

const QStringList kH264 = {"-bf", "2", "-sc_threshold", "0", "-pix_fmt", "yuv420p"};

INSTANTIATE_TEST_SUITE_P(
    Containers, SplitCliExactContainer,
    ::testing::Values(ExactCase{"H264_MP4", "clip.mp4", "libx264", "aac", kH264},
                      ExactCase{"H264_MKV", "clip.mkv", "libx264", "aac", kH264},
                      // Millisecond timestamps that do not divide the picture's time, and
                      // B-pictures that are references themselves.
                      ExactCase{"H264_MKV_NTSC_PYRAMID", "ntsc.mkv", "libx264", "aac",
                                kH264 + QStringList{"-bf", "3", "-x264-params", "b-pyramid=normal"}, "30000/1001"},
                      // One group for the whole clip: the keyframe before a cut lies far back.
                      ExactCase{"H264_TS_ONE_GROUP", "clip.ts", "libx264", "mp2", kH264, "25", 250},
                      ExactCase{"MPEG2_PS", "clip.mpg", "mpeg2video", "mp2", {"-bf", "2", "-b:v", "1500k", "-f", "vob"}},
                      ExactCase{"MPEG4_AVI", "clip.avi", "mpeg4", "libmp3lame", {}}),
    [](const ::testing::TestParamInfo<ExactCase> &info) { return std::string(info.param.name); });

// By time with a keyframe every 3 s: without --exact the pieces at 1, 2 and 4 s would join
// their neighbours; exact, each planned piece is a piece of its own.
TEST_F(SplitCliExact, EveryPlannedPieceIsWrittenNoneMerged)
{
    const QString source = dir.filePath(QStringLiteral("sparse.mp4"));
    const ClipRecipe recipe = RecipeOf("libx264", "aac", 75, kH264, 5);
    ASSERT_TRUE(MakeClip(source, recipe));

    const SplitRun r = RunSplit({source, "--every", "1", "--copy", "--exact", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("5 pieces written"))) << r.err.toStdString();
    const QStringList pieces = Pieces();
    ASSERT_EQ(pieces.size(), 5);
    QStringList joined;
    for (const QString &piece : pieces) {
        const QStringList sums = PictureChecksums(piece);
        EXPECT_EQ(sums.size(), 25) << piece.toStdString();
        EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
        joined << sums;
    }
    EXPECT_EQ(joined.size(), PictureChecksums(source).size());
}

// A timeline that starts 3 s before the first picture, as players show it: the planned
// pieces past the pictures are not written, and that is no failure.
TEST_F(SplitCliExact, PlannedPiecesPastTheLastPictureEndTheSplit)
{
    const QString source = dir.filePath(QStringLiteral("late.mp4"));
    const ClipRecipe recipe = RecipeOf("libx264", "aac", 50, {"-preset", "ultrafast", "-output_ts_offset", "3"}, 10);
    ASSERT_TRUE(MakeClip(source, recipe));

    const SplitRun r = RunSplit({source, "--every", "4", "--copy", "--exact", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList pieces = Pieces();
    ASSERT_FALSE(pieces.isEmpty());
    EXPECT_TRUE(r.err.contains(QStringLiteral("%1 pieces written").arg(pieces.size()))) << r.err.toStdString();
    QStringList joined;
    for (const QString &piece : pieces) {
        EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
        joined << PictureChecksums(piece);
    }
    EXPECT_EQ(joined.size(), PictureChecksums(source).size());
}

// A phone's video: pictures 24 to 42 ms apart. The pictures encoded again at a cut show
// when they showed in the source, as the copied ones do, not on an even grid.
TEST_F(SplitCliExact, AVariableFrameRateKeepsEveryPicturesTime)
{
    const QString source = dir.filePath(QStringLiteral("phone.mp4"));
    QString log;
    ASSERT_TRUE(RunFfmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=30:d=8", "-f", "lavfi", "-i",
                           "sine=sample_rate=48000:d=8", "-vf", "settb=1/90000,setpts=N*3000+mod(N*7\\,5)*200",
                           "-fps_mode", "passthrough", "-enc_time_base", "1:90000", "-video_track_timescale", "90000",
                           "-c:v", "libx264", "-preset", "ultrafast", "-g", "60", "-c:a", "aac", source},
                          &log))
        << log.toStdString();

    const SplitRun r = RunSplit({source, "--parts", "3", "--copy", "--exact", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const std::vector<PictureTime> src = PictureTimes(source);
    size_t at = 0; // the source's picture each piece starts with
    for (const QString &piece : Pieces()) {
        SCOPED_TRACE(piece.toStdString());
        EXPECT_EQ(DecodeErrors(piece), QString());
        const std::vector<PictureTime> got = PictureTimes(piece);
        ASSERT_FALSE(got.empty());
        ASSERT_LE(at + got.size(), src.size());
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_NEAR(got[k].seconds - got[0].seconds, src[at + k].seconds - src[at].seconds, 0.0005)
                << "picture " << k;
        }
        at += got.size();
    }
    EXPECT_EQ(at, src.size());
}

// Two videos (a broadcast's two services, a camera's second angle): the exact cut follows the
// main one, and says that the other is left out.
TEST_F(SplitCliExact, ASecondVideoIsLeftOutWithANote)
{
    const QString source = dir.filePath(QStringLiteral("two angles.mkv"));
    QString log;
    ASSERT_TRUE(RunFfmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=4", "-f", "lavfi", "-i",
                           "smptebars=s=160x120:r=25:d=4", "-f", "lavfi", "-i", "sine=sample_rate=48000:d=4", "-map",
                           "0", "-map", "1", "-map", "2", "-c:v", "libx264", "-preset", "ultrafast", "-g", "50", "-c:a",
                           "aac", source},
                          &log))
        << log.toStdString();

    const SplitRun r = RunSplit({source, "--parts", "2", "--copy", "--exact", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("video stream 1 (h264) is left out: an exact cut follows one video")))
        << r.err.toStdString();
    const QStringList pieces = Pieces();
    ASSERT_EQ(pieces.size(), 2);
    for (const QString &piece : pieces) {
        EXPECT_EQ(ProbeValue(piece, QStringLiteral("stream=codec_type")).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                  QStringList({"video", "audio"}))
            << piece.toStdString();
        EXPECT_EQ(ProbeValue(piece, QStringLiteral("stream=width"), QStringLiteral("v:0")).trimmed(), QStringLiteral("320"));
        EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
    }
}

// A range starts on the picture at its start and ends before the one at its end.
TEST_F(SplitCliExact, ARangeHoldsExactlyItsPictures)
{
    const QString source = dir.filePath(QStringLiteral("range.mkv"));
    const ClipRecipe recipe = RecipeOf("libx264", "aac", 50, kH264, 4);
    ASSERT_TRUE(MakeClip(source, recipe));

    const SplitRun r = RunSplit({source, "--range", "1.5", "3.1", "--copy", "--exact", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString piece = out + QStringLiteral("range_new0.mkv");
    ASSERT_EQ(r.out.trimmed(), piece);
    EXPECT_EQ(DecodeErrors(piece), QString());
    const std::vector<PictureTime> src = PictureTimes(source);
    int first = -1;
    int count = 0;
    for (size_t i = 0; i < src.size(); ++i) {
        if (src[i].seconds >= 1.5 - 0.001 && src[i].seconds < 3.1 - 0.001) {
            first = first < 0 ? static_cast<int>(i) : first;
            ++count;
        }
    }
    const QList<double> psnr = PicturePsnr(piece, source, first);
    ASSERT_EQ(psnr.size(), count);
    for (int k = 0; k < psnr.size(); ++k)
        EXPECT_GE(psnr[k], 30.0) << "picture " << k;
}

// A video the exact cut cannot do: one note line, and the pieces as a plain copy makes them.
TEST_F(SplitCliExact, AVideoWithoutExactCutsIsSplitOnKeyframesWithANote)
{
    const QString source = dir.filePath(QStringLiteral("old.mpg"));
    const ClipRecipe recipe = RecipeOf("mpeg1video", "mp2", 25, {"-bf", "0", "-f", "mpeg"}, 4);
    ASSERT_TRUE(MakeClip(source, recipe));

    const SplitRun r = RunSplit({source, "--parts", "3", "--copy", "--exact", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("--exact:")), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("the pieces start on keyframes"))) << r.err.toStdString();
    QStringList joined;
    for (const QString &piece : Pieces()) {
        EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
        joined << PictureChecksums(piece);
    }
    EXPECT_EQ(joined, PictureChecksums(source));
}

TEST_F(SplitCliExact, RefusalsExitWithOneAndWriteNothing)
{
    const QString source = dir.filePath(QStringLiteral("clip.mp4"));
    ClipRecipe recipe;
    recipe.seconds = 2;
    recipe.videoCodec = QStringLiteral("libx264");
    recipe.audioCodec = QStringLiteral("aac");
    ASSERT_TRUE(MakeClip(source, recipe));
    const struct {
        QStringList args;
        QString message;
    } cases[] = {
        {{"--parts", "2", "--exact"}, QStringLiteral("--exact makes the cuts of a copy frame-exact; it goes only with --copy")},
        {{"--parts", "2", "--exact", "--format", "avi"}, QStringLiteral("it goes only with --copy")},
        {{"--parts", "2", "--copy", "--exact", "--size", "320x240"}, QStringLiteral("cannot be combined with --size")},
        {{"--range", "0", "9", "--copy", "--exact"}, QStringLiteral("结束时间大于视频总时间，请重新设置!")},
    };
    for (const auto &c : cases) {
        const SplitRun r = RunSplit(QStringList{source, "--output", out} + c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_TRUE(Pieces().isEmpty());
}

// SIGTERM while a piece's pictures are being encoded again: the piece goes, written ones stay.
TEST_F(SplitCliExact, StoppedMidwayLeavesOnlyWholePieces)
{
    // One group of pictures for the whole clip: the second piece encodes 6 s again.
    const QString source = dir.filePath(QStringLiteral("long.mp4"));
    ClipRecipe recipe;
    recipe.seconds = 12;
    recipe.width = 640;
    recipe.height = 480;
    recipe.videoCodec = QStringLiteral("libx264");
    recipe.audioCodec = QStringLiteral("aac");
    recipe.gop = 300;
    recipe.extraOutputArgs = {"-preset", "ultrafast", "-bf", "2", "-sc_threshold", "0", "-pix_fmt", "yuv420p"};
    ASSERT_TRUE(MakeClip(source, recipe));

    QProcess p;
    p.start(SplitTool(), {source, "--parts", "2", "--copy", "--exact", "--output", out});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray err;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        p.waitForReadyRead(20);
        err += p.readAllStandardError();
        return err.contains("piece 2/2:") || p.state() != QProcess::Running;
    }, 30000));
    ASSERT_EQ(p.state(), QProcess::Running) << "the split ended before it could be stopped: " << err.toStdString();
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 128 + SIGTERM) << (err + p.readAllStandardError()).toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("long_new(1).mp4")});
    EXPECT_EQ(DecodeErrors(out + QStringLiteral("long_new(1).mp4")), QString());
}

} // namespace
} // namespace kc::test
