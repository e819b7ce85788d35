// kestrelcut-split --copy run as a process on small generated clips of every container.
#include "support/clips.h"
#include "support/mediachecks.h"
#include "support/realworldclips.h"
#include "splitrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

namespace kc::test {
namespace {

class SplitCliCopy : public SplitIntoFolder {
protected:
    // Splits the source into that many lossless parts in the emptied output folder: the
    // pieces, or none when the run failed.
    QStringList CopyParts(const QString &source, int parts, bool exact)
    {
        QDir(out).removeRecursively();
        EXPECT_TRUE(QDir().mkpath(out));
        QStringList args = {source, "--parts", QString::number(parts), "--copy", "--output", out};
        if (exact)
            args << QStringLiteral("--exact");
        const SplitRun r = RunSplit(args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.exitCode == 0 ? Pieces() : QStringList();
    }
};

struct ContainerCase {
    const char *file;
    const char *videoCodec;
    const char *audioCodec;
    std::vector<const char *> extra;
    const char *name = nullptr; // the case's name where the extension alone is taken
};

void PrintTo(const ContainerCase &c, std::ostream *os)
{
    *os << (c.name ? c.name : c.file) << " (" << c.videoCodec << ", " << c.audioCodec << ')';
}

class SplitCliCopyContainer : public SplitCliCopy, public ::testing::WithParamInterface<ContainerCase> {};

// Keyframes every second, sound throughout; split into parts whose planned starts fall
// between keyframes. Together the pieces' pictures must be the source's, each once.
TEST_P(SplitCliCopyContainer, ConsecutivePiecesHoldEveryPictureOnce)
{
    const ContainerCase &c = GetParam();
    const QString source = dir.filePath(QString::fromLatin1(c.file));
    ClipRecipe recipe;
    recipe.seconds = 4;
    recipe.videoCodec = QString::fromLatin1(c.videoCodec);
    recipe.audioCodec = QString::fromLatin1(c.audioCodec);
    recipe.gop = 25;
    for (const char *arg : c.extra)
        recipe.extraOutputArgs << QString::fromLatin1(arg);
    QString log;
    ASSERT_TRUE(MakeClip(source, recipe, &log)) << log.toStdString();

    const SplitRun r = RunSplit({source, "--parts", "3", "--copy", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList pieces = Pieces();
    ASSERT_EQ(pieces.size(), 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("3 pieces written"))) << r.err.toStdString();

    QStringList joined;
    QStringList joinedSound;
    for (int i = 0; i < pieces.size(); ++i) {
        const QString &piece = pieces.at(i);
        EXPECT_EQ(QFileInfo(piece).fileName(), QStringLiteral("clip_new(%1)%2").arg(i + 1).arg(source.mid(source.lastIndexOf('.'))));
        EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
        const double video = StreamSeconds(piece, "v:0");
        const double audio = StreamSeconds(piece, "a:0");
        EXPECT_GT(video, 0.9) << piece.toStdString();
        EXPECT_NEAR(audio, video, 0.15) << piece.toStdString();
        joined << FrameChecksums(piece);
        joinedSound << SoundPacketChecksums(piece);
    }
    EXPECT_EQ(joined, FrameChecksums(source));
    // The sound is cut at the same points: every packet in one piece only, none repeated at
    // a cut. (An encoder-delay packet stored before time 0, as MP4 keeps AAC's, is not copied.)
    const qsizetype sound = SoundPacketChecksums(source).size();
    EXPECT_TRUE(joinedSound.size() == sound || joinedSound.size() == sound - 1)
        << joinedSound.size() << " packets in the pieces, " << sound << " in the source";
}

INSTANTIATE_TEST_SUITE_P(
    Containers, SplitCliCopyContainer,
    ::testing::Values(ContainerCase{"clip.mp4", "libx264", "aac", {"-sc_threshold", "0"}},
                      ContainerCase{"clip.m4v", "libx264", "aac", {"-sc_threshold", "0", "-f", "mp4"}},
                      ContainerCase{"clip.mov", "libx264", "aac", {"-sc_threshold", "0"}},
                      ContainerCase{"clip.mkv", "libx264", "aac", {"-sc_threshold", "0"}},
                      ContainerCase{"clip.webm", "libvpx", "libvorbis", {"-b:v", "300k"}},
                      ContainerCase{"clip.ts", "libx264", "aac", {"-sc_threshold", "0"}},
                      ContainerCase{"clip.m2ts", "libx264", "ac3", {"-sc_threshold", "0"}},
                      ContainerCase{"clip.mpg", "mpeg1video", "mp2", {"-bf", "0", "-f", "mpeg"}},
                      ContainerCase{"clip.vob", "mpeg2video", "ac3", {"-bf", "0", "-f", "vob"}},
                      ContainerCase{"clip.avi", "mpeg4", "libmp3lame", {}},
                      ContainerCase{"clip.flv", "libx264", "aac", {"-sc_threshold", "0"}},
                      ContainerCase{"clip.wmv", "wmv2", "wmav2", {}},
                      // A camcorder's DV: the AVI's pixel shape (1:1) and the DV stream's
                      // (16:15) differ.
                      ContainerCase{"clip.avi", "dvvideo", "pcm_s16le",
                                    {"-vf", "scale=720:576,setsar=1", "-r", "25", "-pix_fmt", "yuv420p", "-ar", "48000"},
                                    "avi_dv"},
                      // B-pictures: pictures stored after a keyframe show before it.
                      ContainerCase{"clip.avi", "mpeg4", "libmp3lame",
                                    {"-bf", "2", "-flags", "+cgop", "-sc_threshold", "1000000000"}, "avi_bframes"},
                      ContainerCase{"clip.mp4", "libx264", "aac", {"-bf", "3", "-sc_threshold", "0"}, "mp4_bframes"},
                      ContainerCase{"clip.mkv", "libx264", "aac", {"-bf", "3", "-sc_threshold", "0"}, "mkv_bframes"},
                      ContainerCase{"clip.mpg", "mpeg2video", "mp2",
                                    {"-bf", "2", "-flags", "+cgop", "-sc_threshold", "1000000000", "-f", "mpeg"},
                                    "mpg_bframes"}),
    [](const ::testing::TestParamInfo<ContainerCase> &info) {
        if (info.param.name)
            return std::string(info.param.name);
        std::string name = info.param.file;
        return name.substr(name.find('.') + 1);
    });

// Transport streams keep their packet size whatever they are called: AVCHD cameras write
// 192-byte packets (M2TS) into .MTS files, which FFmpeg's muxer would write with 188.
TEST_F(SplitCliCopy, TransportStreamPiecesKeepTheSourcesPacketSize)
{
    const struct {
        const char *file;
        const char *m2tsMode;
        int packetSize;
    } sources[] = {{"camera.mts", "1", 192}, {"plain.m2ts", "0", 188}};
    for (const auto &s : sources) {
        for (bool exact : {false, true}) {
            SCOPED_TRACE(std::string(s.file) + (exact ? " --exact" : ""));
            const QString source = dir.filePath(QString::fromLatin1(s.file));
            const ClipRecipe recipe = RecipeOf("libx264", "ac3", 30, {"-f", "mpegts", "-mpegts_m2ts_mode", s.m2tsMode}, 4);
            ASSERT_TRUE(MakeClip(source, recipe));
            const QStringList pieces = CopyParts(source, 2, exact);
            ASSERT_EQ(pieces.size(), 2);
            for (const QString &piece : pieces) {
                QFile f(piece);
                ASSERT_TRUE(f.open(QIODevice::ReadOnly));
                const QByteArray bytes = f.readAll();
                // Each packet's sync byte: after a 4-byte timestamp in M2TS.
                const int sync = s.packetSize == 192 ? 4 : 0;
                ASSERT_GT(bytes.size(), s.packetSize * 2);
                EXPECT_EQ(bytes.size() % s.packetSize, 0) << piece.toStdString();
                EXPECT_EQ(bytes.at(sync), 0x47);
                EXPECT_EQ(bytes.at(s.packetSize + sync), 0x47);
                EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
            }
        }
    }
}

// A DVD rip as mkvmerge writes it when told the display aspect: the container's pixel shape
// (a 4:3 picture shown 16:9: 427:320, as mkvmerge rounds the display width) is not the
// stream's (1:1). The pieces show what the source shows, plain and exact.
TEST_F(SplitCliCopy, PiecesKeepThePixelShapeTheContainerGives)
{
    if (!HaveProgram(QStringLiteral("mkvmerge")))
        GTEST_SKIP() << "mkvmerge (mkvtoolnix) is not installed";
    const QString plain = dir.filePath(QStringLiteral("plain.mp4"));
    ASSERT_TRUE(MakeClip(plain, RecipeOf("libx264", "aac", 25, {"-bf", "2"}, 4)));
    const QString source = dir.filePath(QStringLiteral("rip.mkv"));
    int code = -1;
    QString err;
    RunTool(QStringLiteral("mkvmerge"), {"-q", "-o", source, "--aspect-ratio", "0:16/9", plain}, &code, &err);
    ASSERT_EQ(code, 0) << err.toStdString();
    const QString shape = ProbeValue(source, QStringLiteral("stream=sample_aspect_ratio"), QStringLiteral("v:0"));
    ASSERT_EQ(shape.trimmed().toStdString(), "427:320");
    for (bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "--exact" : "keyframes");
        const QStringList pieces = CopyParts(source, 3, exact);
        ASSERT_EQ(pieces.size(), 3);
        qsizetype pictures = 0;
        for (const QString &piece : pieces) {
            EXPECT_EQ(ProbeValue(piece, QStringLiteral("stream=sample_aspect_ratio"), QStringLiteral("v:0")), shape)
                << piece.toStdString();
            EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
            pictures += FrameChecksums(piece).size();
        }
        EXPECT_EQ(pictures, FrameChecksums(source).size());
    }
}

// A Blu-ray's TrueHD track: FFmpeg shows it with a second stream for the AC-3 core such a
// track may carry. This one carries none, and that stream has no format to copy.
TEST_F(SplitCliCopy, ABluRayTrueHdTrackIsCopied)
{
    const QString source = dir.filePath(QStringLiteral("disc.m2ts"));
    ASSERT_TRUE(MakeClip(source, RecipeOf("libx264", "truehd", 24,
                                          {"-strict", "-2", "-ac", "2", "-f", "mpegts", "-mpegts_m2ts_mode", "1"}, 4)));
    for (bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "--exact" : "keyframes");
        const QStringList pieces = CopyParts(source, 2, exact);
        ASSERT_EQ(pieces.size(), 2);
        QStringList joined;
        for (const QString &piece : pieces) {
            // (A transport stream's streams are listed once in its program and once alone.)
            EXPECT_EQ(ProbeValue(piece, QStringLiteral("stream=codec_name"), QStringLiteral("a:0")).section('\n', 0, 0),
                      QStringLiteral("truehd"));
            EXPECT_EQ(DecodeErrors(piece), QString()) << piece.toStdString();
            joined << FrameChecksums(piece);
        }
        // Every picture once; copied ones bit for bit (an exact cut encodes a few again).
        const QStringList whole = FrameChecksums(source);
        ASSERT_EQ(joined.size(), whole.size());
        if (!exact) {
            EXPECT_TRUE(joined == whole);
        }
    }
}

TEST_F(SplitCliCopy, APieceWithoutAKeyframeOfItsOwnIsMerged)
{
    // Keyframes at 0 and 3 s; by-second pieces start at 0, 1, 2, 3 and 4 s.
    const QString source = dir.filePath(QStringLiteral("sparse.mp4"));
    const ClipRecipe recipe = RecipeOf("libx264", "aac", 75, {"-sc_threshold", "0"}, 5);
    ASSERT_TRUE(MakeClip(source, recipe));

    const SplitRun r = RunSplit({source, "--every", "1", "--copy", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList pieces = Pieces();
    ASSERT_EQ(pieces.size(), 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("2 pieces written (3 planned pieces held no keyframe of their own")))
        << r.err.toStdString();
    EXPECT_EQ(QFileInfo(pieces.at(0)).fileName(), QStringLiteral("sparse_new(1).mp4"));
    EXPECT_EQ(QFileInfo(pieces.at(1)).fileName(), QStringLiteral("sparse_new(2).mp4"));
    EXPECT_EQ(FrameChecksums(pieces.at(0)).size(), 75);
    EXPECT_EQ(FrameChecksums(pieces.at(0)) + FrameChecksums(pieces.at(1)), FrameChecksums(source));
}

TEST_F(SplitCliCopy, ARangeStartsOnTheKeyframeBeforeItAndGetsAFreeName)
{
    const QString source = dir.filePath(QStringLiteral("range.mkv"));
    const ClipRecipe recipe = RecipeOf("libx264", "aac", 25, {"-sc_threshold", "0"}, 4);
    ASSERT_TRUE(MakeClip(source, recipe));
    for (int run = 0; run < 2; ++run) {
        const SplitRun r = RunSplit({source, "--range", "1.5", "3", "--copy", "--output", out});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out.trimmed(), out + QStringLiteral("range_new%1.mkv").arg(run));
    }
    // From the keyframe at 1 s up to the picture before 3 s.
    const QStringList sums = FrameChecksums(out + QStringLiteral("range_new0.mkv"));
    EXPECT_EQ(sums, FrameChecksums(source).mid(25, 50));
    EXPECT_EQ(Pieces().size(), 2);
}

// An AVI piece beyond 2 GB must be OpenDML (extended RIFF chunks and index), or players
// stop at the first gigabyte. Needs about 5 GB of free disk; skipped without it.
TEST_F(SplitCliCopy, AviPiecesBeyondTwoGigabytesAreWholeOpenDmlFiles)
{
    const qint64 needed = qint64(5) << 30;
    if (QStorageInfo(dir.path()).bytesAvailable() < needed)
        GTEST_SKIP() << "less than 5 GB free in " << dir.path().toStdString() << " for the 2.3 GB fixture and its copy";
    // Uncompressed 640x480 pictures: 200 s make 2.3 GB in seconds.
    const QString source = dir.filePath(QStringLiteral("big.avi"));
    int code = -1;
    QString err;
    RunTool(QStringLiteral("ffmpeg"),
            {"-v", "error", "-f", "lavfi", "-i", "color=c=blue:s=640x480:r=25", "-f", "lavfi", "-i", "sine=sample_rate=44100",
             "-t", "200", "-c:v", "rawvideo", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le", source},
            &code, &err, 300000);
    ASSERT_EQ(code, 0) << err.toStdString();
    ASSERT_GT(QFileInfo(source).size(), qint64(2) << 30);

    const SplitRun r = RunSplit({source, "--range", "0", "200", "--copy", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString piece = out + QStringLiteral("big_new0.avi");
    ASSERT_GT(QFileInfo(piece).size(), qint64(2) << 30);
    QFile::remove(source);
    const QString packets = RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-count_packets", "-select_streams", "v:0",
                                                                "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", piece});
    EXPECT_EQ(packets.trimmed(), QStringLiteral("5000"));
    // The second RIFF chunk, which only OpenDML writes, sits past the first gigabyte.
    QFile f(piece);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    bool extended = false;
    for (qint64 at = qint64(1) << 30; at < f.size() && !extended; at += qint64(64) << 20) {
        f.seek(at);
        extended = f.read(qint64(64) << 20).contains("AVIX");
    }
    EXPECT_TRUE(extended);
}

TEST_F(SplitCliCopy, RefusalsExitWithOneAndWriteNothing)
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
        {{"--parts", "2", "--format", "avi"}, QStringLiteral("--copy keeps the source's streams and container; it cannot be combined with --format")},
        {{"--every", "1", "--format", "mpeg1", "--size", "320x240"}, QStringLiteral("cannot be combined with --format, --size")},
        {{"--range", "0", "9"}, QStringLiteral("结束时间大于视频总时间，请重新设置!")},
        {{"--every", "0"}, QStringLiteral("时间设置不正确，请重新设置！")},
    };
    for (const auto &c : cases) {
        const SplitRun r = RunSplit(QStringList{source, "--copy", "--output", out} + c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_TRUE(Pieces().isEmpty());
}

} // namespace
} // namespace kc::test
