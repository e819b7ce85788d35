// Renders of sources as other programs write them: long-GOP transport streams, MP4 whose
// content starts late, sound that outlasts the pictures, files with sound only, damaged files.
#include "fixtures.h"
#include "support/realworldclips.h"

#include "components/videoedit/clipreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <ostream>

using namespace kc;
using namespace kc::test;

namespace {

// Each kind is made once per test process; an empty path with *skip set when a program
// needed for it is missing.
QString RealClip(RealWorld kind, QString *skip)
{
    static std::map<RealWorld, std::pair<QString, QString>> made;
    auto it = made.find(kind);
    if (it == made.end()) {
        const QString path = WorkDir() + QStringLiteral("/源 real %1.%2").arg(int(kind)).arg(RealWorldExtension(kind));
        const RealWorldClip m = MakeRealWorldClip(kind, path);
        if (!m.ok && m.skipReason.isEmpty())
            ADD_FAILURE() << "cannot make " << path.toStdString() << ": " << m.log.toStdString();
        it = made.emplace(kind, std::make_pair(m.ok ? path : QString(), m.skipReason)).first;
    }
    *skip = it->second.second;
    return it->second.first;
}

#define REAL_CLIP_OR_SKIP(var, kind)                                                                                   \
    QString var##Skip;                                                                                                 \
    const QString var = RealClip(kind, &var##Skip);                                                                    \
    if (!var##Skip.isEmpty())                                                                                          \
        GTEST_SKIP() << var##Skip.toStdString();                                                                       \
    ASSERT_FALSE(var.isEmpty())

// AVI at the source's own size and 25 fps, MPEG-4 pictures and PCM sound: frames and samples
// can be counted one for one.
void OwnSizeAvi(TVideoEdit &e, const QString &src)
{
    e.setOutputType(8);
    e.setOutputFileWidth(e.GetFileWidth(src));
    e.setOutputFileHeight(e.GetFileHeight(src));
    e.setFrameRate(25);
    e.setUseVideoCompressor(true);
    e.setVideoCompressor(0);
    e.setUseAudioCompressor(false);
    e.setVideoSampleSize(24);
}

// One decoded picture as small grey pixels: the piece's first one, or the source's picture
// whose timestamp is the first at or after pts (seconds of the file's own timestamps).
QByteArray Thumbnail(const QString &file, double pts = -1)
{
    QString filter = QStringLiteral("scale=64:48,format=gray");
    if (pts >= 0)
        filter = QStringLiteral("select='gte(t,%1)',").arg(pts - 0.001, 0, 'f', 6) + filter;
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-copyts"),
                                       QStringLiteral("-i"), file, QStringLiteral("-an"), QStringLiteral("-vf"), filter,
                                       QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
                                       QStringLiteral("rawvideo"), QStringLiteral("-")});
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

double MeanDifference(const QByteArray &a, const QByteArray &b)
{
    if (a.isEmpty() || a.size() != b.size())
        return 1e9;
    double sum = 0;
    for (int i = 0; i < a.size(); ++i)
        sum += std::abs(int(uchar(a[i])) - int(uchar(b[i])));
    return sum / a.size();
}

struct RangeCase {
    const char *label;
    RealWorld kind;
    double start, stop;
    double seconds;     // length of the piece
    double firstPts;    // the source timestamp (seconds) of the piece's first picture
    bool firstOfSource = false; // that picture is the source's first
};

void PrintTo(const RangeCase &c, std::ostream *os) { *os << c.label; }

class RealWorldRanges : public ::testing::TestWithParam<RangeCase> {};

// The piece holds the pictures of its range on the player's timeline, decodes without an
// error, starts with the right picture and has as much sound as picture.
TEST_P(RealWorldRanges, PieceHoldsTheRangeAsPlayersShowIt)
{
    const RangeCase &c = GetParam();
    REAL_CLIP_OR_SKIP(src, c.kind);
    TVideoEdit edit;
    OwnSizeAvi(edit, src);
    SetClip(edit, src, c.start, c.stop);
    const QString out = OutputPath(QStringLiteral("real %1.avi").arg(QString::fromLatin1(c.label)));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();

    EXPECT_EQ(DecodeErrors(out), QString());
    const int frames = CountVideoFrames(out);
    EXPECT_NEAR(frames, c.seconds * 25, 1);
    const double soundSeconds = double(CountAudioSamples(out)) / ProbeInt(out, QStringLiteral("stream=sample_rate"), QStringLiteral("a:0"));
    EXPECT_NEAR(soundSeconds, frames / 25.0, 0.021);

    // The first picture is the source's picture at the start, not its neighbour.
    const QByteArray first = Thumbnail(out);
    const double frame = 0.04;
    const double atStart = MeanDifference(first, Thumbnail(src, c.firstPts));
    EXPECT_LT(atStart, MeanDifference(first, Thumbnail(src, c.firstPts + frame)));
    if (!c.firstOfSource) {
        EXPECT_LT(atStart, MeanDifference(first, Thumbnail(src, c.firstPts - frame)));
    }
}

// MPEG-TS times begin at the muxer's offset (1.4 s for ffmpeg, 3600 s for GStreamer); the
// MP4's timeline is its own, the empty 3 s at its start included.
INSTANTIATE_TEST_SUITE_P(
    Sources, RealWorldRanges,
    ::testing::Values(RangeCase{"x264_ts_from_2s", RealWorld::TsLongGopX264, 2, 4, 2, 1.4 + 2},
                      RangeCase{"x264_ts_from_4_6s", RealWorld::TsLongGopX264, 4.6, 5.4, 0.8, 1.4 + 4.6},
                      RangeCase{"gstreamer_ts_from_2s", RealWorld::TsGStreamer, 2, 4, 2, 3600 + 2},
                      RangeCase{"late_mp4_inside", RealWorld::Mp4LateStart, 9, 12, 3, 9},
                      RangeCase{"late_mp4_before_the_pictures", RealWorld::Mp4LateStart, 0, 4, 1, 3, true},
                      RangeCase{"late_mp4_last_piece", RealWorld::Mp4LateStart, 12, 16, 1, 12},
                      RangeCase{"late_mkv_last_piece", RealWorld::MkvLateStart, 8, 10, 2, 100 + 8}),
    [](const ::testing::TestParamInfo<RangeCase> &i) { return std::string(i.param.label); });

TEST(RealWorldTimeline, LateMp4LastsAsLongAsPlayersSay)
{
    REAL_CLIP_OR_SKIP(src, RealWorld::Mp4LateStart);
    TVideoEdit edit;
    EXPECT_NEAR(edit.GetFileDuration(src), 13.0, 0.05);
}

// Matroska counts from its first timestamp, but FFmpeg's muxer writes the last one where the
// length belongs: a file that starts at 100 s would seem to last 110 s, and its parts would
// be planned over a time mostly after its end.
TEST(RealWorldTimeline, LateMkvLastsAsLongAsItsContent)
{
    REAL_CLIP_OR_SKIP(src, RealWorld::MkvLateStart);
    TVideoEdit edit;
    EXPECT_NEAR(edit.GetFileDuration(src), 10.0, 0.05);
}

// A browser's or a screen recorder's WebM: written live, it has neither its length nor an
// index. Players show it; it was taken for a file that is no video.
TEST(RealWorldTimeline, LiveWebmLastsAsLongAsItsContent)
{
    REAL_CLIP_OR_SKIP(src, RealWorld::WebmLive);
    TVideoEdit edit;
    EXPECT_NEAR(edit.GetFileDuration(src), 8.0, 0.05);
}

struct TailCase {
    const char *label;
    RealWorld kind;
    double start;
    bool picture; // the range holds one picture
};

void PrintTo(const TailCase &c, std::ostream *os) { *os << c.label; }

class SoundOutlastsPicture : public ::testing::TestWithParam<TailCase> {};

// A range after the last picture fails as such (the split drivers end the job there) and
// leaves nothing; a range with one picture in it is a piece of that picture.
TEST_P(SoundOutlastsPicture, TailRange)
{
    const TailCase &c = GetParam();
    REAL_CLIP_OR_SKIP(src, c.kind);
    TVideoEdit edit;
    ASSERT_GT(edit.GetFileDuration(src), 4.0);
    OwnSizeAvi(edit, src);
    SetClip(edit, src, c.start, 6);
    const QString out = OutputPath(QStringLiteral("tail %1.avi").arg(QString::fromLatin1(c.label)));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.saved) << r.reason.toStdString();
    ASSERT_TRUE(r.completed);
    if (c.picture) {
        ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
        EXPECT_EQ(CountVideoFrames(out), 1);
        EXPECT_FALSE(edit.LastRenderWasAfterLastPicture());
    } else {
        EXPECT_FALSE(r.succeeded);
        EXPECT_TRUE(edit.LastRenderWasAfterLastPicture()) << r.reason.toStdString();
        EXPECT_TRUE(FilesNamedAfter(out).isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, SoundOutlastsPicture,
    ::testing::Values(TailCase{"sound_5ms_longer_no_picture", RealWorld::SoundOutlastsPicture, 4.0, false},
                      TailCase{"sound_5ms_longer_last_picture", RealWorld::SoundOutlastsPicture, 3.96, true}),
    [](const ::testing::TestParamInfo<TailCase> &i) { return std::string(i.param.label); });

// Sound-only files are no source for a split: no duration, and Save refuses them.
TEST(RealWorldSoundOnly, IsNoVideo)
{
    for (RealWorld kind : {RealWorld::Mp3SoundOnly, RealWorld::WavSoundOnly}) {
        REAL_CLIP_OR_SKIP(src, kind);
        TVideoEdit edit;
        EXPECT_TRUE(edit.IsSoundOnly(src)) << src.toStdString();
        EXPECT_LE(edit.GetFileDuration(src), 0.0) << src.toStdString();
        OwnSizeAvi(edit, src);
        SetClip(edit, src, 0, 1);
        EXPECT_FALSE(edit.Save(OutputPath(QStringLiteral("from sound.avi"))));
        EXPECT_EQ(edit.LastError(), QStringLiteral("无法识别的视频文件!"));
    }
    TVideoEdit edit;
    EXPECT_FALSE(edit.IsSoundOnly(SourceClip(Source::Avi)));
}

// A damaged AVI (a chunk id, an index entry claiming half a gigabyte) once made the reader
// spin forever after its seek. Every range now ends: with the pictures that could be read,
// or with a failure that leaves nothing behind.
TEST(RealWorldDamaged, EveryRangeEnds)
{
    REAL_CLIP_OR_SKIP(src, RealWorld::DamagedAvi);
    const double ranges[][2] = {{0, 3}, {1, 2}, {2, 3}, {0.1, 0.3}};
    for (const auto &range : ranges) {
        TVideoEdit edit;
        OwnSizeAvi(edit, src);
        SetClip(edit, src, range[0], range[1]);
        const QString out = OutputPath(QStringLiteral("damaged %1.avi").arg(range[0]));
        const RenderOutcome r = SaveAndWait(edit, out, 20000);
        if (!r.saved)
            continue; // refused at once: as good as a failure
        ASSERT_TRUE(r.completed) << "no end within 20 s for " << range[0] << "-" << range[1];
        if (r.succeeded) {
            EXPECT_GT(CountVideoFrames(out), 0);
        } else {
            EXPECT_TRUE(FilesNamedAfter(out).isEmpty()) << FilesNamedAfter(out).join(' ').toStdString();
        }
    }
}

// A file of the output's name survives a render that fails or is stopped, and nothing else
// is left beside it; a render that completes replaces it.
TEST(RealWorldOutput, ExistingFileSurvivesUntilThePieceIsComplete)
{
    REAL_CLIP_OR_SKIP(src, RealWorld::SoundOutlastsPicture);
    const QString out = OutputPath(QStringLiteral("existing.avi"));
    auto writeOld = [&] {
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("the user's own file");
    };
    auto oldIsThere = [&] {
        QFile f(out);
        return f.open(QIODevice::ReadOnly) && f.readAll() == "the user's own file"
               && FilesNamedAfter(out) == QStringList{QFileInfo(out).fileName()};
    };
    writeOld();
    TVideoEdit edit;

    // A render that fails after it started (the range holds no picture).
    OwnSizeAvi(edit, src);
    SetClip(edit, src, 4.0, 6);
    RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.saved);
    EXPECT_FALSE(r.succeeded);
    EXPECT_TRUE(oldIsThere());

    // A render that is stopped.
    edit.setOutputType(4);
    SetClip(edit, src, 0, 4, 2);
    ASSERT_TRUE(edit.Save(out)) << edit.LastError().toStdString();
    edit.Stop();
    EXPECT_TRUE(oldIsThere());

    // A complete one.
    OwnSizeAvi(edit, src);
    SetClip(edit, src, 0, 1);
    r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
    EXPECT_EQ(CountVideoFrames(out), 25);
    EXPECT_EQ(FilesNamedAfter(out), QStringList{QFileInfo(out).fileName()});
}

// Counts what a reader delivers.
class CountingSink : public ClipSink
{
public:
    bool videoFrame(AVFrame *, int64_t timeUs, int64_t, QString *) override
    {
        if (pictures++ == 0)
            firstUs = timeUs;
        return true;
    }
    bool audioFrame(AVFrame *frame, int64_t, QString *) override
    {
        samples += frame->nb_samples;
        return true;
    }
    int pictures = 0;
    int64_t firstUs = -1;
    int64_t samples = 0;
};

// In a long-GOP stream the first seek lands between keyframes, and the sound of a short range
// is complete before any picture turns up. The reader seeks again; the sound is read again
// with it rather than being taken for done.
TEST(RealWorldReader, SecondSeekReadsTheSoundAgain)
{
    REAL_CLIP_OR_SKIP(src, RealWorld::TsLongGopX264);
    std::atomic<bool> stop{false};
    ClipReader reader(&stop);
    QString error;
    ASSERT_TRUE(reader.open(src, true, true, &error)) << error.toStdString();
    ASSERT_TRUE(reader.start(3000000, 3200000, 3000000, 3200000, &error)) << error.toStdString();
    CountingSink sink;
    int steps = 0;
    while (reader.step(sink, &error) && ++steps < 100000) {
    }
    ASSERT_FALSE(reader.failed()) << error.toStdString();
    // The pictures lie 10 ms after the sound's start, which the timeline counts from.
    EXPECT_EQ(sink.pictures, 5);
    EXPECT_GE(sink.firstUs, 3000000);
    EXPECT_LT(sink.firstUs, 3040000);
    // The sound frames that reach past 3.2 s come whole; the sink cuts them.
    EXPECT_GE(sink.samples, 0.2 * 48000);
    EXPECT_LT(sink.samples, 0.2 * 48000 + 2 * 1152);
}

} // namespace
