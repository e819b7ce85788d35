// The texts a fast split hands to FileEncoder: times, output name, command line.
#include "printers.h"
#include "common/timeparts.h"
#include "fastsplit/encodercommand.h"
#include "fastsplit/encodertime.h"
#include "fastsplit/outputname.h"
#include "fastsplit/rangecheck.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

double Join(int h, int m, int s, int ms)
{
    return kc::JoinTimeParts(h, m, s, ms);
}

} // namespace

TEST(EncoderTimeText, WritesPartsWithTruncatedMilliseconds)
{
    const struct {
        double seconds;
        const char *text;
    } cases[] = {
        {0.0, "00:00:00.000"},
        {10.5, "00:00:10.500"},
        {62.045, "00:01:02.045"},
        {3725.5, "01:02:05.500"},
        {0.077, "00:00:00.076"},   // held just below: truncated, not rounded
        {9.009, "00:00:09.009"},
        {59.99, "00:00:59.990"},
        {360000.25, "100:00:00.250"}, // hours grow past two digits
        // Lengths as the job computes them: end - start of the joined fields.
        {Join(0, 0, 20, 200) - Join(0, 0, 10, 500), "00:00:09.699"},
        {Join(0, 2, 0, 0) - Join(0, 1, 2, 45), "00:00:57.954"},
        {Join(1, 2, 30, 0) - Join(1, 2, 5, 500), "00:00:24.500"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kc::EncoderTimeText(c.seconds), QString::fromLatin1(c.text)) << c.seconds;
}

TEST(CheckFastSplitRange, RefusesEmptyRangesAndEndsPastTheSlack)
{
    using R = kc::FastSplitRange;
    const struct {
        double start, end, total;
        R expected;
    } cases[] = {
        {0.0, 0.0, 10.0, R::StartNotBeforeEnd},
        {5.0, 5.0, 10.0, R::StartNotBeforeEnd}, // equal times are refused
        {6.0, 5.0, 10.0, R::StartNotBeforeEnd}, // checked before the total
        {6.0, 5.0, 0.0, R::StartNotBeforeEnd},
        {0.0, Join(0, 0, 6, 432), 5.432, R::Ok}, // one second of slack, inclusive
        {0.0, Join(0, 0, 6, 433), 5.432, R::EndPastTotal},
        {0.0, 1.0, 0.0, R::Ok},                  // no file probed yet
        {0.0, Join(0, 0, 1, 1), 0.0, R::EndPastTotal},
        {Join(0, 0, 10, 500), Join(0, 0, 20, 200), 20.2, R::Ok},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kc::CheckFastSplitRange(c.start, c.end, c.total), c.expected)
            << c.start << " " << c.end << " " << c.total;
    EXPECT_EQ(kc::FastSplitRangeMessage(R::StartNotBeforeEnd), QStringLiteral("开始时间大于结束时间，请重新设置!"));
    EXPECT_EQ(kc::FastSplitRangeMessage(R::EndPastTotal), QStringLiteral("结束时间大于视频总时间，请重新设置!"));
    EXPECT_TRUE(kc::FastSplitRangeMessage(R::Ok).isEmpty());
}

TEST(FastSplitOutputPath, AddsNewThenTheFirstFreeNumber)
{
    const struct {
        const char *input;
        const char *folder;
        QSet<QString> existing;
        const char *output;
    } cases[] = {
        {"/v/clip.avi", "/d/", {}, "/d/clip_new.avi"},
        {"/v/clip.avi", "/d/", {"/d/clip_new.avi"}, "/d/clip_new0.avi"},
        {"/v/clip.avi", "/d/", {"/d/clip_new.avi", "/d/clip_new0.avi"}, "/d/clip_new1.avi"},
        {"/v/clip.avi", "/d/", {"/d/clip_new0.avi"}, "/d/clip_new.avi"},
        {"/v/clip", "/d/", {}, "/d/clip_new"},          // no extension
        {"/a.b/clip", "/d/", {}, "/d/clip_new"},        // the dot is in a folder name
        {"/v/my.clip.avi", "/d/", {}, "/d/my.clip_new.avi"},
        {"/v/CLIP.MPG", "/d/", {}, "/d/CLIP_new.MPG"},
        {"clip.avi", "/d/", {}, "/d/clip_new.avi"},      // no folder in the input
        {"", "/d/", {}, "/d/_new"},                       // no file opened
        {"/v/片段 一.mpg", "/输出 目录/", {"/输出 目录/片段 一_new.mpg"}, "/输出 目录/片段 一_new0.mpg"},
    };
    for (const auto &c : cases) {
        const QSet<QString> existing = c.existing;
        const QString out = kc::FastSplitOutputPath(QString::fromUtf8(c.input), QString::fromUtf8(c.folder),
                                                    [&](const QString &p) { return existing.contains(p); });
        EXPECT_EQ(out, QString::fromUtf8(c.output)) << c.input;
    }
}

TEST(FastSplitOutputPath, AsksTheFileSystemAndIgnoresFolders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    const QString input = QStringLiteral("/v/clip.avi");

    EXPECT_EQ(kc::FastSplitOutputPath(input, folder), folder + QStringLiteral("clip_new.avi"));

    // A folder of that name does not take the name.
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("clip_new.avi")));
    EXPECT_EQ(kc::FastSplitOutputPath(input, folder), folder + QStringLiteral("clip_new.avi"));

    QFile taken(folder + QStringLiteral("clip_new0.avi"));
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.close();
    ASSERT_TRUE(QDir(folder).rmdir(QStringLiteral("clip_new.avi")));
    QFile first(folder + QStringLiteral("clip_new.avi"));
    ASSERT_TRUE(first.open(QIODevice::WriteOnly));
    first.close();
    EXPECT_EQ(kc::FastSplitOutputPath(input, folder), folder + QStringLiteral("clip_new1.avi"));
}

