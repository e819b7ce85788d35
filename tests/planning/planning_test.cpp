#include "common/planning.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using kc::SplitInputs;
using kc::TSplitMode;

namespace {

using Ranges = std::vector<std::pair<double, double>>;

SplitInputs Inputs(double duration, qint64 parts = 2, const char *every = "180", double start = 0,
                   double end = 0)
{
    SplitInputs in;
    in.duration = duration;
    in.parts = parts;
    in.everyText = QString::fromUtf8(every);
    in.startTime = start;
    in.endTime = end;
    return in;
}

// Walks the plan the way the render driver does: the first piece, then one more for every
// k that HasNextPiece lets through.
Ranges Plan(TSplitMode mode, const SplitInputs &in)
{
    Ranges out;
    int k = mode == kc::smCustom ? 0 : 1;
    while (out.size() < 1000) {
        const kc::PieceRangeResult r = kc::PieceRange(mode, k, in);
        EXPECT_TRUE(r.ok) << r.refusal.toStdString();
        if (!r.ok)
            break;
        out.emplace_back(r.start, r.stop);
        ++k;
        if (!kc::HasNextPiece(mode, k, in))
            break;
    }
    return out;
}

} // namespace

TEST(Planning, PiecesOfEachMode)
{
    const struct {
        const char *name;
        TSplitMode mode;
        SplitInputs in;
        Ranges pieces;
    } cases[] = {
        {"three equal parts", kc::smAverage, Inputs(600, 3), {{0, 200}, {200, 400}, {400, 600}}},
        {"two equal parts of an odd length", kc::smAverage, Inputs(5, 2), {{0, 2.5}, {2.5, 5}}},
        {"full pieces and a tail past the end", kc::smTime, Inputs(650, 2, "180"),
         {{0, 180}, {180, 360}, {360, 540}, {540, 720}}},
        {"source shorter than one piece", kc::smTime, Inputs(100, 2, "180"), {{0, 100}}},
        {"whole multiple: no empty piece at the end", kc::smTime, Inputs(540, 2, "180"),
         {{0, 180}, {180, 360}, {360, 540}}},
        {"length equal to the source: one copy only", kc::smTime, Inputs(180, 2, "180"), {{0, 180}}},
        {"tail under a millisecond is dropped", kc::smTime, Inputs(540.0004, 2, "180"),
         {{0, 180}, {180, 360}, {360, 540}}},
        {"tail of two milliseconds is kept", kc::smTime, Inputs(540.002, 2, "180"),
         {{0, 180}, {180, 360}, {360, 540}, {540, 720}}},
        {"blanks around the length", kc::smTime, Inputs(25, 2, " 10 "), {{0, 10}, {10, 20}, {20, 30}}},
        {"custom range", kc::smCustom, Inputs(300, 2, "180", 12.5, 40), {{12.5, 40}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(kc::CheckSplitJob(c.mode, c.in), QString());
        EXPECT_EQ(Plan(c.mode, c.in), c.pieces);
        EXPECT_EQ(kc::PieceCount(c.mode, c.in), qint64(c.pieces.size()));
    }
}

TEST(Planning, HasNextPieceStopsAfterTheLastPiece)
{
    const struct {
        TSplitMode mode;
        SplitInputs in;
        int k;
        bool next;
    } cases[] = {
        {kc::smAverage, Inputs(600, 3), 3, true},
        {kc::smAverage, Inputs(600, 3), 4, false},
        {kc::smAverage, Inputs(600, 100), 100, true},
        {kc::smTime, Inputs(650, 2, "180"), 4, true},
        {kc::smTime, Inputs(650, 2, "180"), 5, false},
        {kc::smTime, Inputs(540, 2, "180"), 4, false},
        {kc::smTime, Inputs(180, 2, "180"), 2, false},
        {kc::smTime, Inputs(100, 2, "180"), 2, false},
        {kc::smCustom, Inputs(600, 2, "180", 0, 10), 1, false},
        // A job that cannot start has no pieces either.
        {kc::smTime, Inputs(650, 2, "0"), 1, false},
        {kc::smAverage, Inputs(0, 3), 1, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(kc::HasNextPiece(c.mode, c.k, c.in), c.next)
            << "mode " << c.mode << " k " << c.k << " D " << c.in.duration;
    }
}

TEST(Planning, ChecksTheCustomRange)
{
    const struct {
        double start, end, duration;
        const char *refusal;
    } cases[] = {
        {0, 100, 100, ""},
        {10, 101, 100, ""}, // up to one second past the source passes
        {10, 101.001, 100, "结束时间大于视频总时间，请重新设置!"},
        {50, 50, 100, "开始时间大于结束时间，请重新设置!"},
        {60, 50, 100, "开始时间大于结束时间，请重新设置!"},
        {60, 50, 0, "开始时间大于结束时间，请重新设置!"},
        {0, 0.5, 0, ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(kc::CheckCustomRange(c.start, c.end, c.duration), QString::fromUtf8(c.refusal))
            << c.start << " " << c.end << " " << c.duration;
    }
}

TEST(Planning, RefusesJobsThatCannotStart)
{
    const QString badSeconds = QStringLiteral("时间设置不正确，请重新设置！");
    const QString noDuration = QStringLiteral("无法识别的视频文件!");
    const struct {
        const char *name;
        TSplitMode mode;
        SplitInputs in;
        QString refusal;
    } cases[] = {
        {"zero seconds", kc::smTime, Inputs(600, 2, "0"), badSeconds},
        {"negative seconds", kc::smTime, Inputs(600, 2, "-5"), badSeconds},
        {"decimal seconds", kc::smTime, Inputs(600, 2, "12.5"), badSeconds},
        {"empty text", kc::smTime, Inputs(600, 2, ""), badSeconds},
        {"lone minus", kc::smTime, Inputs(600, 2, "-"), badSeconds},
        {"pasted words", kc::smTime, Inputs(600, 2, "abc"), badSeconds},
        {"too large for 64 bits", kc::smTime, Inputs(600, 2, "99999999999999999999"), badSeconds},
        {"by time without a duration", kc::smTime, Inputs(0, 2, "180"), noDuration},
        {"equal parts without a duration", kc::smAverage, Inputs(0, 3), noDuration},
        {"no parts", kc::smAverage, Inputs(600, 0), badSeconds},
        {"custom range reversed", kc::smCustom, Inputs(600, 2, "180", 20, 10),
         QStringLiteral("开始时间大于结束时间，请重新设置!")},
        {"custom range past the source", kc::smCustom, Inputs(600, 2, "180", 20, 700),
         QStringLiteral("结束时间大于视频总时间，请重新设置!")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(kc::CheckSplitJob(c.mode, c.in), c.refusal);
        EXPECT_EQ(kc::PieceCount(c.mode, c.in), 0);
        if (c.mode != kc::smCustom) {
            const kc::PieceRangeResult r = kc::PieceRange(c.mode, 1, c.in);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.refusal, c.refusal);
        }
    }
}

TEST(Planning, RefusesAnEmptyCustomPiece)
{
    for (const auto &[start, end] : Ranges{{30, 30}, {40, 30}}) {
        const kc::PieceRangeResult r = kc::PieceRange(kc::smCustom, 0, Inputs(600, 2, "180", start, end));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.refusal, QStringLiteral("开始和结束时间设置错误！"));
    }
}

// Only the last piece of an equal-parts or by-time plan may turn out to lie after the last
// picture without failing the job.
TEST(Planning, APieceAfterTheLastPictureEndsTheJobOnlyAtTheTail)
{
    const struct {
        const char *why;
        TSplitMode mode;
        SplitInputs in;
        int k;
        bool afterLastPicture;
        bool tail;
    } cases[] = {
        {"by-time tail of 5 ms of sound", kc::smTime, Inputs(4.005, 2, "2"), 3, true, true},
        {"by-time piece that others follow", kc::smTime, Inputs(4.005, 2, "2"), 2, true, false},
        {"by-time tail with a picture", kc::smTime, Inputs(4.005, 2, "2"), 3, false, false},
        {"last equal part", kc::smAverage, Inputs(4.005, 100), 100, true, true},
        {"equal part that others follow", kc::smAverage, Inputs(4.005, 100), 99, true, false},
        {"custom range", kc::smCustom, Inputs(4.005, 2, "180", 4.0, 4.005), 0, true, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kc::IsTailWithoutPicture(c.mode, c.k, c.in, c.afterLastPicture), c.tail) << c.why;
}
