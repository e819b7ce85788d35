// The timecode a piece's first picture has, counted on from the source's.
#include "piecetimecode.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/rational.h>
}

namespace kc::fileencoder {
namespace {

TEST(PieceTimecode, CountsOnFromTheSourcesTimecode)
{
    const struct {
        const char *start;
        AVRational rate;
        int64_t frames;
        const char *expected;
    } cases[] = {
        {"10:59:59:00", {25, 1}, 50, "11:00:01:00"},
        {"00:00:00:00", {24000, 1001}, 24 * 60, "00:01:00:00"},
        // Drop-frame counting skips the numbers 0 and 1 at each minute but every tenth.
        {"00:00:59;29", {30000, 1001}, 1, "00:01:00;02"},
        {"00:09:59;29", {30000, 1001}, 1, "00:10:00;00"},
        {"00:00:58;00", {30000, 1001}, 120, "00:01:02;02"},
        {"01:00:00:00", {50, 1}, 100, "01:00:02:00"},
        // A timecode runs round the clock.
        {"23:59:59:24", {25, 1}, 1, "00:00:00:00"},
        {"23:00:00:00", {25, 1}, 25 * 3600 * 2, "01:00:00:00"},
        {"01:00:00:00", {25, 1}, 0, "01:00:00:00"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.start) + " + " + std::to_string(c.frames));
        EXPECT_EQ(TimecodeAfter(c.start, c.rate, c.frames), c.expected);
    }
}

TEST(PieceTimecode, LeavesWhatIsNoTimecodeAlone)
{
    const struct {
        const char *start;
        AVRational rate;
    } cases[] = {
        {"reel 7", {25, 1}},
        {"", {25, 1}},
        {"01:00:00:00", {0, 1}},
        {"01:00:00:00", {25, 0}},
        // Drop-frame numbering exists only for 29.97 and 59.94 pictures a second.
        {"01:00:00;00", {25, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start);
        EXPECT_EQ(TimecodeAfter(c.start, c.rate, 10), "");
    }
}

} // namespace
} // namespace kc::fileencoder
