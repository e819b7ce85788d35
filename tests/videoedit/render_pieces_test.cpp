// Consecutive pieces of one source: exact frames and samples, chained from the completion event.
#include "fixtures.h"
#include "support/mediachecks.h"

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
    // Each piece's sound starts with its first picture and lasts as long as its pictures, so
    // the pieces hold the source's sound without a sample lost or repeated at the two cuts.
    const qint64 sourceSamples = CountAudioSamples(src);
    const int rate = ProbeInt(src, QStringLiteral("stream=sample_rate"), QStringLiteral("a:0"));
    for (int piece = 0; piece < 2; ++piece) {
        EXPECT_NEAR(double(CountAudioSamples(outputs.at(piece))), CountVideoFrames(outputs.at(piece)) / c.rate * rate, 1.0)
            << "piece " << piece + 1;
    }
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

struct OneRenderCase {
    const char *label;
    int outputType;
    const char *codecName; // AVI: part of the video codec's name
};

void PrintTo(const OneRenderCase &c, std::ostream *os) { *os << c.label; }

bool FirstPictureIsKeyframe(const QString &file)
{
    const QString out = RunTool(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                        QStringLiteral("v:0"), QStringLiteral("-read_intervals"), QStringLiteral("%+#1"),
                                        QStringLiteral("-show_entries"), QStringLiteral("frame=key_frame"),
                                        QStringLiteral("-of"), QStringLiteral("default=nw=1:nk=1"), file});
    return out.trimmed().section(QLatin1Char('\n'), 0, 0) == QLatin1String("1");
}

// Pictures stored after the file's first keyframe but shown before it: they would refer to a
// picture of the piece before, which this file lacks.
int LeadingPictures(const QString &file)
{
    const QString out = RunTool(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                        QStringLiteral("v:0"), QStringLiteral("-show_entries"), QStringLiteral("packet=pts"),
                                        QStringLiteral("-of"), QStringLiteral("default=nw=1:nk=1"), file});
    const QStringList pts = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    int leading = 0;
    for (const QString &p : pts) {
        bool known = false;
        const qint64 t = p.toLongLong(&known);
        if (known && t < pts.first().toLongLong())
            ++leading;
    }
    return leading;
}

// The time code (in pictures, at fps) and closed flag of the first GOP header of an MPEG file;
// -1 when it has none.
int FirstGopTimeCode(const QString &file, int fps, bool *closed)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = f.read(1 << 20);
    const int at = data.indexOf(QByteArray("\x00\x00\x01\xB8", 4));
    if (at < 0 || at + 8 > data.size())
        return -1;
    const auto byte = [&](int i) { return uint32_t(uint8_t(data.at(at + 4 + i))); };
    const uint32_t w = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    *closed = (w >> 6) & 1;
    return int((((w >> 26 & 31) * 60 + (w >> 20 & 63)) * 60 + (w >> 13 & 63)) * uint32_t(fps) + (w >> 7 & 63));
}

class VideoEditOneRender : public ::testing::TestWithParam<OneRenderCase> {};

