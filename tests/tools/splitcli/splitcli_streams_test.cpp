// kestrelcut-split --copy keeps every stream of the source the container can hold: all sound
// tracks with their languages, subtitles cut to each piece, chapters inside it, attached fonts.
#include "support/clips.h"
#include "support/mediachecks.h"
#include "support/realworldclips.h"
#include "splitrun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace kc::test {
namespace {

// A cue crosses the first cut (2 s) so that both pieces show what falls on their side.
const char kSubtitles[] = "1\n00:00:00,500 --> 00:00:01,500\nfirst\n\n"
                          "2\n00:00:01,800 --> 00:00:02,400\nacross\n\n"
                          "3\n00:00:03,000 --> 00:00:03,600\nsecond\n\n"
                          "4\n00:00:04,500 --> 00:00:05,000\nthird\n";
const char kChapters[] = ";FFMETADATA1\ntitle=Fixture\n"
                         "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=2500\ntitle=One\n"
                         "[CHAPTER]\nTIMEBASE=1/1000\nSTART=2500\nEND=6000\ntitle=Two\n";

struct Span {
    double start;
    double length;
};

QStringList Lines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString &l : lines)
        l = l.trimmed();
    return lines;
}

// Subtitle packets with text in them (MP4 fills the gaps between cues with empty ones; a
// DVB subtitle cue ends with a packet of 14 bytes that clears the screen).
std::vector<Span> Cues(const QString &file, int minBytes = 3)
{
    const QString text = RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "s:0", "-show_entries",
                                                             "packet=pts_time,duration_time,size", "-of", "csv=p=0", file});
    std::vector<Span> cues;
    for (const QString &line : Lines(text)) {
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() >= 3 && f.at(2).toInt() >= minBytes)
            cues.push_back({f.at(0).toDouble(), f.at(1).toDouble()});
    }
    return cues;
}

// One line per stream, "kind language" (the language when it has one).
QString StreamKinds(const QString &file)
{
    const QString json = RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "stream=codec_type:stream_tags=language",
                                                             "-of", "json", file});
    QStringList kinds;
    for (const QJsonValue &v : QJsonDocument::fromJson(json.toUtf8()).object().value(QStringLiteral("streams")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString language = o.value(QStringLiteral("tags")).toObject().value(QStringLiteral("language")).toString();
        kinds << (o.value(QStringLiteral("codec_type")).toString() + QLatin1Char(' ') + language).trimmed();
    }
    return kinds.join(QLatin1Char(','));
}

std::vector<Span> ChapterSpans(const QString &file)
{
    const QString text = RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "chapter=start_time,end_time",
                                                             "-of", "csv=p=0", file});
    std::vector<Span> spans;
    for (const QString &line : Lines(text)) {
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() >= 2)
            spans.push_back({f.at(0).toDouble(), f.at(1).toDouble() - f.at(0).toDouble()});
    }
    return spans;
}

void ExpectSpans(const std::vector<Span> &got, const std::vector<Span> &expected, const char *what)
{
    ASSERT_EQ(got.size(), expected.size()) << what;
    // The video of Matroska and MP4 begins a few hundredths after the sound (encoder delay).
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].start, expected[i].start, 0.03) << what << " " << i;
        EXPECT_NEAR(got[i].length, expected[i].length, 0.03) << what << " " << i;
    }
}

struct StreamCase {
    const char *file;
    QStringList encode;          // ffmpeg arguments between the inputs and the output
    bool subtitlesAndChapters;   // whether the fixture has them
    QString streams;             // of every piece, as StreamKinds gives them
};

void PrintTo(const StreamCase &c, std::ostream *os) { *os << c.file; }

