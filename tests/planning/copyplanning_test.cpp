#include "split/copyplanning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

using kc::CopyPiece;
using kc::PlannedPiece;

namespace {

constexpr int64_t S = 1000000; // one second in microseconds

struct Expected {
    int number;
    int64_t startUs;
    std::optional<int64_t> endUs;
};

std::vector<PlannedPiece> Consecutive(std::vector<int64_t> starts)
{
    std::vector<PlannedPiece> planned;
    for (size_t i = 0; i < starts.size(); ++i)
        planned.push_back({starts[i], i + 1 < starts.size() ? std::optional<int64_t>(starts[i + 1]) : std::nullopt});
    return planned;
}

TEST(CopyPlanning, SeamlessPiecesRunFromKeyframeToKeyframe)
{
    const struct {
        const char *name;
        std::vector<int64_t> keyframes;
        std::vector<int64_t> plannedStarts;
        int64_t slackUs;
        std::vector<Expected> pieces;
    } cases[] = {
        {"keyframes on the planned starts", {0, 2 * S, 4 * S}, {0, 2 * S, 4 * S}, 0,
         {{1, 0, 2 * S}, {2, 2 * S, 4 * S}, {3, 4 * S, std::nullopt}}},
        {"each piece starts on the keyframe before its start", {0, S, 2 * S, 3 * S, 4 * S, 5 * S}, {0, 3 * S / 2, 3 * S, 9 * S / 2}, 0,
         {{1, 0, S}, {2, S, 3 * S}, {3, 3 * S, 4 * S}, {4, 4 * S, std::nullopt}}},
        {"a piece without a keyframe of its own is merged and the rest renumbered", {0, 10 * S}, {0, 4 * S, 8 * S, 12 * S}, 0,
         {{1, 0, 10 * S}, {2, 10 * S, std::nullopt}}},
        {"one keyframe: one piece", {0}, {0, 5 * S, 10 * S}, 0, {{1, 0, std::nullopt}}},
        {"a first keyframe after the start still opens the first piece", {40000, 2 * S + 40000}, {0, 3 * S}, 0,
         {{1, 40000, 2 * S + 40000}, {2, 2 * S + 40000, std::nullopt}}},
        {"a keyframe within the slack after a start counts as at it", {23000, S + 23000, 2 * S + 23000}, {0, S, 2 * S}, 40000,
         {{1, 23000, S + 23000}, {2, S + 23000, 2 * S + 23000}, {3, 2 * S + 23000, std::nullopt}}},
        {"without the slack the same keyframes move each cut a GOP back", {23000, S + 23000, 2 * S + 23000}, {0, S, 2 * S}, 0,
         {{1, 23000, S + 23000}, {2, S + 23000, std::nullopt}}},
        {"sound only: the planned starts as they are", {}, {0, 3 * S, 6 * S}, 0,
         {{1, 0, 3 * S}, {2, 3 * S, 6 * S}, {3, 6 * S, std::nullopt}}},
    };
    for (const auto &c : cases) {
        const std::vector<CopyPiece> got = kc::PlanSeamlessCopyPieces(Consecutive(c.plannedStarts), c.keyframes, c.slackUs);
        ASSERT_EQ(got.size(), c.pieces.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].number, c.pieces[i].number) << c.name << " piece " << i;
            EXPECT_EQ(got[i].startUs, c.pieces[i].startUs) << c.name << " piece " << i;
            EXPECT_EQ(got[i].endUs, c.pieces[i].endUs) << c.name << " piece " << i;
            // Consecutive pieces meet: no picture lost or repeated.
            if (i + 1 < got.size()) {
                EXPECT_EQ(got[i].endUs, got[i + 1].startUs) << c.name << " piece " << i;
            }
        }

        // One piece at a time, with the keyframes only as far as each piece asks for them
        // (a pass over the file still running): the same pieces.
        kc::SeamlessPieceCursor cursor(Consecutive(c.plannedStarts), c.slackUs);
        std::vector<int64_t> listed;
        int64_t furthest = INT64_MIN;
        const auto upTo = [&](int64_t us) {
            furthest = std::max(furthest, us);
            listed.clear();
            // Everything at or before the time and the first keyframe after it, as a pass over
            // the file knows them when it has just read past the time; no more.
            for (int64_t k : c.keyframes) {
                listed.push_back(k);
                if (k > us)
                    break;
            }
            return &listed;
        };
        std::vector<CopyPiece> oneByOne;
        CopyPiece piece;
        EXPECT_EQ(cursor.CountAtMost(), static_cast<int>(c.plannedStarts.size())) << c.name;
        while (cursor.Next(upTo, &piece) == kc::SeamlessPieceCursor::Step::Piece) {
            oneByOne.push_back(piece);
            EXPECT_GE(cursor.CountAtMost(), static_cast<int>(got.size())) << c.name;
            // The last planned piece's start is as far as any piece needs to look.
            EXPECT_LE(furthest, c.plannedStarts.back() + c.slackUs) << c.name;
        }
        EXPECT_EQ(cursor.CountAtMost(), static_cast<int>(got.size())) << c.name;
        ASSERT_EQ(oneByOne.size(), got.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(oneByOne[i].number, got[i].number) << c.name << " piece " << i;
            EXPECT_EQ(oneByOne[i].startUs, got[i].startUs) << c.name << " piece " << i;
            EXPECT_EQ(oneByOne[i].endUs, got[i].endUs) << c.name << " piece " << i;
        }
    }
}

TEST(CopyPlanning, OnePieceAtATimeStopsWhenTheKeyframesCannotBeHad)
{
    kc::SeamlessPieceCursor cursor(Consecutive({0, 2 * S, 4 * S}), 0);
    const std::vector<int64_t> keyframes = {0, S, 2 * S, 3 * S, 4 * S};
    // The pass over the file fails once it is asked beyond 2 s.
    const auto upTo = [&](int64_t us) { return us <= 2 * S ? &keyframes : nullptr; };
    CopyPiece piece;
    ASSERT_EQ(cursor.Next(upTo, &piece), kc::SeamlessPieceCursor::Step::Piece);
    EXPECT_EQ(piece.endUs, 2 * S);
    EXPECT_EQ(cursor.Next(upTo, &piece), kc::SeamlessPieceCursor::Step::Failed);
    kc::SeamlessPieceCursor failingAtOnce(Consecutive({0, 2 * S}), 0);
    EXPECT_EQ(failingAtOnce.Next([](int64_t) { return nullptr; }, &piece), kc::SeamlessPieceCursor::Step::Failed);
}

TEST(CopyPlanning, CustomRangeStartsOnTheKeyframeBeforeAndEndsWhereAsked)
{
    const std::vector<int64_t> keyframes = {S / 2, 3 * S, 6 * S};
    const struct {
        PlannedPiece range;
        int64_t startUs;
    } cases[] = {
        {{4 * S, 5 * S}, 3 * S},
        {{3 * S, 5 * S}, 3 * S},
        {{0, 2 * S}, S / 2}, // before the first keyframe: the piece starts on it
    };
    for (const auto &c : cases) {
        const CopyPiece p = kc::PlanRangeCopyPiece(c.range, keyframes);
        EXPECT_EQ(p.number, 0);
        EXPECT_EQ(p.startUs, c.startUs) << c.range.startUs;
        EXPECT_EQ(p.endUs, c.range.endUs);
    }
}

TEST(CopyPlanning, ExactPiecesKeepEveryPlannedStart)
{
    const struct {
        const char *name;
        kc::TSplitMode mode;
        std::vector<PlannedPiece> planned;
        std::vector<Expected> pieces;
    } cases[] = {
        {"consecutive pieces meet at their planned starts, the last runs to the end", kc::smAverage,
         {{0, 7 * S / 3}, {7 * S / 3, 14 * S / 3}, {14 * S / 3, 7 * S}},
         {{1, 0, 7 * S / 3}, {2, 7 * S / 3, 14 * S / 3}, {3, 14 * S / 3, std::nullopt}}},
        // Keyframes play no part: a piece between two of them is kept, not merged.
        {"short pieces stay pieces of their own", kc::smTime,
         {{0, S}, {S, 2 * S}, {2 * S, 3 * S}},
         {{1, 0, S}, {2, S, 2 * S}, {3, 2 * S, std::nullopt}}},
        {"a custom range keeps its own end", kc::smCustom, {{3 * S / 2, 3 * S}}, {{0, 3 * S / 2, 3 * S}}},
    };
    for (const auto &c : cases) {
        const std::vector<CopyPiece> got = kc::PlanExactCopyPieces(c.mode, c.planned);
        ASSERT_EQ(got.size(), c.pieces.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].number, c.pieces[i].number) << c.name << " piece " << i;
            EXPECT_EQ(got[i].startUs, c.pieces[i].startUs) << c.name << " piece " << i;
            EXPECT_EQ(got[i].endUs, c.pieces[i].endUs) << c.name << " piece " << i;
        }
    }
}

TEST(CopyPlanning, PlannedPiecesFollowTheSplitModes)
{
    kc::SplitInputs in;
    in.duration = 10;
    in.parts = 4;
    const std::vector<PlannedPiece> parts = kc::PlannedPieces(kc::smAverage, in);
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[1].startUs, 2500000);
    EXPECT_EQ(parts[3].endUs, 10 * S);

    in.everyText = QStringLiteral("3");
    const std::vector<PlannedPiece> every = kc::PlannedPieces(kc::smTime, in);
    ASSERT_EQ(every.size(), 4u);
    EXPECT_EQ(every[3].startUs, 9 * S);

    in.everyText = QStringLiteral("0");
    EXPECT_TRUE(kc::PlannedPieces(kc::smTime, in).empty());
}

} // namespace
