// One reader for all the pieces of a split: the keyframes an AVI index gives, copies of
// consecutive ranges through one open input, and the read-back check of a finished piece.
#include "copysetup.h"
#include "copysource.h"
#include "keyframescan.h"
#include "piececheck.h"
#include "streamcopy.h"

#include "support/clips.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace fe = kc::fileencoder;

namespace {

std::string Local(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QByteArray Bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class CopySourceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); dir.setAutoRemove(false); fprintf(stderr,"DIR %s\n", qPrintable(dir.path())); }

    QString Make(const char *name, kc::test::ClipRecipe recipe)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QString log;
        EXPECT_TRUE(kc::test::MakeClip(path, recipe, &log)) << log.toStdString();
        return path;
    }

    QTemporaryDir dir;
};

// A piece's end is the next piece's keyframe as the list gives it: a list that differs from
// what the copy reads would repeat or lose pictures at every cut.
TEST_F(CopySourceTest, AnAviIndexListsTheKeyframesAReadingPassFinds)
{
    const struct {
        const char *file;
        kc::test::ClipRecipe recipe;
        bool fromIndex;
    } cases[] = {
        {"plain.avi", kc::test::RecipeOf("mpeg4", "libmp3lame", 7, {"-bf", "0"}), true},
        {"forced.avi", kc::test::RecipeOf("mpeg4", "", 250, {"-force_key_frames", "0,0.52,1.3,2.04"}), true},
        {"mjpeg.avi", kc::test::RecipeOf("mjpeg", "pcm_s16le", 1, {}), true},
        // Sound only: no keyframes to list, and the pass is cheap.
        {"sound.avi", kc::test::RecipeOf("", "pcm_s16le", 1, {"-vn"}), false},
        // Indexes of these give decode times where pictures show later, or no index at all.
        // An AVI's keyframe followed by B-pictures shows after them: only their data tells.
        {"bframes.avi", kc::test::RecipeOf("mpeg4", "libmp3lame", 12, {"-bf", "2"}), false},
        {"clip.mp4", kc::test::RecipeOf("libx264", "aac", 12, {"-bf", "2"}), false},
        {"clip.mpg", kc::test::RecipeOf("mpeg2video", "mp2", 12, {"-bf", "2", "-f", "vob"}), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        kc::test::ClipRecipe recipe = c.recipe;
        if (recipe.videoCodec.isEmpty())
            recipe.videoCodec = QStringLiteral("mpeg4"); // dropped again by -vn
        const QString path = Make(c.file, recipe);
        fe::CopySource source;
        std::string why;
        ASSERT_TRUE(source.Open(Local(path), nullptr, &why)) << why;
        fe::KeyframeScan fromIndex;
        ASSERT_EQ(fe::KeyframesFromIndex(source.Context(), &fromIndex), c.fromIndex);
        if (!c.fromIndex)
            continue;
        const fe::KeyframeScan scanned = fe::ScanKeyframes(Local(path), nullptr);
        ASSERT_TRUE(scanned.ok) << scanned.error;
        EXPECT_TRUE(fromIndex.ok);
        EXPECT_EQ(fromIndex.keyframesUs, scanned.keyframesUs);
        EXPECT_EQ(fromIndex.hasVideo, scanned.hasVideo);
        EXPECT_EQ(fromIndex.frameUs, scanned.frameUs);
        EXPECT_EQ(fromIndex.durationUs, scanned.durationUs);
        EXPECT_GT(fromIndex.keyframesUs.size(), 1u);
    }
}

// Ranges copied one after another through one open input come out byte for byte as each
// copied from a freshly opened input, whatever the reader read before (a later range first).
TEST_F(CopySourceTest, RangesCopiedThroughOneReaderEqualSeparateCopies)
{
    const struct {
        const char *file;
        kc::test::ClipRecipe recipe;
    } sources[] = {
        {"clip.avi", kc::test::RecipeOf("mpeg4", "libmp3lame", 12, {"-bf", "2"})},
        {"clip.vob", kc::test::RecipeOf("mpeg2video", "mp2", 12, {"-bf", "2", "-f", "vob"})},
        {"clip.mp4", kc::test::RecipeOf("libx264", "aac", 12, {"-bf", "2", "-sc_threshold", "0"})},
        {"clip.ts", kc::test::RecipeOf("libx264", "mp2", 12, {"-bf", "2", "-sc_threshold", "0"})},
    };
    struct Range {
        int64_t startUs;
        std::optional<int64_t> lengthUs;
    };
    const std::vector<Range> ranges = {{0, 1000000}, {1000000, 1000000}, {2000000, std::nullopt},
                                       {1480000, 1000000}, {0, std::nullopt}};
    for (const auto &s : sources) {
        SCOPED_TRACE(s.file);
        const QString path = Make(s.file, s.recipe);
        const QString extension = QString::fromLatin1(s.file).mid(QString::fromLatin1(s.file).lastIndexOf('.'));
        fe::CopySource shared;
        std::string why;
        ASSERT_TRUE(shared.Open(Local(path), nullptr, &why)) << why;
        for (size_t i = 0; i < ranges.size(); ++i) {
            SCOPED_TRACE(i);
            fe::CopyRequest request;
            request.input = Local(path);
            request.startUs = ranges[i].startUs;
            request.lengthUs = ranges[i].lengthUs;
            request.output = Local(dir.filePath(QStringLiteral("alone%1%2").arg(i).arg(extension)));
            const fe::CopyResult alone = fe::RunStreamCopy(request, fe::CopyHooks());
            ASSERT_TRUE(alone.ok) << alone.error;
            request.output = Local(dir.filePath(QStringLiteral("shared%1%2").arg(i).arg(extension)));
            const fe::CopyResult together = fe::RunStreamCopy(request, fe::CopyHooks(), shared);
            ASSERT_TRUE(together.ok) << together.error;
            const QByteArray a = Bytes(dir.filePath(QStringLiteral("alone%1%2").arg(i).arg(extension)));
            EXPECT_FALSE(a.isEmpty());
            EXPECT_TRUE(a == Bytes(dir.filePath(QStringLiteral("shared%1%2").arg(i).arg(extension))));
        }
    }
}

TEST_F(CopySourceTest, OpeningRefusesWhatIsNoMediaFile)
{
    QFile text(dir.filePath(QStringLiteral("notes.avi")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a video\n");
    text.close();
    const struct {
        QString path;
        const char *says;
    } cases[] = {
        {dir.filePath(QStringLiteral("missing.avi")), "does not exist"},
        {dir.path(), "is a folder"},
        {text.fileName(), "cannot read the input as a media file"},
    };
    for (const auto &c : cases) {
        fe::CopySource source;
        std::string why;
        EXPECT_FALSE(source.Open(Local(c.path), nullptr, &why)) << c.path.toStdString();
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
        EXPECT_EQ(source.Context(), nullptr);
    }
}

// The read-back reads a finished piece as a player opens it, without probing its streams.
TEST_F(CopySourceTest, ReadingBackAcceptsPlayablePiecesAndRefusesOthers)
{
    av_log_set_level(AV_LOG_QUIET);
    const QString mpeg1 = Make("mpeg1.mpg", kc::test::RecipeOf("mpeg1video", "mp2", 12, {"-f", "mpeg"}));
    const QString mpeg2 = Make("mpeg2.vob", kc::test::RecipeOf("mpeg2video", "ac3", 12, {"-bf", "2", "-f", "vob"}));
    const QString avi = Make("clip.avi", kc::test::RecipeOf("mpeg4", "libmp3lame", 12, {}));
    // A program stream names no codec for its video: it is probed from the first packets.
    const QString h264 = Make("h264.vob", kc::test::RecipeOf("libx264", "mp2", 12, {"-f", "vob"}));
    const QString sound = Make("sound.mp3", kc::test::RecipeOf("mpeg4", "libmp3lame", 12, {"-vn"}));

    // An elementary stream from its second picture on: the only sequence header is gone, so
    // no picture can be decoded from it.
    const QString es = dir.filePath(QStringLiteral("whole.m2v"));
    int code = -1;
    QString err;
    kc::test::RunTool(QStringLiteral("ffmpeg"),
                      {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=176x144:rate=25:duration=2", "-c:v",
                       "mpeg2video", "-g", "100", "-bf", "0", "-f", "mpeg2video", es},
                      &code, &err);
    ASSERT_EQ(code, 0) << err.toStdString();
    QByteArray stream = Bytes(es);
    const QByteArray pictureStart("\x00\x00\x01\x00", 4);
    const int second = stream.indexOf(pictureStart, stream.indexOf(pictureStart) + 4);
    ASSERT_GT(second, 0);
    const QString headless = dir.filePath(QStringLiteral("headless.m2v"));
    {
        QFile f(headless);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(stream.mid(second));
    }

    const struct {
        const char *what;
        QString path;
        int codec;
        bool accepted;
        const char *says;
    } cases[] = {
        {"MPEG-1 program stream", mpeg1, AV_CODEC_ID_MPEG1VIDEO, true, ""},
        {"MPEG-2 program stream", mpeg2, AV_CODEC_ID_MPEG2VIDEO, true, ""},
        {"MPEG-4 AVI", avi, AV_CODEC_ID_MPEG4, true, ""},
        {"H.264 in a program stream", h264, AV_CODEC_ID_H264, true, ""},
        {"sound only", sound, AV_CODEC_ID_NONE, true, ""},
        {"another codec than the one copied", avi, AV_CODEC_ID_H264, false, "would not recognise the h264 video"},
        {"no video where video was copied", sound, AV_CODEC_ID_MPEG4, false, "would not recognise"},
        {"no sequence header", headless, AV_CODEC_ID_MPEG2VIDEO, false, ""},
        {"missing", dir.filePath(QStringLiteral("none.avi")), AV_CODEC_ID_MPEG4, false, "cannot be read back"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string why;
        EXPECT_EQ(fe::CheckWrittenPiece(Local(c.path), c.codec, nullptr, &why), c.accepted) << why;
        if (!c.accepted) {
            EXPECT_FALSE(why.empty());
            EXPECT_NE(why.find(c.says), std::string::npos) << why;
        }
    }
}

} // namespace

// Damaged inputs hand the muxer decode times that go back, or none at all.
TEST(StreamCopyDecodeTimes, AreKeptIncreasingForTheMuxer)
{
    constexpr int64_t kNone = AV_NOPTS_VALUE;
    const struct {
        const char *muxer;
        int64_t last, pts, dts;
        int64_t wantPts, wantDts;
    } cases[] = {
        {"mpegts", 100, 200, 150, 200, 150},     // in order: unchanged
        {"mpegts", 100, 200, 90, 200, 101},      // going back: just past the last
        {"mpegts", 100, 95, 90, 101, 101},       // and shown no earlier than decoded
        {"mpegts", 100, 120, 5000, 120, 120},    // decoded after it shows: at its showing time
        {"mpegts", 100, kNone, kNone, 101, 101}, // no times: after the last
        {"matroska", 100, kNone, kNone, 100, 100}, // equal decode times allowed there
        {"mp4", 100, kNone, kNone, 101, 101},
        // Program streams and AVI write packets without times as they are.
        {"mpeg", 100, kNone, kNone, kNone, kNone},
        {"avi", 100, kNone, kNone, kNone, kNone},
        {"mpegts", kNone, kNone, kNone, kNone, kNone}, // nothing before it to follow
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.muxer) + " pts " + std::to_string(c.pts) + " dts " + std::to_string(c.dts));
        const AVOutputFormat *ofmt = av_guess_format(c.muxer, nullptr, nullptr);
        ASSERT_NE(ofmt, nullptr);
        AVPacket *pkt = av_packet_alloc();
        ASSERT_NE(pkt, nullptr);
        pkt->pts = c.pts;
        pkt->dts = c.dts;
        int64_t last = c.last;
        fe::KeepDecodeTimesIncreasing(pkt, ofmt, &last);
        EXPECT_EQ(pkt->pts, c.wantPts);
        EXPECT_EQ(pkt->dts, c.wantDts);
        EXPECT_EQ(last, c.wantDts != kNone ? c.wantDts : c.last);
        av_packet_free(&pkt);
    }
}
