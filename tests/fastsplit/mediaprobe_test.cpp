#include "printers.h"
#include "common/mediainfo.h"
#include "fastsplit/mediaprobe.h"
#include "fastsplit/outputfolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(EvaluateProbe, TotalTimeLabelAndWhetherTheFileIsRecognised)
{
    const struct {
        const char *frameRate, *general, *video;
        double total;
        bool unrecognised;
        kc::TimeParts parts;
        const char *label;
    } cases[] = {
        {"25.000", "5432", "", 5.432, false, {0, 0, 5, 432}, "[0时0分5秒432毫秒]"},
        {"", "", "120000", 120.0, false, {0, 2, 0, 0}, "[0时2分0秒0毫秒]"},
        {"25.000", "5432.7", "", 0.0, false, {0, 0, 0, 0}, "[0时0分0秒0毫秒]"}, // a fraction is no play time
        {"", "5432.7", "", 0.0, true, {0, 0, 0, 0}, "[0时0分0秒0毫秒]"},
        {"", "3725500", "", 3725.5, false, {1, 2, 5, 500}, "[1时2分5秒500毫秒]"},
        {"", "1001", "", 1.001, false, {0, 0, 1, 0}, "[0时0分1秒0毫秒]"},   // milliseconds truncated
        {"", "999", "", 0.999, false, {0, 0, 0, 998}, "[0时0分0秒998毫秒]"},
        {"29.970", "3000", "2960", 3.0, false, {0, 0, 3, 0}, "[0时0分3秒0毫秒]"}, // general wins
        {"", "abc", "2250", 2.25, false, {0, 0, 2, 250}, "[0时0分2秒250毫秒]"},
        {"", "", "", 0.0, true, {0, 0, 0, 0}, "[0时0分0秒0毫秒]"},
        {"25.000", "", "", 0.0, false, {0, 0, 0, 0}, "[0时0分0秒0毫秒]"},
        // A frame rate that is no number counts as none: the probe still finishes.
        {"abc", "4000", "", 4.0, false, {0, 0, 4, 0}, "[0时0分4秒0毫秒]"},
        {"25,000", "", "", 0.0, true, {0, 0, 0, 0}, "[0时0分0秒0毫秒]"},
    };
    for (const auto &c : cases) {
        const kc::FastSplitProbe p = kc::EvaluateProbe(QString::fromUtf8(c.frameRate), QString::fromUtf8(c.general),
                                                       QString::fromUtf8(c.video));
        EXPECT_DOUBLE_EQ(p.totalTime, c.total) << c.general << " " << c.video;
        EXPECT_EQ(p.unrecognised, c.unrecognised) << c.frameRate << " " << c.general;
        EXPECT_EQ(p.parts, c.parts) << c.general;
        EXPECT_EQ(kc::FileTimeLabel(p.parts), QString::fromUtf8(c.label));
    }
}

TEST(ProbeMediaFile, AnUnboundLibraryGivesAnUnrecognisedFile)
{
    kc::ResetMediaInfoBindingForTests();
    const kc::FastSplitProbe p = kc::ProbeMediaFile(QStringLiteral("/nowhere/clip.avi"));
    EXPECT_TRUE(p.unrecognised);
    EXPECT_EQ(p.totalTime, 0.0);
    EXPECT_EQ(kc::UnrecognisedFileMessage(QStringLiteral("/v/x.avi")),
              QStringLiteral("无法识别的视频文件!") + QChar(13) + QStringLiteral("/v/x.avi"));
}

TEST(DefaultOutputFolder, VideosWhenItExistsElseHome)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    EXPECT_EQ(kc::DefaultOutputFolder(), home.path() + QLatin1Char('/'));
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("Videos")));
    EXPECT_EQ(kc::DefaultOutputFolder(), home.path() + QStringLiteral("/Videos/"));
}

TEST(WithTrailingSlash, EndsInExactlyOneSlash)
{
    const struct {
        const char *in, *out;
    } cases[] = {{"/a", "/a/"}, {"/a/", "/a/"}, {"/a//", "/a/"}, {"/", "/"}, {"/媒体 b", "/媒体 b/"}};
    for (const auto &c : cases)
        EXPECT_EQ(kc::WithTrailingSlash(QString::fromUtf8(c.in)), QString::fromUtf8(c.out));
}