// Five pieces in one render, as a split asks for them (their cuts fall inside groups of
// pictures): through encoders that go on from piece
// to piece (MPEG-2 with B-frames, MPEG-4) and one that is drained and opened again at each
// piece (H.264). Each piece is a file of its own that starts on a keyframe and decodes
// cleanly, its sound lasts as long as its pictures, and together they last as long as the
// source, to the frame.
TEST_P(VideoEditOneRender, WritesEachPieceIntoAFileOfItsOwn)
{
    const OneRenderCase &c = GetParam();
    const QString src = SourceClip(Source::Avi);
    TVideoEdit edit;
    OwnRateAvi(edit, src, 25);
    edit.setOutputType(c.outputType);
    if (c.codecName) {
        int codec = -1;
        for (int i = 0; i < edit.VideoCompressors().Count(); ++i)
            if (edit.VideoCompressors().Item(i).contains(QLatin1String(c.codecName)))
                codec = i;
        if (codec < 0)
            GTEST_SKIP() << "no " << c.codecName << " encoder here";
        edit.setVideoCompressor(codec);
    }
    const double duration = edit.GetFileDuration(src);
    const int pieces = 5;
    QStringList outputs;
    for (int i = 0; i < pieces; ++i) {
        const double a = duration * i / pieces, b = duration * (i + 1) / pieces;
        edit.AddVideo(src, a, b, 0);
        edit.AddAudio(src, a, b);
        outputs << OutputPath(QStringLiteral("%1 together %2.%3")
                                  .arg(QString::fromLatin1(c.label)).arg(i + 1)
                                  .arg(c.outputType == 8 ? QStringLiteral("avi") : QStringLiteral("mpg")));
    }
    QList<int> announced;
    QObject::connect(&edit, &TVideoEdit::OnPieceComplete, [&](int index) {
        announced << index;
        // Named and complete as it is announced.
        EXPECT_GT(CountVideoFrames(outputs.at(index)), 0) << "piece " << index + 1;
    });
    const RenderOutcome r = SavePiecesAndWait(edit, outputs);
    ASSERT_TRUE(r.saved) << r.reason.toStdString();
    ASSERT_TRUE(r.completed);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();
    EXPECT_EQ(announced, (QList<int>{0, 1, 2, 3}));

    int frames = 0;
    for (const QString &o : outputs) {
        SCOPED_TRACE(o.toStdString());
        EXPECT_EQ(DecodeErrors(o), QString());
        EXPECT_TRUE(FirstPictureIsKeyframe(o));
        EXPECT_EQ(LeadingPictures(o), 0);
        if (c.outputType != 8) {
            // Each piece's groups of pictures count from its own start, the first one closed,
            // as in a file encoded alone.
            bool closed = false;
            EXPECT_EQ(FirstGopTimeCode(o, 25, &closed), 0);
            EXPECT_TRUE(closed);
        }
        EXPECT_NEAR(SoundSeconds(o), PictureSeconds(o), 0.05);
        frames += CountVideoFrames(o);
    }
    EXPECT_NEAR(frames, duration * 25, 1.0);
}

// What keeps a render of pieces from starting, said by SavePieces before any file is made.
TEST(VideoEditOneRenderRefusals, AreSaidBeforeAnythingIsWritten)
{
    const QString src = SourceClip(Source::Avi);
    const QString other = SourceClip(Source::AviNoSound);
    const QString a = OutputPath(QStringLiteral("refused a.avi"));
    const QString b = OutputPath(QStringLiteral("refused b.avi"));
    const struct {
        const char *label;
        QStringList clipFiles;
        QStringList outputs;
        QString message;
    } cases[] = {
        {"no file names", {src, src}, {}, QStringLiteral("没有指定输出文件")},
        {"a name too few", {src, src}, {a}, QStringLiteral("分段输出的片段必须来自同一个文件，每段一个输出文件")},
        {"two sources", {src, other}, {a, b}, QStringLiteral("分段输出的片段必须来自同一个文件，每段一个输出文件")},
        {"a piece over its source", {src, src}, {a, src}, QStringLiteral("输出文件不能是输入文件: ") + src},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        TVideoEdit edit;
        OwnRateAvi(edit, src, 25);
        for (int i = 0; i < c.clipFiles.size(); ++i) {
            edit.AddVideo(c.clipFiles.at(i), i, i + 1, 0);
            edit.AddAudio(c.clipFiles.at(i), i, i + 1);
        }
        EXPECT_FALSE(edit.SavePieces(c.outputs));
        EXPECT_EQ(edit.LastError(), c.message);
        EXPECT_FALSE(edit.IsRendering());
        EXPECT_FALSE(QFile::exists(a));
        EXPECT_FALSE(QFile::exists(b));
    }
}

const OneRenderCase kOneRender[] = {
    {"Mpeg2BFrames", 7, nullptr},
    {"AviMpeg4", 8, "MPEG-4 Part 2"},
    {"AviH264", 8, "x264"},
};

INSTANTIATE_TEST_SUITE_P(Encoders, VideoEditOneRender, ::testing::ValuesIn(kOneRender),
                         [](const ::testing::TestParamInfo<OneRenderCase> &i) { return std::string(i.param.label); });

} // namespace