TEST(EncoderCommand, TextFollowsTheEncoderLineAndArgumentsStayWhole)
{
    kc::EncoderRequest r;
    r.input = QStringLiteral("/v/clip.avi");
    r.startText = QStringLiteral("00:00:10.500");
    r.lengthText = QStringLiteral("00:00:09.699");
    r.output = QStringLiteral("/d/clip_new.avi");
    EXPECT_EQ(kc::EncoderCommandLine(r),
              QStringLiteral(R"(FileEncoder "/v/clip.avi" -ss 00:00:10.500 -endpos 00:00:09.699 -ovc copy -oac copy -o "/d/clip_new.avi")"));
    EXPECT_EQ(kc::EncoderArguments(r),
              (QStringList{"/v/clip.avi", "-ss", "00:00:10.500", "-endpos", "00:00:09.699", "-ovc", "copy", "-oac",
                           "copy", "-o", "/d/clip_new.avi"}));

    // An exact cut adds one word after the length, in the text and in the list.
    r.exact = true;
    EXPECT_EQ(kc::EncoderCommandLine(r),
              QStringLiteral(R"(FileEncoder "/v/clip.avi" -ss 00:00:10.500 -endpos 00:00:09.699 -exact -ovc copy -oac copy -o "/d/clip_new.avi")"));
    EXPECT_EQ(kc::EncoderArguments(r),
              (QStringList{"/v/clip.avi", "-ss", "00:00:10.500", "-endpos", "00:00:09.699", "-exact", "-ovc", "copy",
                           "-oac", "copy", "-o", "/d/clip_new.avi"}));
    r.exact = false;

    // Nothing opened: empty quotes in the text, an empty first argument in the list.
    r.input.clear();
    r.output = QStringLiteral("/d/_new");
    EXPECT_TRUE(kc::EncoderCommandLine(r).startsWith(QStringLiteral("FileEncoder \"\" -ss ")));
    EXPECT_EQ(kc::EncoderArguments(r).first(), QString());

    // Blanks and quotes never split an argument.
    r.input = QStringLiteral("/v/a \"b\" 片段.avi");
    r.output = QStringLiteral("/d/a \"b\" 片段_new.avi");
    const QStringList args = kc::EncoderArguments(r);
    ASSERT_EQ(args.size(), 11);
    EXPECT_EQ(args.first(), r.input);
    EXPECT_EQ(args.last(), r.output);
}
