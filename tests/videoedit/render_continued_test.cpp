// A render of the range that follows the last one goes on reading the source where that one
// stopped; its pieces must be the very pieces a render from scratch gives.
#include "fixtures.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

using namespace kc;
using namespace kc::test;

namespace {

// AVI at the source's own size and rate with PCM sound: a fresh encoder given the same
// pictures writes the same bytes, so pieces can be compared frame by frame.
void OwnRateAvi(TVideoEdit &e, const QString &src)
{
    e.setOutputType(8);
    e.setOutputFileWidth(e.GetFileWidth(src));
    e.setOutputFileHeight(e.GetFileHeight(src));
    e.setFrameRate(float(e.GetFileFrameRate(src)));
    e.setUseVideoCompressor(true);
    e.setVideoCompressor(0);
    e.setUseAudioCompressor(false);
    e.setVideoSampleSize(24);
}

// The pictures of a file as ffmpeg decodes them, one checksum a frame.
QStringList FrameSums(const QString &file)
{
    const QString out = RunTool(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                                                           QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-f"),
                                                           QStringLiteral("framemd5"), QStringLiteral("-")});
    QStringList sums;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!line.startsWith(QLatin1Char('#')))
            sums << line.section(QLatin1Char(','), -1).trimmed();
    return sums;
}

struct Piece {
    QString path;
    bool saved = false;
    bool succeeded = false;
    bool continued = false;
};

Piece RenderPiece(TVideoEdit &edit, const QString &src, double start, double stop, const QString &name)
{
    OwnRateAvi(edit, src);
    SetClip(edit, src, start, stop);
    Piece p;
    p.path = OutputPath(name);
    const RenderOutcome o = SaveAndWait(edit, p.path);
    p.saved = o.saved;
    p.succeeded = o.succeeded;
    p.continued = edit.ContinuedLastRender();
    EXPECT_TRUE(o.succeeded) << name.toStdString() << ": " << o.reason.toStdString();
    return p;
}

// H.264 with B-frames and AAC, 4 s in a single GOP: every piece after the first starts far
// from a keyframe, where a fresh render decodes from the file's start.
QString OneGopClip()
{
    return MadeClip(QStringLiteral("one gop.mp4"),
                    {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc2=s=320x240:r=25:d=4"),
                     QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=f=440:r=48000:d=4"),
                     QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-bf"), QStringLiteral("2"), QStringLiteral("-g"),
                     QStringLiteral("250"), QStringLiteral("-c:a"), QStringLiteral("aac")});
}

struct ContinueCase {
    const char *label;
    Source source;
    int parts;
    std::vector<int> order;          // the pieces rendered one after another by one editor
    std::vector<bool> continues;     // whether each one goes on from the one before it
    bool oneGop = false;             // the source is OneGopClip() rather than `source`
};

void PrintTo(const ContinueCase &c, std::ostream *os) { *os << c.label; }

class VideoEditContinued : public ::testing::TestWithParam<ContinueCase> {};

// Each piece rendered by one editor, in the order given, equals that piece rendered by an
// editor of its own: the same pictures and as much sound.
TEST_P(VideoEditContinued, PiecesEqualThoseRenderedFromScratch)
{
    const ContinueCase &c = GetParam();
    const QString src = c.oneGop ? OneGopClip() : SourceClip(c.source);
    ASSERT_FALSE(src.isEmpty());
    TVideoEdit chained;
    const double duration = chained.GetFileDuration(src);
    ASSERT_GT(duration, 1.5);
    auto bounds = [&](int k) { return duration * k / c.parts; };
    const bool sound = c.source != Source::AviNoSound;

    for (size_t i = 0; i < c.order.size(); ++i) {
        const int k = c.order.at(i);
        const QString tag = QStringLiteral("%1 %2 %3").arg(QString::fromLatin1(c.label)).arg(i).arg(k);
        const Piece went = RenderPiece(chained, src, bounds(k), bounds(k + 1), tag + QStringLiteral(" chained.avi"));
        TVideoEdit own;
        const Piece fresh = RenderPiece(own, src, bounds(k), bounds(k + 1), tag + QStringLiteral(" fresh.avi"));
        ASSERT_TRUE(went.succeeded && fresh.succeeded);
        EXPECT_EQ(went.continued, c.continues.at(i)) << "render " << i << " (piece " << k + 1 << ")";
        EXPECT_FALSE(fresh.continued);

        const QStringList wentSums = FrameSums(went.path);
        const QStringList freshSums = FrameSums(fresh.path);
        ASSERT_FALSE(freshSums.isEmpty());
        EXPECT_EQ(wentSums.size(), freshSums.size()) << "piece " << k + 1;
        if (!wentSums.isEmpty()) {
            EXPECT_EQ(wentSums.first(), freshSums.first()) << "first picture of piece " << k + 1;
        }
        EXPECT_EQ(wentSums, freshSums) << "piece " << k + 1;
        if (sound) {
            EXPECT_EQ(CountAudioSamples(went.path), CountAudioSamples(fresh.path)) << "piece " << k + 1;
        }
        EXPECT_TRUE(DecodeErrors(went.path).isEmpty()) << DecodeErrors(went.path).toStdString();
    }
}

