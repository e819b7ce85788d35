// Sources whose clock starts again partway: two recordings joined end to end (`cat`, as
// users join a broadcast's or a camera's transport streams) and a program stream whose
// second cell was authored on a clock ten minutes later. Split as a user would, the pieces
// must hold both recordings' pictures and sound, in order, each once.
#include "support/clips.h"
#include "support/mediachecks.h"
#include "support/picturecompare.h"
#include "splitrun.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>

namespace kc::test {
namespace {

struct JoinedCase {
    const char *name;
    const char *extension;
    const char *videoCodec;
    const char *audioCodec;
    QStringList output;       // the container and coding options of both recordings
    QString secondClockStart; // the second recording's -output_ts_offset, empty for none
    int width = 320, height = 240;
};

void PrintTo(const JoinedCase &c, std::ostream *os) { *os << c.name; }

class SplitCliJoined : public SplitIntoFolder, public ::testing::WithParamInterface<JoinedCase> {
protected:
    void SetUp() override
    {
        SplitIntoFolder::SetUp();
        const JoinedCase &c = GetParam();
        first = dir.filePath(QStringLiteral("first.%1").arg(QString::fromLatin1(c.extension)));
        second = dir.filePath(QStringLiteral("second.%1").arg(QString::fromLatin1(c.extension)));
        source = dir.filePath(QStringLiteral("joined.%1").arg(QString::fromLatin1(c.extension)));
        // Two patterns and two tones, so that a piece shows which recording it came from.
        ASSERT_TRUE(Record(first, QStringLiteral("testsrc2"), 440, QString()));
        ASSERT_TRUE(Record(second, QStringLiteral("testsrc"), 880, c.secondClockStart));
        QFile joined(source);
        ASSERT_TRUE(joined.open(QIODevice::WriteOnly));
        for (const QString &part : {first, second}) {
            QFile f(part);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            joined.write(f.readAll());
        }
    }

    bool Record(const QString &path, const QString &pattern, int tone, const QString &clockStart)
    {
        const JoinedCase &c = GetParam();
        QStringList args{"-f", "lavfi", "-i",
                         QStringLiteral("%1=size=%2x%3:rate=25:duration=4").arg(pattern).arg(c.width).arg(c.height),
                         "-f", "lavfi", "-i", QStringLiteral("sine=frequency=%1:sample_rate=48000:duration=4").arg(tone),
                         "-c:v", QString::fromLatin1(c.videoCodec), "-pix_fmt", "yuv420p",
                         "-c:a", QString::fromLatin1(c.audioCodec)};
        args << c.output;
        if (!clockStart.isEmpty())
            args << "-output_ts_offset" << clockStart;
        QString log;
        const bool ok = RunFfmpeg(args << path, &log);
        EXPECT_TRUE(ok) << log.toStdString();
        return ok;
    }

    SplitRun Split(const QStringList &args)
    {
        const SplitRun r = RunSplit(QStringList{source} << args << "--output" << out);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r;
    }

    // How much longer the first recording's sound is than its pictures: the second one
    // starts after both.
    double FirstSoundOverhang() const
    {
        return std::max(0.0, StreamSeconds(first, "a:0") - StreamSeconds(first, "v:0"));
    }