namespace {

// A clip that is dark and silent until 1.6 s, then bright with a tone: where the two changes
// land in a piece shows whether pictures and sound were cut at the same instant.
QString MarkerClip(const QString &container)
{
    const QString path = OutputPath(QStringLiteral("marker.") + container);
    if (QFile::exists(path))
        return path;
    QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                     QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("color=c=black:s=320x240:r=25:d=3,format=yuv420p,"
                                    "geq=lum='if(gte(T,1.6),235,16)':cb=128:cr=128"),
                     QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("aevalsrc='if(gte(t,1.6),0.5*sin(2*PI*440*t),0)':s=44100:d=3"),
                     QStringLiteral("-ac"), QStringLiteral("2")};
    if (container == QLatin1String("avi"))
        args << QStringList{QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-g"), QStringLiteral("12"),
                            QStringLiteral("-c:a"), QStringLiteral("libmp3lame")};
    else if (container == QLatin1String("mpg"))
        args << QStringList{QStringLiteral("-c:v"), QStringLiteral("mpeg2video"), QStringLiteral("-c:a"),
                            QStringLiteral("mp2"), QStringLiteral("-f"), QStringLiteral("vob")};
    else
        args << QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-bf"), QStringLiteral("2"),
                            QStringLiteral("-c:a"), QStringLiteral("aac")};
    args << path;
    int code = -1;
    QString err;
    RunTool(QStringLiteral("ffmpeg"), args, &code, &err);
    EXPECT_EQ(code, 0) << err.toStdString();
    return path;
}

// Seconds from the start of the file to the first bright picture / the first sound, as
// ffmpeg's own filters find them on the file's own timestamps (as players count them).
double FileStart(const QString &file)
{
    return ProbeDouble(file, QStringLiteral("format=start_time"));
}

double FirstBrightPicture(const QString &file)
{
    QString err;
    RunTool(QStringLiteral("ffmpeg"), {QStringLiteral("-copyts"), QStringLiteral("-i"), file, QStringLiteral("-an"), QStringLiteral("-vf"),
                                       QStringLiteral("signalstats,metadata=print:key=lavfi.signalstats.YAVG"),
                                       QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
            nullptr, &err);
    double time = -1;
    for (const QString &line : err.split(QLatin1Char('\n'))) {
        const int t = line.indexOf(QStringLiteral("pts_time:"));
        if (t >= 0)
            time = line.mid(t + 9).section(QLatin1Char(' '), 0, 0).toDouble();
        const int y = line.indexOf(QStringLiteral("YAVG="));
        if (y >= 0 && line.mid(y + 5).toDouble() > 100)
            return time - FileStart(file);
    }
    return -1;
}

double FirstSound(const QString &file)
{
    QString err;
    RunTool(QStringLiteral("ffmpeg"), {QStringLiteral("-copyts"), QStringLiteral("-i"), file, QStringLiteral("-vn"),
                                       QStringLiteral("-af"), QStringLiteral("silencedetect=n=-30dB:d=0.05"),
                                       QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
            nullptr, &err);
    const int at = err.indexOf(QStringLiteral("silence_end: "));
    return at < 0 ? -1 : err.mid(at + 13).section(QLatin1Char(' '), 0, 0).toDouble() - FileStart(file);
}

class VideoEditSync : public ::testing::TestWithParam<const char *> {};

TEST_P(VideoEditSync, PicturesAndSoundAreCutAtTheSameInstant)
{
    const QString src = MarkerClip(QString::fromLatin1(GetParam()));
    const double cut = 1.0;
    TVideoEdit edit;
    OwnRateAvi(edit, src, 25);
    SetClip(edit, src, cut, 2.5);
    const QString out = OutputPath(QStringLiteral("marker piece from %1.avi").arg(QString::fromLatin1(GetParam())));
    const RenderOutcome r = SaveAndWait(edit, out);
    ASSERT_TRUE(r.succeeded) << r.reason.toStdString();

    // (ffmpeg counts from the file's first timestamp, as the component does.)
    const double srcPicture = FirstBrightPicture(src);
    const double srcSound = FirstSound(src);
    ASSERT_GT(srcPicture, 1.2);
    ASSERT_GT(srcSound, 1.2);
    // The piece holds the same moments, moved by the cut to within a frame (the first picture
    // kept starts the piece), and the sound keeps its distance to the pictures (PCM out).
    EXPECT_NEAR(FirstBrightPicture(out), srcPicture - cut, 0.041);
    EXPECT_NEAR(FirstSound(out), srcSound - cut, 0.041);
    EXPECT_NEAR(FirstSound(out) - FirstBrightPicture(out), srcSound - srcPicture, 0.003);
}

INSTANTIATE_TEST_SUITE_P(Sources, VideoEditSync, ::testing::Values("avi", "mpg", "mp4"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace
