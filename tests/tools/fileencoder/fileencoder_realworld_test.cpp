// FileEncoder on files as other programs write them: GStreamer, mjpegtools and ffmpeg with
// everyday settings. Each piece is checked as a player and MediaInfo would read it.

#include "encoderprocess.h"
#include "support/clips.h"

#include "common/mediainfo.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

using kc::test::ClipRecipe;
using kc::test::CutArgs;
using kc::test::DecodeErrors;
using kc::test::EncoderRun;
using kc::test::HaveProgram;
using kc::test::RunEncoder;
using kc::test::FrameChecksums;

namespace {

// The outcome of making a fixture: made, or why not (a missing program skips the case).
struct Made {
    bool ok = false;
    QString missing; // the program that is not installed
    QString log;
};

Made MissingProgram(const QStringList &programs)
{
    Made m;
    for (const QString &p : programs) {
        if (!HaveProgram(p)) {
            m.missing = p;
            break;
        }
    }
    return m;
}

Made RunMaker(const QString &program, const QStringList &args)
{
    Made m = MissingProgram({program});
    if (!m.missing.isEmpty())
        return m;
    int code = -1;
    QString err;
    kc::test::RunTool(program, args, &code, &err);
    m.ok = code == 0;
    m.log = err;
    return m;
}

Made FfmpegClip(const QString &path, const ClipRecipe &recipe)
{
    Made m = MissingProgram({QStringLiteral("ffmpeg")});
    if (!m.missing.isEmpty())
        return m;
    m.ok = kc::test::MakeClip(path, recipe, &m.log);
    return m;
}

// gst-launch-1.0 with a pipeline given as its words.
Made GstPipeline(const QString &pipeline)
{
    return RunMaker(QStringLiteral("gst-launch-1.0"),
                    QStringList{QStringLiteral("-q")} + pipeline.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

// mpeg2enc writes one sequence header for the whole stream; mplex puts it into a program
// stream with MP2 sound from ffmpeg. matrices: mpeg2enc's -K choice ("" for the defaults).
Made Mpeg2encMplex(const QString &path, double seconds, const QString &matrices = QString())
{
    Made m = MissingProgram({QStringLiteral("ffmpeg"), QStringLiteral("mpeg2enc"), QStringLiteral("mplex")});
    if (!m.missing.isEmpty())
        return m;
    const QString dur = QString::number(seconds);
    const QString video = path + QStringLiteral(".m2v");
    const QString audio = path + QStringLiteral(".mp2");
    QProcess source;
    QProcess encoder;
    source.setStandardOutputProcess(&encoder);
    source.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                  QStringLiteral("-i"), QStringLiteral("testsrc2=size=352x288:rate=25:duration=") + dur,
                  QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-f"),
                  QStringLiteral("yuv4mpegpipe"), QStringLiteral("-")});
    QStringList encoderArgs{QStringLiteral("-v"), QStringLiteral("0"), QStringLiteral("-f"), QStringLiteral("3"),
                            QStringLiteral("-b"), QStringLiteral("2000"), QStringLiteral("-o"), video};
    if (!matrices.isEmpty())
        encoderArgs << QStringLiteral("-K") << matrices;
    encoder.start(QStringLiteral("mpeg2enc"), encoderArgs);
    source.waitForFinished(60000);
    encoder.waitForFinished(60000);
    if (encoder.exitStatus() != QProcess::NormalExit || encoder.exitCode() != 0) {
        m.log = QString::fromUtf8(encoder.readAllStandardError());
        return m;
    }
    m = RunMaker(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                  QStringLiteral("-i"), QStringLiteral("sine=sample_rate=48000:duration=") + dur,
                  QStringLiteral("-c:a"), QStringLiteral("mp2"), QStringLiteral("-b:a"), QStringLiteral("192k"), audio});
    if (!m.ok)
        return m;
    return RunMaker(QStringLiteral("mplex"), {QStringLiteral("-v"), QStringLiteral("0"), QStringLiteral("-f"),
                                              QStringLiteral("3"), QStringLiteral("-o"), path, video, audio});
}

struct FixtureCase {
    const char *name;
    const char *file;
    std::function<Made(const QString &path)> make;
};

// Cases print by name in the test list and in failures.
std::string CaseName(const ::testing::TestParamInfo<FixtureCase> &info)
{
    return info.param.name;
}

void PrintTo(const FixtureCase &c, std::ostream *os)
{
    *os << c.name;
}