const ContinueCase kContinue[] = {
    {"AviInOrder", Source::Avi, 4, {0, 1, 2, 3}, {false, true, true, true}},
    {"MpegPsInOrder", Source::MpegPs, 4, {0, 1, 2, 3}, {false, true, true, true}},
    {"Mp4BFramesInOrder", Source::Mp4BFrames, 5, {0, 1, 2, 3, 4}, {false, true, true, true, true}},
    {"NoSoundInOrder", Source::AviNoSound, 3, {0, 1, 2}, {false, true, true}},
    {"NtscInOrder", Source::AviNtsc, 4, {0, 1, 2, 3}, {false, true, true, true}},
    // A range that does not start where the last one stopped is read from scratch, and the
    // one after it follows on again.
    {"SkipsAPiece", Source::Mp4BFrames, 5, {0, 2, 3}, {false, false, true}},
    {"GoesBack", Source::Avi, 4, {1, 0, 1}, {false, false, true}},
    {"SamePieceAgain", Source::MpegPs, 3, {0, 0}, {false, false}},
    {"OneGopInOrder", Source::Mp4BFrames, 6, {0, 1, 2, 3, 4, 5}, {false, true, true, true, true, true}, true},
};

INSTANTIATE_TEST_SUITE_P(Orders, VideoEditContinued, ::testing::ValuesIn(kContinue),
                         [](const ::testing::TestParamInfo<ContinueCase> &i) { return std::string(i.param.label); });

// Another output format between two pieces does not matter to the source: the next piece still
// follows on, and is what a render from scratch of that format gives.
TEST(VideoEditContinued, OutputSettingsMayChangeBetweenPieces)
{
    const QString src = SourceClip(Source::Avi);
    TVideoEdit chained;
    const double duration = chained.GetFileDuration(src);
    ASSERT_TRUE(RenderPiece(chained, src, 0, duration / 2, QStringLiteral("format change 1.avi")).succeeded);
    chained.setOutputType(0); // VCD PAL
    SetClip(chained, src, duration / 2, duration);
    const QString second = OutputPath(QStringLiteral("format change 2.mpg"));
    const RenderOutcome o = SaveAndWait(chained, second);
    ASSERT_TRUE(o.succeeded) << o.reason.toStdString();
    EXPECT_TRUE(chained.ContinuedLastRender());

    TVideoEdit own;
    own.setOutputType(0);
    SetClip(own, src, duration / 2, duration);
    const QString fresh = OutputPath(QStringLiteral("format change fresh.mpg"));
    ASSERT_TRUE(SaveAndWait(own, fresh).succeeded);
    EXPECT_EQ(FrameSums(second), FrameSums(fresh));
    EXPECT_TRUE(DecodeErrors(second).isEmpty());
}

// A stopped piece leaves no file and takes the kept source with it; the same piece asked for
// again is rendered from scratch and comes out whole.
TEST(VideoEditContinued, StopBetweenPiecesThenTheSamePieceAgain)
{
    const QString src = MadeClip(QStringLiteral("stop chain.avi"),
                                 {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                  QStringLiteral("testsrc2=s=640x480:r=25:d=12"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                                  QStringLiteral("-i"), QStringLiteral("sine=f=440:r=44100:d=12"), QStringLiteral("-c:v"),
                                  QStringLiteral("mpeg4"), QStringLiteral("-g"), QStringLiteral("25"), QStringLiteral("-c:a"),
                                  QStringLiteral("libmp3lame")});
    ASSERT_FALSE(src.isEmpty());
    TVideoEdit edit;
    ASSERT_TRUE(RenderPiece(edit, src, 0, 1, QStringLiteral("stop chain 1.avi")).succeeded);

    OwnRateAvi(edit, src);
    SetClip(edit, src, 1, 12);
    const QString stopped = OutputPath(QStringLiteral("stop chain 2.avi"));
    ASSERT_TRUE(edit.Save(stopped)) << edit.LastError().toStdString();
    EXPECT_TRUE(edit.ContinuedLastRender());
    QElapsedTimer clock;
    clock.start();
    edit.Stop();
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_FALSE(edit.IsRendering());
    EXPECT_TRUE(FilesNamedAfter(stopped).isEmpty()) << FilesNamedAfter(stopped).join(QLatin1Char(' ')).toStdString();

    const Piece again = RenderPiece(edit, src, 1, 2, QStringLiteral("stop chain 2 again.avi"));
    ASSERT_TRUE(again.succeeded);
    EXPECT_FALSE(again.continued);
    TVideoEdit own;
    const Piece fresh = RenderPiece(own, src, 1, 2, QStringLiteral("stop chain 2 fresh.avi"));
    EXPECT_EQ(FrameSums(again.path), FrameSums(fresh.path));
}

// A source rewritten between two pieces is not the one the kept reader read.
TEST(VideoEditContinued, ARewrittenSourceIsReadAfresh)
{
    const QString original = SourceClip(Source::Avi);
    const QString src = OutputPath(QStringLiteral("rewritten source.avi"));
    QFile::remove(src);
    ASSERT_TRUE(QFile::copy(original, src));
    TVideoEdit edit;
    const double duration = edit.GetFileDuration(src);
    ASSERT_TRUE(RenderPiece(edit, src, 0, duration / 2, QStringLiteral("rewritten 1.avi")).succeeded);
    // Another clip under the same name.
    QFile::remove(src);
    ASSERT_TRUE(QFile::copy(SourceClip(Source::AviNtsc), src));
    const Piece second = RenderPiece(edit, src, duration / 2, duration, QStringLiteral("rewritten 2.avi"));
    ASSERT_TRUE(second.succeeded);
    EXPECT_FALSE(second.continued);
}

} // namespace