    QString first, second, source;
};

// Two parts, encoded again: one per recording, with the second's pictures from its first.
TEST_P(SplitCliJoined, EncodedPartsHoldOneRecordingEach)
{
    const JoinedCase &c = GetParam();
    Split({"--parts", "2", "--format", "avi", "--size", QStringLiteral("%1x%2").arg(c.width).arg(c.height)});
    const QStringList pieces = Pieces();
    ASSERT_EQ(pieces.size(), 2);
    for (const QString &piece : pieces) {
        EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
        EXPECT_EQ(CountVideoFrames(piece), 100) << piece.toStdString();
        EXPECT_NEAR(StreamSeconds(piece, "a:0"), StreamSeconds(piece, "v:0"), 0.05) << piece.toStdString();
    }
    const QList<double> likeness = PicturePsnr(pieces.at(1), second, 0);
    ASSERT_FALSE(likeness.isEmpty());
    EXPECT_GT(likeness.front(), 25.0) << "the second piece does not start with the second recording";
    EXPECT_GT(likeness.back(), 25.0) << "the second piece does not end with the second recording";
}

// Lossless parts: every picture of both recordings once, bit for bit, and every sound packet.
TEST_P(SplitCliJoined, LosslessPartsHoldEveryPictureOnce)
{
    const SplitRun r = Split({"--parts", "3", "--copy"});
    const QStringList pieces = Pieces();
    ASSERT_EQ(pieces.size(), 3) << r.err.toStdString();
    QStringList pictures, sound;
    for (const QString &piece : pieces) {
        EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
        EXPECT_NEAR(StreamSeconds(piece, "a:0"), StreamSeconds(piece, "v:0"), 0.1) << piece.toStdString();
        pictures << FrameChecksums(piece);
        sound << SoundPacketChecksums(piece);
    }
    const QStringList recorded = FrameChecksums(first) + FrameChecksums(second);
    EXPECT_TRUE(pictures == recorded) << pictures.size() << " pictures in the pieces, " << recorded.size()
                                      << " recorded; the first to differ is number "
                                      << std::mismatch(pictures.begin(), pictures.end(), recorded.begin(), recorded.end()).first
                                             - pictures.begin();
    EXPECT_EQ(sound.size(), SoundPacketChecksums(first).size() + SoundPacketChecksums(second).size());
}

// A range inside the second recording starts on its picture at the asked time, whether the
// pieces are encoded again (the reader seeks into the second part) or cut frame-exact.
TEST_P(SplitCliJoined, ARangeInTheSecondRecordingStartsOnItsPicture)
{
    const JoinedCase &c = GetParam();
    // Halfway into the second recording's picture 30 (1.20 s to 1.24 s into it).
    const double start = 4.0 + FirstSoundOverhang() + 1.22;
    const QStringList range{"--range", QString::number(start, 'f', 3), QString::number(start + 1.6, 'f', 3)};
    const struct {
        QStringList output;
        double minPsnr;
    } ways[] = {
        {{"--copy", "--exact"}, 30.0},
        {{"--format", "avi", "--size", QStringLiteral("%1x%2").arg(c.width).arg(c.height)}, 25.0},
    };
    for (const auto &way : ways) {
        QDir(out).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(out));
        Split(range + way.output);
        const QStringList pieces = Pieces();
        ASSERT_EQ(pieces.size(), 1) << way.output.join(' ').toStdString();
        EXPECT_EQ(DecodeErrors(pieces.front()), QString());
        EXPECT_NEAR(CountVideoFrames(pieces.front()), 40, 1) << way.output.join(' ').toStdString();
        EXPECT_NEAR(StreamSeconds(pieces.front(), "a:0"), StreamSeconds(pieces.front(), "v:0"), 0.1)
            << way.output.join(' ').toStdString();
        const QList<double> likeness = PicturePsnr(pieces.front(), second, 30);
        ASSERT_FALSE(likeness.isEmpty());
        EXPECT_GE(likeness.front(), way.minPsnr) << way.output.join(' ').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, SplitCliJoined,
    ::testing::Values(
        // Two recordings by the same muxer: both clocks start at 1.4 s.
        JoinedCase{"ts_joined", "ts", "libx264", "mp2", {"-preset", "ultrafast", "-g", "25", "-sc_threshold", "0", "-f", "mpegts"}, {}},
        // A broadcast whose encoder restarted: the clock jumps an hour forward, with B-pictures.
        JoinedCase{"ts_clock_jumps_forward", "ts", "libx264", "aac",
                   {"-preset", "veryfast", "-bf", "2", "-g", "25", "-sc_threshold", "0", "-f", "mpegts"}, "3600"},
        // A DVD title whose second cell runs on a clock ten minutes on.
        JoinedCase{"vob_clock_jumps_forward", "vob", "mpeg2video", "mp2", {"-g", "12", "-f", "vob"}, "600", 352, 288}),
    [](const ::testing::TestParamInfo<JoinedCase> &i) { return std::string(i.param.name); });

} // namespace
} // namespace kc::test