class RealWorldCut : public ::testing::TestWithParam<FixtureCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QFileInfo(kc::test::EncoderPath()).isExecutable());
        input_ = dir_.filePath(QLatin1String(GetParam().file));
        const Made made = GetParam().make(input_);
        if (!made.missing.isEmpty())
            GTEST_SKIP() << made.missing.toStdString() << " is not installed; cannot make the fixture";
        ASSERT_TRUE(made.ok) << made.log.toStdString();
        ASSERT_TRUE(QFileInfo::exists(input_));
    }

    // Cuts [start, start + length] into a new file beside the input and says how it went.
    QString Cut(const QString &start, const QString &length)
    {
        const QString out = dir_.filePath(QStringLiteral("piece_") + QLatin1String(GetParam().file));
        const EncoderRun r = RunEncoder(CutArgs(input_, start, length, out));
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.exitCode == 0 ? out : QString();
    }

    QTemporaryDir dir_;
    QString input_;
};

// ---- AVI with frame-based sound: the sound of the piece lasts as long as its picture.

using AviSoundCut = RealWorldCut;

TEST_P(AviSoundCut, SoundLastsAsLongAsThePicture)
{
    const QString piece = Cut(QStringLiteral("00:00:03.000"), QStringLiteral("00:00:03.000"));
    ASSERT_FALSE(piece.isEmpty());
    EXPECT_EQ(DecodeErrors(piece).toStdString(), "");

    // MediaInfo reads the sound's length from the stream header; with a sample size there it
    // counts bytes as samples.
    if (!kc::LoadMediaInfo(QStringLiteral("MediaInfo.dll")))
        GTEST_SKIP() << "the MediaInfo library is not installed";
    const auto lengths = kc::QueryMediaInfo(
        piece, {{kc::MiVideo, QStringLiteral("Duration")}, {kc::MiAudio, QStringLiteral("Duration")}});
    ASSERT_TRUE(lengths.has_value());
    ASSERT_EQ(lengths->size(), 2);
    const double pictureMs = lengths->at(0).toDouble();
    const double soundMs = lengths->at(1).toDouble();
    EXPECT_NEAR(pictureMs, 3000, 500);
    EXPECT_NEAR(soundMs, pictureMs, 150) << "picture " << pictureMs << " ms";
}

INSTANTIATE_TEST_SUITE_P(
    FileEncoder, AviSoundCut,
    ::testing::Values(
        FixtureCase{"FfmpegMp3At22kHz", "mp3_22k.avi",
                    [](const QString &path) {
                        ClipRecipe recipe;
                        recipe.seconds = 7;
                        recipe.sampleRate = 22050;
                        return FfmpegClip(path, recipe);
                    }},
        FixtureCase{"FfmpegAc3", "ac3.avi",
                    [](const QString &path) {
                        ClipRecipe recipe;
                        recipe.seconds = 7;
                        recipe.audioCodec = QStringLiteral("ac3");
                        recipe.sampleRate = 48000;
                        return FfmpegClip(path, recipe);
                    }},
        FixtureCase{"GstreamerAvimuxMp3", "gst_mp3.avi",
                    [](const QString &path) {
                        return GstPipeline(
                            QStringLiteral("videotestsrc num-buffers=175 pattern=ball ! "
                                           "video/x-raw,width=320,height=240,framerate=25/1 ! avenc_mpeg4 ! queue ! "
                                           "avimux name=mux ! filesink location=%1 "
                                           "audiotestsrc num-buffers=175 samplesperbuffer=1764 ! "
                                           "audio/x-raw,rate=44100,channels=2 ! lamemp3enc ! queue ! mux.")
                                .arg(path));
                    }}),
    CaseName);

// ---- MPEG program streams with one sequence header for the whole file.

using SingleSequenceHeaderCut = RealWorldCut;

TEST_P(SingleSequenceHeaderCut, PieceFromTheMiddleDecodesFromItsFirstPicture)
{
    const double start = 3.0;
    const QString piece = Cut(QStringLiteral("00:00:03.000"), QStringLiteral("00:00:02.000"));
    ASSERT_FALSE(piece.isEmpty());
    EXPECT_EQ(kc::test::ProbeValue(piece, QStringLiteral("stream=codec_name"), QStringLiteral("v:0")).toStdString(),
              kc::test::ProbeValue(input_, QStringLiteral("stream=codec_name"), QStringLiteral("v:0")).toStdString());
    EXPECT_EQ(DecodeErrors(piece).toStdString(), "");

    // The pictures are the source's, from one shown at most a second before the start.
    const QStringList source = FrameChecksums(input_);
    const QStringList cut = FrameChecksums(piece);
    ASSERT_GE(cut.size(), 40);
    const int first = static_cast<int>(source.indexOf(cut.front()));
    ASSERT_GE(first, 0);
    EXPECT_LE(first / 25.0, start + 1e-6);
    EXPECT_GE(first / 25.0, start - 1.0);
    for (int i = 0; i < 25 && first + i < source.size(); ++i)
        EXPECT_EQ(cut[i].toStdString(), source[first + i].toStdString()) << "picture " << i;
}

