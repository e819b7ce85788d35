#include "common/mediainfo.h"
#include "support/clips.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(LoadMediaInfo, BindsAllEntryPointsAndTheirNarrowTwins)
{
    ASSERT_TRUE(kc::LoadMediaInfo(QStringLiteral("MediaInfo.dll")));
    const kc::MediaInfoApi &a = kc::MediaInfo();
    EXPECT_TRUE(a.probeReady());
    for (const void *p : {(const void *)a.New, (const void *)a.Delete, (const void *)a.Open, (const void *)a.Close,
                          (const void *)a.Inform, (const void *)a.GetI, (const void *)a.Get, (const void *)a.Option,
                          (const void *)a.State_Get, (const void *)a.Count_Get, (const void *)a.A_New,
                          (const void *)a.A_Delete, (const void *)a.A_Open, (const void *)a.A_Close,
                          (const void *)a.A_Inform, (const void *)a.A_GetI, (const void *)a.A_Get,
                          (const void *)a.A_Option, (const void *)a.A_State_Get, (const void *)a.A_Count_Get})
        EXPECT_NE(p, nullptr);
    // A second call only looks the names up again.
    EXPECT_TRUE(kc::LoadMediaInfo(QStringLiteral("MediaInfo.dll")));
    EXPECT_TRUE(kc::MediaInfo().probeReady());
}

TEST(LoadMediaInfo, FailsWithoutAModule)
{
    // CTest runs every case in its own process, so no module is loaded yet here.
    if (kc::MediaInfo().probeReady())
        GTEST_SKIP() << "a module is already loaded in this process";
    EXPECT_FALSE(kc::LoadMediaInfo(QStringLiteral("/nonexistent/libnothing.so")));
    EXPECT_FALSE(kc::MediaInfo().probeReady());
}

TEST(QueryMediaInfo, CallsNothingWhenUnbound)
{
    kc::ResetMediaInfoBindingForTests();
    EXPECT_FALSE(kc::QueryMediaInfo(QStringLiteral("/tmp/x.avi"), {{kc::MiGeneral, QStringLiteral("PlayTime")}}));
}

TEST(QueryMediaInfo, ReadsPlayTimeAndFrameRateOfAClip)
{
    ASSERT_TRUE(kc::LoadMediaInfo(QStringLiteral("MediaInfo.dll")));
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("片段 one.avi"));
    ASSERT_TRUE(kc::test::MakeClip(clip));
    const auto texts = kc::QueryMediaInfo(clip, {{kc::MiGeneral, QStringLiteral("PlayTime")},
                                                 {kc::MiVideo, QStringLiteral("PlayTime")},
                                                 {kc::MiVideo, QStringLiteral("FrameRate")}});
    ASSERT_TRUE(texts);
    ASSERT_EQ(texts->size(), 3);
    EXPECT_NEAR(kc::PlayTimeSeconds(texts->at(0), texts->at(1)), 3.0, 0.1);
    EXPECT_EQ(texts->at(2).toDouble(), 25.0);

    // Not a media file: every text is empty.
    const QString junk = dir.filePath(QStringLiteral("junk.avi"));
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, 'x'));
    f.close();
    const auto none = kc::QueryMediaInfo(junk, {{kc::MiGeneral, QStringLiteral("PlayTime")}});
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->at(0).isEmpty());
}

TEST(PlayTimeSeconds, GeneralWinsWhenWholeElseVideoElseZero)
{
    const struct {
        const char *general;
        const char *video;
        double seconds;
    } cases[] = {
        {"90500", "1", 90.5}, {"", "1234", 1.234}, {"5432.7", "", 0.0}, {"5432", "", 5.432},
        {"abc", "120000", 120.0}, {"", "", 0.0},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(kc::PlayTimeSeconds(QString::fromLatin1(c.general), QString::fromLatin1(c.video)), c.seconds);
}