class SplitCliStreams : public SplitIntoFolder, public ::testing::WithParamInterface<StreamCase> {
protected:
    // A 6 s source of the case, a keyframe every gop pictures (25 a second).
    QString MakeSource(int gop)
    {
        const StreamCase &c = GetParam();
        const QString srt = dir.filePath(QStringLiteral("cues.srt"));
        const QString meta = dir.filePath(QStringLiteral("chapters.txt"));
        for (const auto &[path, text] : {std::pair{srt, kSubtitles}, std::pair{meta, kChapters}}) {
            QFile f(path);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        const QString source = dir.filePath(QString::fromLatin1(c.file));
        QStringList args = {"-v", "error", "-f", "lavfi", "-i", "testsrc2=s=320x240:r=25", "-f", "lavfi",
                            "-i", "sine=f=440:sample_rate=48000", "-f", "lavfi", "-i", "sine=f=660:sample_rate=48000"};
        if (c.subtitlesAndChapters)
            args << "-i" << srt << "-i" << meta;
        args << "-map" << "0:v" << "-map" << "1:a" << "-map" << "2:a";
        if (c.subtitlesAndChapters)
            args << "-map" << "3:s" << "-map_metadata" << "4" << "-map_chapters" << "4";
        args << "-t" << "6" << "-g" << QString::number(gop)
             << "-metadata:s:a:0" << "language=eng" << "-metadata:s:a:1" << "language=ger" << c.encode << source;
        int code = -1;
        QString err;
        RunTool(QStringLiteral("ffmpeg"), args, &code, &err);
        EXPECT_EQ(code, 0) << err.toStdString();
        return source;
    }

    // Splits the source in three (cuts at 2 and 4 s); the pieces, each decoding cleanly
    // and carrying the source's streams.
    QStringList SplitInThree(const QString &source, const QStringList &mode)
    {
        const SplitRun run = RunSplit(QStringList{source, "--parts", "3"} + mode + QStringList{"--output", out});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QStringList pieces = Pieces();
        for (const QString &piece : pieces) {
            SCOPED_TRACE(piece.toStdString());
            EXPECT_EQ(DecodeErrors(piece), QString());
            EXPECT_EQ(StreamKinds(piece).toStdString(), GetParam().streams.toStdString());
        }
        return pieces;
    }

    // The cue across the first cut shows to the end of the first piece and from the start
    // of the second; each piece has only its own cues and chapters, counted from its start.
    static void ExpectCuesAndChapters(const QStringList &pieces)
    {
        ExpectSpans(Cues(pieces.at(0)), {{0.5, 1.0}, {1.8, 0.2}}, "cues of piece 1");
        ExpectSpans(Cues(pieces.at(1)), {{0.0, 0.4}, {1.0, 0.6}}, "cues of piece 2");
        ExpectSpans(Cues(pieces.at(2)), {{0.5, 0.5}}, "cues of piece 3");
        ExpectSpans(ChapterSpans(pieces.at(0)), {{0.0, 2.0}}, "chapters of piece 1");
        ExpectSpans(ChapterSpans(pieces.at(1)), {{0.0, 0.5}, {0.5, 1.5}}, "chapters of piece 2");
        ExpectSpans(ChapterSpans(pieces.at(2)), {{0.0, 2.0}}, "chapters of piece 3");
        EXPECT_EQ(ProbeValue(pieces.at(1), QStringLiteral("format_tags=title")).trimmed().toStdString(), "Fixture");
    }

};

// Keyframes every second: the cuts at 2 and 4 s fall on keyframes.
TEST_P(SplitCliStreams, EveryPieceCarriesTheSourcesStreams)
{
    const QString source = MakeSource(25);
    const QStringList pieces = SplitInThree(source, {"--copy"});
    ASSERT_EQ(pieces.size(), 3);
    QStringList joined;
    for (const QString &piece : pieces)
        joined << FrameChecksums(piece);
    EXPECT_EQ(joined, FrameChecksums(source));
    if (GetParam().subtitlesAndChapters)
        ExpectCuesAndChapters(pieces);
}

// Keyframes every 1.4 s: the exact cuts at 2 and 4 s fall between them, and the pieces
// still carry every stream, the cues and the chapters as the keyframe cuts do.
TEST_P(SplitCliStreams, ExactPiecesCarryTheSourcesStreams)
{
    const QString source = MakeSource(35);
    const QStringList pieces = SplitInThree(source, {"--copy", "--exact"});
    ASSERT_EQ(pieces.size(), 3);
    qsizetype pictures = 0;
    for (const QString &piece : pieces)
        pictures += FrameChecksums(piece).size();
    EXPECT_EQ(pictures, FrameChecksums(source).size());
    if (GetParam().subtitlesAndChapters)
        ExpectCuesAndChapters(pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, SplitCliStreams,
    ::testing::Values(
        StreamCase{"clip.mkv",
                   {"-c:v", "libx264", "-sc_threshold", "0", "-c:a", "aac", "-c:s", "srt", "-attach",
                    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "-metadata:s:t", "mimetype=font/ttf"},
                   true, "video,audio eng,audio ger,subtitle,attachment"},
        StreamCase{"clip.mp4",
                   {"-c:v", "libx264", "-sc_threshold", "0", "-c:a", "aac", "-c:s", "mov_text"},
                   // The chapters' own text track stands last.
                   true, "video und,audio eng,audio ger,subtitle und,data eng"},
        StreamCase{"clip.vob", {"-c:v", "mpeg2video", "-bf", "0", "-c:a:0", "ac3", "-c:a:1", "mp2", "-f", "vob"},
                   false, "video,audio,audio"},
        StreamCase{"clip.ts", {"-c:v", "libx264", "-sc_threshold", "0", "-c:a", "aac"},
                   false, "video,audio eng,audio ger"}),
    [](const ::testing::TestParamInfo<StreamCase> &info) {
        std::string name = info.param.file;
        return name.substr(name.find('.') + 1);
    });

struct TimecodeCase {
    const char *name;
    const char *file;
    const char *rate;
    int gop;
    const char *timecode;   // of the source's first picture
    QStringList mode;
    QStringList expected;   // of each piece's first picture
};

void PrintTo(const TimecodeCase &c, std::ostream *os) { *os << c.name; }

class SplitCliTimecode : public SplitIntoFolder, public ::testing::WithParamInterface<TimecodeCase> {};

// A camera's timecode names the first picture of its file: each piece's names the piece's
// own first picture, in its video stream and in the timecode track the muxer writes from it.
TEST_P(SplitCliTimecode, EachPieceCountsOnFromTheSourcesTimecode)
{
    const TimecodeCase &c = GetParam();
    const QString source = dir.filePath(QString::fromLatin1(c.file));
    QString log;
    ASSERT_TRUE(RunFfmpeg({"-f", "lavfi", "-i", QStringLiteral("testsrc2=s=320x240:r=%1:d=6").arg(c.rate), "-f", "lavfi",
                           "-i", "sine=sample_rate=48000:d=6", "-c:v", "libx264", "-preset", "ultrafast", "-g",
                           QString::number(c.gop), "-sc_threshold", "0", "-c:a", "aac", "-timecode", c.timecode, source},
                          &log))
        << log.toStdString();
    const SplitRun run = RunSplit(QStringList{source, "--parts", "3"} + c.mode + QStringList{"--output", out});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList pieces = Pieces();
    ASSERT_EQ(pieces.size(), c.expected.size());
    for (int i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE(pieces.at(i).toStdString());
        EXPECT_EQ(DecodeErrors(pieces.at(i)), QString());
        const QStringList timecodes = Lines(ProbeValue(pieces.at(i), QStringLiteral("stream_tags=timecode")));
        ASSERT_FALSE(timecodes.isEmpty());
        for (const QString &t : timecodes)
            EXPECT_EQ(t.toStdString(), c.expected.at(i).toStdString());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Containers, SplitCliTimecode,
    ::testing::Values(
        TimecodeCase{"MovOnKeyframes", "camera.mov", "25", 25, "10:59:59:00", {"--copy"},
                     {"10:59:59:00", "11:00:01:00", "11:00:03:00"}},
        TimecodeCase{"Mp4Exact", "camera.mp4", "25", 35, "10:59:59:00", {"--copy", "--exact"},
                     {"10:59:59:00", "11:00:01:00", "11:00:03:00"}},
        // 29.97 pictures a second, counted drop-frame across a minute.
        TimecodeCase{"MovDropFrameExact", "camera.mov", "30000/1001", 45, "00:00:58;00", {"--copy", "--exact"},
                     {"00:00:58;00", "00:01:00;02", "00:01:02;02"}}),
    [](const ::testing::TestParamInfo<TimecodeCase> &info) { return std::string(info.param.name); });

// When the video's pictures show, in seconds, in the order they show.
std::vector<double> PictureTimes(const QString &file)
{
    const QString text =
        RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                            "frame=best_effort_timestamp_time", "-of", "csv=p=0", file});
    std::vector<double> times;
    for (const QString &line : Lines(text)) {
        bool ok = false;
        const double t = line.section(QLatin1Char(','), 0, 0).toDouble(&ok);
        if (ok)
            times.push_back(t);
    }
    return times;
}

struct BitmapSubtitleCase {
    const char *name;
    const char *file;
    // ffmpeg arguments that make it from the DVD's program stream, or none for that itself
    QStringList fromDvd;
    int minCueBytes;
};

void PrintTo(const BitmapSubtitleCase &c, std::ostream *os) { *os << c.name; }

class SplitCliBitmapSubtitles : public SplitIntoFolder, public ::testing::WithParamInterface<BitmapSubtitleCase> {};

// A DVD's subtitles as dvdauthor's spumux renders them into the program stream, and the
// same pictures as DVB subtitles in a broadcast's transport stream: each piece keeps the
// subtitle stream and the cues that begin in it, at the same distance from its first
// picture as in the source.
TEST_P(SplitCliBitmapSubtitles, CuesStayWithTheirPictures)
{
    if (!HaveProgram(QStringLiteral("spumux")))
        GTEST_SKIP() << "spumux (dvdauthor) is not installed";
    const BitmapSubtitleCase &c = GetParam();
    const QString dvd = dir.filePath(QStringLiteral("subtitled.vob"));
    const QString source = dir.filePath(QString::fromLatin1(c.file));
    QFile srt(dir.filePath(QStringLiteral("cues.srt")));
    ASSERT_TRUE(srt.open(QIODevice::WriteOnly));
    srt.write("1\n00:00:00,500 --> 00:00:01,500\none\n\n2\n00:00:02,100 --> 00:00:03,300\ntwo\n\n"
              "3\n00:00:04,200 --> 00:00:05,500\nthree\n");
    srt.close();
    QFile xml(dir.filePath(QStringLiteral("subs.xml")));
    ASSERT_TRUE(xml.open(QIODevice::WriteOnly));
    xml.write(QStringLiteral("<subpictures format=\"PAL\"><stream><textsub filename=\"%1\" characterset=\"UTF-8\" "
                             "fontsize=\"28.0\" font=\"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf\" "
                             "horizontal-alignment=\"center\" vertical-alignment=\"bottom\" subtitle-fps=\"25\" "
                             "movie-fps=\"25\" movie-width=\"720\" movie-height=\"576\"/></stream></subpictures>")
                  .arg(srt.fileName())
                  .toUtf8());
    xml.close();
    int code = -1;
    QString err;
    RunTool(QStringLiteral("sh"),
            {"-c", QStringLiteral("ffmpeg -v error -f lavfi -i testsrc2=s=720x576:r=25 -f lavfi -i sine=sample_rate=48000 "
                                  "-t 6 -target pal-dvd -b:v 1M -f dvd %1.plain && spumux -P %2 < %1.plain > %1")
                       .arg(dvd, xml.fileName())},
            &code, &err);
    ASSERT_EQ(code, 0) << err.toStdString();
    if (!c.fromDvd.isEmpty()) {
        ASSERT_TRUE(RunFfmpeg(QStringList{"-i", dvd, "-map", "0"} + c.fromDvd + QStringList{source}, &err))
            << err.toStdString();
    }
    const std::vector<Span> sourceCues = Cues(source, c.minCueBytes);
    ASSERT_EQ(sourceCues.size(), 3u);
    const std::vector<double> sourcePictures = PictureTimes(source);
    ASSERT_FALSE(sourcePictures.empty());

    const SplitRun r = RunSplit({source, "--parts", "3", "--copy", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList pieces = Pieces();
    ASSERT_EQ(pieces.size(), 3);
    size_t firstPicture = 0;
    size_t cue = 0;
    for (const QString &piece : pieces) {
        SCOPED_TRACE(piece.toStdString());
        EXPECT_EQ(DecodeErrors(piece), QString());
        const std::vector<double> pictures = PictureTimes(piece);
        ASSERT_FALSE(pictures.empty());
        ASSERT_LT(firstPicture, sourcePictures.size());
        const double sourceStart = sourcePictures[firstPicture];
        const size_t next = firstPicture + pictures.size();
        const double sourceEnd = next < sourcePictures.size() ? sourcePictures[next] : 1e9;
        std::vector<double> wanted;
        for (const Span &c : sourceCues)
            if (c.start >= sourceStart && c.start < sourceEnd)
                wanted.push_back(c.start - sourceStart);
        const std::vector<Span> cues = Cues(piece, c.minCueBytes);
        ASSERT_EQ(cues.size(), wanted.size());
        for (size_t i = 0; i < cues.size(); ++i, ++cue)
            EXPECT_NEAR(cues[i].start - pictures.front(), wanted[i], 0.02) << "cue " << cue + 1;
        firstPicture = next;
    }
    EXPECT_EQ(cue, sourceCues.size());
}

INSTANTIATE_TEST_SUITE_P(
    Containers, SplitCliBitmapSubtitles,
    ::testing::Values(BitmapSubtitleCase{"DvdProgramStream", "subtitled.vob", {}, 3},
                      BitmapSubtitleCase{"DvbTransportStream", "broadcast.ts",
                                         {"-c:v", "libx264", "-preset", "ultrafast", "-g", "50", "-c:a", "mp2", "-c:s",
                                          "dvbsub"},
                                         15}),
    [](const ::testing::TestParamInfo<BitmapSubtitleCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace kc::test