INSTANTIATE_TEST_SUITE_P(
    FileEncoder, SingleSequenceHeaderCut,
    ::testing::Values(
        FixtureCase{"Mpeg2encAndMplex", "mplex.mpg", [](const QString &path) { return Mpeg2encMplex(path, 6); }},
        // Quantiser matrices of its own in the header: without them every picture decodes wrong.
        FixtureCase{"Mpeg2encCustomMatricesAndMplex", "mplex_kvcd.mpg",
                    [](const QString &path) { return Mpeg2encMplex(path, 6, QStringLiteral("kvcd")); }},
        FixtureCase{"GstreamerMpeg2", "gst_mpeg2.mpg",
                    [](const QString &path) {
                        return GstPipeline(
                            QStringLiteral("videotestsrc num-buffers=150 pattern=ball ! "
                                           "video/x-raw,width=352,height=288,framerate=25/1 ! videoconvert ! "
                                           "mpeg2enc format=3 ! mpegvideoparse ! queue ! mpegpsmux name=mux ! "
                                           "filesink location=%1 "
                                           "audiotestsrc num-buffers=150 samplesperbuffer=1920 ! "
                                           "audio/x-raw,rate=48000,channels=2 ! avenc_mp2 ! mpegaudioparse ! "
                                           "queue ! mux.")
                                .arg(path));
                    }},
        FixtureCase{"GstreamerMpeg1", "gst_mpeg1.mpg",
                    [](const QString &path) {
                        return GstPipeline(
                            QStringLiteral("videotestsrc num-buffers=150 pattern=ball ! "
                                           "video/x-raw,width=352,height=288,framerate=25/1 ! videoconvert ! "
                                           "mpeg2enc ! mpegvideoparse ! queue ! mpegpsmux name=mux ! "
                                           "filesink location=%1 "
                                           "audiotestsrc num-buffers=150 samplesperbuffer=1920 ! "
                                           "audio/x-raw,rate=48000,channels=2 ! avenc_mp2 ! mpegaudioparse ! "
                                           "queue ! mux.")
                                .arg(path));
                    }}),
    CaseName);

// ---- AVI with B pictures: the piece starts with the keyframe shown at or before the start.

class AviWithBPicturesCut : public ::testing::Test {
protected:
    QTemporaryDir dir_;
};

TEST_F(AviWithBPicturesCut, StartsAtTheKeyframeShownAtOrBeforeTheStart)
{
    ASSERT_TRUE(dir_.isValid());
    if (!HaveProgram(QStringLiteral("ffmpeg")))
        GTEST_SKIP() << "ffmpeg is not installed; cannot make the fixture";
    // Keyframes show at pictures 96 and 108 (3.84 s and 4.32 s); the one at 108 is decoded
    // at 4.24 s, two pictures before it shows.
    ClipRecipe recipe;
    recipe.seconds = 6;
    recipe.extraOutputArgs = {QStringLiteral("-vtag"), QStringLiteral("DX50"), QStringLiteral("-bf"), QStringLiteral("2")};
    const QString input = dir_.filePath(QStringLiteral("bframes.avi"));
    QString log;
    ASSERT_TRUE(kc::test::MakeClip(input, recipe, &log)) << log.toStdString();
    const QStringList source = FrameChecksums(input);
    ASSERT_GE(source.size(), 140);

    const struct {
        const char *start;
        int firstPicture;
    } cases[] = {
        {"00:00:04.270", 96}, // decoded after picture 108's keyframe, shown before it
        {"00:00:04.310", 96},
        {"00:00:03.840", 96}, // on the keyframe
        {"00:00:04.320", 108},
        {"00:00:04.500", 108},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start);
        const QString piece = dir_.filePath(QStringLiteral("piece%1.avi").arg(n++));
        const EncoderRun r = RunEncoder(CutArgs(input, QLatin1String(c.start), QStringLiteral("00:00:01.000"), piece));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QStringList cut = FrameChecksums(piece);
        ASSERT_FALSE(cut.isEmpty());
        EXPECT_EQ(source.indexOf(cut.front()), c.firstPicture);
        EXPECT_EQ(DecodeErrors(piece).toStdString(), "");
    }
}

} // namespace
