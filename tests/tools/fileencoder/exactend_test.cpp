// Where a frame-exact piece ends inside a group of pictures, on decode orders as encoders
// write them. Times are picture numbers.
#include "exactend.h"

#include "cutplanner.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace fe = kc::fileencoder;

namespace {

TEST(ExactEnd, CopiesWhatDecodesAloneAndEncodesTheRestAgain)
{
    const struct {
        const char *name;
        std::vector<int64_t> shown; // decode order, from the group's keyframe
        int64_t end;
        size_t copied;
        std::vector<int64_t> reencoded;
        std::optional<int64_t> firstAfter;
    } cases[] = {
        {"no reordering: everything before the end is copied", {0, 1, 2, 3, 4, 5}, 3, 3, {}, 3},
        {"B-pictures before the end wait for a reference after it", {0, 3, 1, 2, 6, 4, 5}, 5, 4, {4}, 5},
        {"an end on a reference leaves its B-pictures out of the copy", {0, 3, 1, 2, 6, 4, 5}, 3, 1, {1, 2}, 3},
        {"an end between a reference and its B-pictures copies them all", {0, 3, 1, 2, 6, 4, 5}, 4, 4, {}, 4},
        {"an open GOP's leading pictures come after its keyframe", {0, 3, 1, 2, 6, 4, 5, 9, 7, 8, 12, 10, 11}, 12, 10,
         {10, 11}, 12},
        {"B-pyramid", {0, 4, 2, 1, 3, 8, 6, 5, 7}, 7, 5, {5, 6}, 7},
        // A copied picture may not show after one encoded again: the copy stops before it.
        {"a prefix picture shown after a left-out one is encoded again too", {0, 2, 5, 1, 3}, 4, 1, {1, 2, 3}, 5},
        {"the input ends before the end", {0, 1, 2}, 10, 3, {}, std::nullopt},
        {"the group starts at the end", {5, 6}, 5, 0, {}, 5},
    };
    for (const auto &c : cases) {
        const fe::ExactEnd got = fe::PlanExactEnd(c.shown, c.end);
        EXPECT_EQ(got.copied, c.copied) << c.name;
        EXPECT_EQ(got.reencoded, c.reencoded) << c.name;
        EXPECT_EQ(got.firstAfter, c.firstAfter) << c.name;
    }
}

TEST(ExactEnd, IsSettledOnceNoLaterPacketCanShowBeforeTheFirstPictureAfterIt)
{
    const struct {
        const char *name;
        std::vector<int64_t> shown;
        int64_t end;
        int64_t lastDecoded;
        bool settled;
    } cases[] = {
        {"decode time unknown", {0, 3, 1, 2, 6}, 5, fe::kNoTimestamp, false},
        {"B-pictures before the end may still come", {0, 3, 1, 2, 6}, 5, 4, false},
        {"decoded at the earliest picture after the end", {0, 3, 1, 2, 6, 4, 5}, 5, 6, true},
        {"nothing read past the end yet", {0, 1, 2}, 5, 2, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(fe::ExactEndSettled(c.shown, c.end, c.lastDecoded), c.settled) << c.name;
}

} // namespace
