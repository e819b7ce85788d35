// Consecutive pieces of one source: exact frames and samples, chained from the completion event.
#include "fixtures.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <ostream>

using namespace kc;
using namespace kc::test;

namespace {

struct PiecesCase {
    const char *label;
    Source source;
    double rate;
};

// Test names show the case label rather than its bytes.
void PrintTo(const PiecesCase &c, std::ostream *os) { *os << c.label; }

// AVI at the source's own size and rate, MPEG-4 pictures and PCM sound, so that frames and
// samples can be counted one for one.
void OwnRateAvi(TVideoEdit &e, const QString &src, double rate)
{
    e.setOutputType(8);
    e.setOutputFileWidth(e.GetFileWidth(src));
    e.setOutputFileHeight(e.GetFileHeight(src));
    e.setFrameRate(float(rate));
    e.setUseVideoCompressor(true);
    e.setVideoCompressor(0);
    e.setUseAudioCompressor(false);
    e.setVideoSampleSize(24);
}

class VideoEditPieces : public ::testing::TestWithParam<PiecesCase> {};

// The three pieces of an equal split, started one from the other's completion handler as the
// render driver does; the boundaries fall between frames.
TEST_P(VideoEditPieces, AddUpToTheSourceExactly)
{
    const PiecesCase &c = GetParam();
    const QString src = SourceClip(c.source);
    TVideoEdit edit;
    const double duration = edit.GetFileDuration(src);
    ASSERT_GT(duration, 2.5);
    const double bounds[] = {0, duration / 3, duration * 2 / 3, duration};
    QStringList outputs;
    int completions = 0;
    bool allOk = true;
    QString why;
    QEventLoop loop;

    auto start = [&](int piece) {
        OwnRateAvi(edit, src, c.rate);
        edit.InitControl();
        edit.AddVideo(src, bounds[piece], bounds[piece + 1], 0);
        edit.AddAudio(src, bounds[piece], bounds[piece + 1]);
        const QString out = OutputPath(QStringLiteral("%1 piece %2.avi").arg(QString::fromLatin1(c.label)).arg(piece + 1));
        outputs << out;
        return edit.Save(out);
    };
    QObject::connect(&edit, &TVideoEdit::OnComplete, &loop, [&](bool ok, const QString &reason) {
        ++completions;
        allOk = allOk && ok;
        if (!ok)
            why = reason;
        // The file is complete by the time the event arrives.
        EXPECT_GT(CountVideoFrames(outputs.last()), 0);
        if (completions < 3 && ok) {
            EXPECT_FALSE(edit.IsRendering());
            if (!start(completions)) {
                why = edit.LastError();
                loop.quit();
            }
        } else {
            loop.quit();
        }
    });
    ASSERT_TRUE(start(0)) << edit.LastError().toStdString();
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_EQ(completions, 3) << why.toStdString();
    ASSERT_TRUE(allOk) << why.toStdString();

    int frames = 0;
    qint64 samples = 0;
    QString perPiece;
    for (const QString &o : outputs) {
        frames += CountVideoFrames(o);
        samples += CountAudioSamples(o);
        perPiece += QStringLiteral(" %1").arg(CountVideoFrames(o));
    }
    EXPECT_EQ(frames, CountVideoFrames(src)) << "pieces:" << perPiece.toStdString();
    // Sound is cut at the sample: the pieces hold the source's sound, without a sample lost
    // or repeated at the two cuts (the last piece may end where the pictures end).
    const qint64 sourceSamples = CountAudioSamples(src);
    const int rate = ProbeInt(src, QStringLiteral("stream=sample_rate"), QStringLiteral("a:0"));
    const qint64 firstTwo = CountAudioSamples(outputs.at(0)) + CountAudioSamples(outputs.at(1));
    EXPECT_EQ(firstTwo, qRound64(bounds[2] * rate));
    EXPECT_NEAR(double(samples), double(sourceSamples), rate * 0.05);
}

const PiecesCase kPieces[] = {
    {"Avi", Source::Avi, 25},
    {"MpegPs", Source::MpegPs, 25},
    {"Mp4BFrames", Source::Mp4BFrames, 25},
    {"AviNtsc", Source::AviNtsc, 29.97f},
};

INSTANTIATE_TEST_SUITE_P(Sources, VideoEditPieces, ::testing::ValuesIn(kPieces),
                         [](const ::testing::TestParamInfo<PiecesCase> &i) { return std::string(i.param.label); });

} // namespace
