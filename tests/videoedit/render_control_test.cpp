// Starting, stopping and failing renders: what Save refuses, what Stop and failures leave behind.
#include "fixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <ostream>

#include <memory>

using namespace kc;
using namespace kc::test;

namespace {

// A DVD render of the whole clip: big frames, so it lasts long enough to be interrupted.
void LongRender(TVideoEdit &edit, const QString &src)
{
    edit.setOutputType(4);
    SetClip(edit, src, 0, 100, 2);
}

void WaitForProgress(TVideoEdit &edit)
{
    QEventLoop loop;
    QObject::connect(&edit, &TVideoEdit::OnProcessing, &loop, &QEventLoop::quit);
    QObject::connect(&edit, &TVideoEdit::OnComplete, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
}

void RunEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(VideoEditControl, StopEndsPromptlyRemovesTheFileAndRaisesNoCompletion)
{
    const QString src = SourceClip(Source::Avi);
    const QString out = OutputPath(QStringLiteral("stopped.mpg"));
    TVideoEdit edit;
    int completions = 0;
    QObject::connect(&edit, &TVideoEdit::OnComplete, [&](bool, const QString &) { ++completions; });
    LongRender(edit, src);
    ASSERT_TRUE(edit.Save(out)) << edit.LastError().toStdString();
    WaitForProgress(edit);
    ASSERT_TRUE(edit.IsRendering()) << "the render ended before it could be stopped";
    QElapsedTimer t;
    t.start();
    edit.Stop();
    EXPECT_LT(t.elapsed(), 500);
    EXPECT_FALSE(edit.IsRendering());
    EXPECT_TRUE(FilesNamedAfter(out).isEmpty()) << FilesNamedAfter(out).join(' ').toStdString();
    RunEvents(300); // anything still queued from the worker
    EXPECT_EQ(completions, 0);

    // The component is ready for the next piece at once.
    SetClip(edit, src, 0, 1);
    edit.setOutputType(0);
    const RenderOutcome r = SaveAndWait(edit, out);
    EXPECT_TRUE(r.succeeded) << r.reason.toStdString();
    EXPECT_EQ(completions, 1);
}

TEST(VideoEditControl, DestroyingTheComponentWhileRenderingLeavesNoFile)
{
    const QString out = OutputPath(QStringLiteral("closed.mpg"));
    auto edit = std::make_unique<TVideoEdit>();
    LongRender(*edit, SourceClip(Source::Avi));
    ASSERT_TRUE(edit->Save(out));
    WaitForProgress(*edit);
    edit.reset();
    EXPECT_TRUE(FilesNamedAfter(out).isEmpty()) << FilesNamedAfter(out).join(' ').toStdString();
    RunEvents(100);
}

TEST(VideoEditControl, OutputRemovedDuringTheRenderIsAFailureAndLeavesNothing)
{
    const QString out = OutputPath(QStringLiteral("vanishing.mpg"));
    TVideoEdit edit;
    LongRender(edit, SourceClip(Source::Avi));
    // The file is written under a name of its own until it is complete.
    QObject::connect(&edit, &TVideoEdit::OnProcessing, [&](double, double) {
        for (const QString &name : FilesNamedAfter(out))
            QFile::remove(QFileInfo(out).absolutePath() + QLatin1Char('/') + name);
    });
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.saved);
    ASSERT_TRUE(r.completed);
    EXPECT_FALSE(r.succeeded);
    EXPECT_FALSE(r.reason.isEmpty());
    EXPECT_TRUE(FilesNamedAfter(out).isEmpty()) << FilesNamedAfter(out).join(' ').toStdString();
}

struct RefusalCase {
    const char *label;
    std::function<QString()> input;   // source file
    double start, stop;
    std::function<QString()> output;
    std::function<void(TVideoEdit &)> setup;
};

// Test names show the case label rather than its bytes.
void PrintTo(const RefusalCase &c, std::ostream *os) { *os << c.label; }

QString Garbage()
{
    const QString path = OutputPath(QStringLiteral("garbage.avi"));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        QByteArray junk;
        for (int i = 0; i < 50000; ++i)
            junk.append(char((i * 7919) % 251));
        f.write(junk);
    }
    return path;
}

const auto kOut = [] { return OutputPath(QStringLiteral("refused.mpg")); };
const auto kAvi = [] { return SourceClip(Source::Avi); };
const auto kVcd = [](TVideoEdit &e) { e.setOutputType(0); };

const RefusalCase kRefusals[] = {
    {"MissingFolder", kAvi, 0, 1, [] { return OutputPath(QStringLiteral("no such folder/x.mpg")); }, kVcd},
    {"EmptyRange", kAvi, 1.5, 1.5, kOut, kVcd},
    {"ReversedRange", kAvi, 2, 1, kOut, kVcd},
    {"StartBeyondTheEnd", kAvi, 10, 12, kOut, kVcd},
    {"GarbageInput", Garbage, 0, 1, kOut, kVcd},
    {"MissingInput", [] { return OutputPath(QStringLiteral("not there.avi")); }, 0, 1, kOut, kVcd},
    {"OutputIsTheInput", kAvi, 0, 1, kAvi, kVcd},
    {"UnknownType", kAvi, 0, 1, kOut, [](TVideoEdit &e) { e.setOutputType(10); }},
    {"CodecPositionOutsideTheList", kAvi, 0, 1, kOut,
     [](TVideoEdit &e) {
         e.setOutputType(8);
         e.setUseVideoCompressor(true);
         e.setVideoCompressor(e.VideoCompressors().Count());
     }},
    {"MissingWmvProfileFile", kAvi, 0, 1, kOut,
     [](TVideoEdit &e) {
         e.setOutputType(9);
         e.setWMVCustomFileName(OutputPath(QStringLiteral("Profiles/abc.prx")));
     }},
    {"UnreadableWmvProfileFile", kAvi, 0, 1, kOut,
     [](TVideoEdit &e) {
         e.setOutputType(9);
         e.setWMVCustomFileName(Garbage());
     }},
};

class VideoEditRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(VideoEditRefusals, SaveReturnsFalseAndWritesNothing)
{
    const RefusalCase &c = GetParam();
    const QString in = c.input();
    const QString out = c.output();
    const qint64 inputSize = QFileInfo(in).size();
    const bool outputExisted = QFile::exists(out);
    TVideoEdit edit;
    int completions = 0;
    QObject::connect(&edit, &TVideoEdit::OnComplete, [&](bool, const QString &) { ++completions; });
    c.setup(edit);
    SetClip(edit, in, c.start, c.stop);
    EXPECT_FALSE(edit.Save(out));
    EXPECT_FALSE(edit.LastError().isEmpty());
    EXPECT_FALSE(edit.IsRendering());
    EXPECT_EQ(QFile::exists(out), outputExisted);
    EXPECT_EQ(QFileInfo(in).size(), inputSize);
    RunEvents(50);
    EXPECT_EQ(completions, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, VideoEditRefusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase> &i) { return std::string(i.param.label); });

TEST(VideoEditControl, DamagedMiddleOfTheSourceStillRenders)
{
    // A program stream with a stretch of noise in the middle, as a bad sector leaves it.
    const QString src = SourceClip(Source::MpegPs);
    const QString damaged = OutputPath(QStringLiteral("damaged.mpg"));
    ASSERT_TRUE(QFile::copy(src, damaged));
    {
        QFile f(damaged);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        f.seek(size / 2);
        QByteArray noise(20000, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 31 + 7) % 256);
        f.write(noise);
    }
    TVideoEdit edit;
    edit.setOutputType(0);
    SetClip(edit, damaged, 0, 100);
    const QString out = OutputPath(QStringLiteral("from damaged.mpg"));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.saved) << r.reason.toStdString();
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
    EXPECT_GT(CountVideoFrames(out), 50);
}

TEST(VideoEditControl, SourceWithoutSoundGetsASilentTrackWhereTheTypeNeedsOne)
{
    TVideoEdit edit;
    edit.setOutputType(0);
    SetClip(edit, SourceClip(Source::AviNoSound), 0, 100);
    const QString out = OutputPath(QStringLiteral("silent.mpg"));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
    EXPECT_EQ(ProbeValue(out, QStringLiteral("stream=codec_name"), QStringLiteral("a:0")), QStringLiteral("mp2"));
    EXPECT_NEAR(CountAudioSamples(out) / 44100.0, 2.0, 0.1);
}

TEST(VideoEditControl, ProgressIsInSecondsOfThePiece)
{
    TVideoEdit edit;
    edit.setOutputType(0);
    SetClip(edit, SourceClip(Source::Avi), 1.0, 2.5);
    double lastAt = -1, lastTotal = 0;
    bool ordered = true;
    QObject::connect(&edit, &TVideoEdit::OnProcessing, [&](double at, double total) {
        ordered = ordered && at >= lastAt && at <= total;
        lastAt = at;
        lastTotal = total;
    });
    const RenderOutcome r = SaveAndWait(edit, OutputPath(QStringLiteral("progress.mpg")));
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
    EXPECT_TRUE(ordered);
    EXPECT_NEAR(lastTotal, 1.5, 1e-6);
    EXPECT_NEAR(lastAt, 1.5, 1e-6); // the last report is the end
}

} // namespace

namespace {

// Decoded pictures of a file whose time lies in [from, to).
int FramesIn(const QString &file, double from, double to)
{
    const QString out = RunTool(QStringLiteral("ffprobe"),
                                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                 QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                                 QStringLiteral("frame=best_effort_timestamp_time"), QStringLiteral("-of"),
                                 QStringLiteral("csv=p=0"), file});
    int n = 0;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const double t = line.section(QLatin1Char(','), 0, 0).toDouble();
        n += (t >= from - 1e-6 && t < to - 1e-6) ? 1 : 0;
    }
    return n;
}

TEST(VideoEditControl, ClipsAddedInTurnArePlayedOneAfterAnother)
{
    // Two ranges of one file, then the pictures of one file under the sound of another.
    const QString avi = SourceClip(Source::Avi);
    const QString ntsc = SourceClip(Source::AviNtsc);
    TVideoEdit edit;
    edit.setOutputType(8);
    edit.setOutputFileWidth(320);
    edit.setOutputFileHeight(240);
    edit.setFrameRate(25.f);
    edit.setVideoCompressor(0);
    edit.setUseAudioCompressor(false);
    edit.InitControl();
    edit.AddVideo(avi, 0, 1, 0);
    edit.AddAudio(avi, 0, 1);
    edit.AddVideo(avi, 2, 3, 0);
    edit.AddAudio(ntsc, 0.5, 1.5);
    const QString out = OutputPath(QStringLiteral("joined.avi"));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
    // Two seconds of pictures on the 25 fps timeline: a frame the source leaves out (its
    // encoder skipped it as unchanged) is filled by the one before it.
    EXPECT_GE(FramesIn(avi, 0, 1) + FramesIn(avi, 2, 3), 48);
    EXPECT_EQ(CountVideoFrames(out), 50);
    EXPECT_EQ(CountAudioSamples(out), 2 * 44100);
}

} // namespace
