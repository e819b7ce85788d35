// The keyframe pass that runs beside a lossless split's copying.
#include "split/keyframesahead.h"

#include "components/streamcopy/keyframescan.h"
#include "support/clips.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

namespace {

std::string Local(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

TEST(KeyframesAhead, ListsEveryKeyframeUpToWhatIsAskedAndInTheEndWhatAPassFinds)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        const char *file;
        const char *video;
        QStringList extra;
    } cases[] = {
        {"clip.vob", "mpeg2video", {"-bf", "2", "-f", "vob"}},
        {"clip.mkv", "libx264", {"-bf", "2", "-sc_threshold", "0"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        kc::test::ClipRecipe recipe;
        recipe.seconds = 4;
        recipe.videoCodec = QString::fromLatin1(c.video);
        recipe.audioCodec = QStringLiteral("mp2");
        recipe.gop = 12;
        recipe.extraOutputArgs = c.extra;
        const QString path = dir.filePath(QString::fromLatin1(c.file));
        ASSERT_TRUE(kc::test::MakeClip(path, recipe));
        const kc::fileencoder::KeyframeScan scan = kc::fileencoder::ScanKeyframes(Local(path), nullptr);
        ASSERT_TRUE(scan.ok) << scan.error;
        ASSERT_GT(scan.keyframesUs.size(), 3u);

        kc::KeyframesAhead ahead(Local(path), nullptr);
        kc::fileencoder::KeyframeScan described;
        ASSERT_TRUE(ahead.WaitDescribed(&described));
        EXPECT_TRUE(described.hasVideo);
        EXPECT_EQ(described.frameUs, scan.frameUs);
        EXPECT_EQ(described.durationUs, scan.durationUs);
        for (int64_t us : {int64_t(0), scan.keyframesUs[1], scan.keyframesUs[2] + 1, int64_t(1) << 40}) {
            const std::vector<int64_t> *listed = ahead.UpTo(us);
            ASSERT_NE(listed, nullptr);
            // Every keyframe up to the time, and the first after it.
            const auto upTo = std::upper_bound(scan.keyframesUs.begin(), scan.keyframesUs.end(), us);
            const size_t needed = std::min<size_t>(upTo - scan.keyframesUs.begin() + 1, scan.keyframesUs.size());
            ASSERT_GE(listed->size(), needed) << us;
            EXPECT_TRUE(std::equal(scan.keyframesUs.begin(), scan.keyframesUs.begin() + needed, listed->begin())) << us;
        }
        const std::vector<int64_t> *all = ahead.AllIfFinished();
        ASSERT_NE(all, nullptr);
        EXPECT_EQ(*all, scan.keyframesUs);
    }
}

TEST(KeyframesAhead, AStopOrAnUnreadableInputEndsTheWait)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile text(dir.filePath(QStringLiteral("notes.avi")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a video\n");
    text.close();
    {
        kc::KeyframesAhead ahead(Local(text.fileName()), nullptr);
        kc::fileencoder::KeyframeScan described;
        EXPECT_FALSE(ahead.WaitDescribed(&described));
        EXPECT_EQ(ahead.UpTo(0), nullptr);
        EXPECT_NE(ahead.Error().find("cannot read the input"), std::string::npos) << ahead.Error();
    }
    kc::test::ClipRecipe recipe;
    recipe.seconds = 2;
    recipe.videoCodec = QStringLiteral("mpeg2video");
    recipe.audioCodec = QStringLiteral("mp2");
    recipe.extraOutputArgs = {"-f", "vob"};
    const QString path = dir.filePath(QStringLiteral("clip.vob"));
    ASSERT_TRUE(kc::test::MakeClip(path, recipe));
    volatile std::sig_atomic_t stop = 1;
    kc::KeyframesAhead ahead(Local(path), &stop);
    // Asked beyond the end, it would wait for the whole pass; stopped, it returns at once.
    EXPECT_EQ(ahead.UpTo(int64_t(1) << 40), nullptr);
    EXPECT_EQ(ahead.Error(), "stopped");
}

} // namespace
