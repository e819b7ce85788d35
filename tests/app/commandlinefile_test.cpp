#include "app/commandlinefile.h"

#include <gtest/gtest.h>

TEST(CommandLineFile, TheFirstNameAfterTheProgramAsACleanAbsolutePath)
{
    const QString here = QStringLiteral("/home/user/视频");
    const struct {
        QStringList arguments;
        QString expected;
    } cases[] = {
        {{"kestrelcut"}, ""},
        {{"kestrelcut", "clip.mp4"}, "/home/user/视频/clip.mp4"},
        {{"kestrelcut", "../a b/片段.mkv"}, "/home/user/a b/片段.mkv"},
        {{"kestrelcut", "/srv/x.avi", "/srv/y.avi"}, "/srv/x.avi"},
        {{"kestrelcut", "--verbose", "x.avi"}, "/home/user/视频/x.avi"},
        {{"kestrelcut", "--", "-dash.avi"}, "/home/user/视频/-dash.avi"},
        {{"kestrelcut", ""}, ""},
        {{"kestrelcut", "file:///srv/%E7%89%87%20one.ts"}, "/srv/片 one.ts"},
        {{"kestrelcut", "file://localhost/srv/x.avi"}, "/srv/x.avi"},
        {{"kestrelcut", "file://otherhost/x.avi"}, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kc::CommandLineFile(c.arguments, here), c.expected) << c.arguments.join(' ').toStdString();
}
