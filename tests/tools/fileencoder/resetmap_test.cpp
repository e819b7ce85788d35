// Where a transport or program stream's clock starts again, and how its parts are laid end
// to end.
#include "components/timestampresets/resetmap.h"

#include <gtest/gtest.h>

#include <vector>

namespace kc {
namespace {

constexpr int kVideo = 0x100;
constexpr int kAudio = 0x101;
constexpr int kSubtitle = 0x102;
constexpr int64_t kS = 1000000;
constexpr int64_t kFrame = 40000; // 25 pictures a second

struct Packet {
    int stream;
    int64_t pos;
    int64_t us;
    int64_t durationUs;
    bool key = false;
};

// Pictures and sound of one recording: a keyframe each second, the sound's packets stored
// beside the pictures of the same time.
std::vector<Packet> Recording(int64_t firstPos, int64_t startUs, int64_t seconds, int64_t audioTailUs = 0)
{
    std::vector<Packet> packets;
    int64_t pos = firstPos;
    for (int64_t i = 0; i < seconds * 25; ++i) {
        packets.push_back({kVideo, pos, startUs + i * kFrame, kFrame, i % 25 == 0});
        pos += 1000;
        const bool last = i == seconds * 25 - 1;
        packets.push_back({kAudio, pos, startUs + i * kFrame, kFrame + (last ? audioTailUs : 0), true});
        pos += 100;
    }
    return packets;
}

ResetMap MapOf(const std::vector<std::vector<Packet>> &parts)
{
    ResetMap map;
    map.SetSeekStream(kVideo);
    for (const auto &part : parts) {
        for (const Packet &p : part)
            map.Observe(p.stream, p.stream != kSubtitle, p.key, p.pos, p.us, p.us, p.us + p.durationUs);
    }
    map.Finish();
    return map;
}

struct Case {
    const char *name;
    int64_t secondStartUs;    // the second recording's clock at its start
    int64_t audioTailUs;      // how far the first one's sound outlasts its pictures
    bool reset;
    int64_t secondOffsetUs;   // how far the second recording's packets move
};

class ResetMapCases : public ::testing::TestWithParam<Case> {};

// Two 4 s recordings joined, the first starting at 1.4 s.
TEST_P(ResetMapCases, TheSecondRecordingContinuesTheFirst)
{
    const Case &c = GetParam();
    const auto first = Recording(0, 1400000, 4, c.audioTailUs);
    const auto second = Recording(first.back().pos + 100, c.secondStartUs, 4);
    const ResetMap map = MapOf({first, second});
    EXPECT_EQ(map.Any(), c.reset);
    EXPECT_EQ(map.OffsetUs(kVideo, first.back().pos), 0);
    EXPECT_EQ(map.OffsetUs(kVideo, second.front().pos), c.secondOffsetUs);
    EXPECT_EQ(map.OffsetUs(kAudio, second.back().pos), c.secondOffsetUs);
    if (c.reset) {
        EXPECT_EQ(map.EndUs(), 1400000 + 8 * kS + c.audioTailUs);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Joins, ResetMapCases,
    ::testing::Values(
        // The same muxer twice, `cat` joined: the clock goes back to 1.4 s.
        Case{"same_clock", 1400000, 0, true, 4 * kS},
        // The sound ran 20 ms past the last picture: the second part starts after it, so
        // that no sound overlaps, and the pictures have a gap of less than a frame.
        Case{"sound_outlasts_pictures", 1400000, 20000, true, 4 * kS + 20000},
        // A broadcast's encoder restarted an hour later on its clock.
        Case{"an_hour_forward", 3601 * kS, 0, true, 1400000 + 4 * kS - 3601 * kS},
        // A clock that runs on, or skips less than players bridge, is no reset.
        Case{"runs_on", 5400000, 0, false, 0},
        Case{"five_second_gap", 10400000, 0, false, 0},
        // A small step back is damage, not a new recording.
        Case{"step_back_of_a_frame", 5400000 - kFrame, 0, false, 0}),
    [](const ::testing::TestParamInfo<Case> &i) { return std::string(i.param.name); });

// Sound is stored ahead of its pictures: each stream's clock starts again where its own
// packets do, not where the other stream's do.
TEST(ResetMap, EachStreamResetsAtItsOwnPosition)
{
    const Packet packets[] = {
        {kVideo, 0, 5000000, kFrame, true}, {kAudio, 100, 5000000, kFrame}, {kVideo, 200, 5040000, kFrame},
        {kAudio, 300, 5040000, kFrame},     {kVideo, 400, 5080000, kFrame}, {kAudio, 500, 5080000, kFrame},
        {kVideo, 600, 5120000, kFrame},     {kAudio, 700, 5120000, kFrame},
        // The second recording's sound, then the first one's last picture.
        {kAudio, 800, 1400000, kFrame},     {kAudio, 900, 1440000, kFrame}, {kVideo, 1000, 5160000, kFrame},
        {kAudio, 1100, 1480000, kFrame},
        // The second recording's pictures.
        {kVideo, 1200, 1400000, kFrame, true}, {kAudio, 1300, 1520000, kFrame}, {kVideo, 1400, 1440000, kFrame},
        {kVideo, 1500, 1480000, kFrame},    {kVideo, 1600, 1520000, kFrame},
    };
    const ResetMap map = MapOf({std::vector<Packet>(std::begin(packets), std::end(packets))});
    ASSERT_TRUE(map.Any());
    const int64_t offset = 5200000 - 1400000; // after the first recording's last picture
    EXPECT_EQ(map.OffsetUs(kVideo, 1000), 0);
    EXPECT_EQ(map.OffsetUs(kAudio, 700), 0);
    EXPECT_EQ(map.OffsetUs(kAudio, 800), offset);
    EXPECT_EQ(map.OffsetUs(kVideo, 1200), offset);
    EXPECT_EQ(map.EndUs(), 1520000 + kFrame + offset);
    // Subtitles follow the pictures' parts; a packet whose position is unknown stays in the
    // part its stream was in.
    EXPECT_EQ(map.OffsetUs(kSubtitle, 1100), 0);
    EXPECT_EQ(map.OffsetUs(kSubtitle, 1200), offset);
    int part = 1;
    EXPECT_EQ(map.OffsetUs(kVideo, -1, &part), offset);
    part = 0;
    EXPECT_EQ(map.OffsetUs(kVideo, -1, &part), 0);
}

// A few packets whose times were damaged are no part of their own, in either stream, and
// leave the parts around them as they are.
TEST(ResetMap, DamagedTimesAreNoReset)
{
    auto first = Recording(0, 1400000, 4);
    first[40].us = 5970 * kS; // a picture
    first[121].us = 200 * kS; // two sound packets in a row
    first[123].us = 0;
    auto second = Recording(first.back().pos + 100, 3601 * kS, 4);
    second[10].us = 7 * kS;
    const ResetMap alone = MapOf({first});
    EXPECT_FALSE(alone.Any());
    const ResetMap joined = MapOf({first, second});
    ASSERT_TRUE(joined.Any());
    const int64_t offset = 1400000 + 4 * kS - 3601 * kS;
    EXPECT_EQ(joined.OffsetUs(kVideo, first[60].pos), 0);
    EXPECT_EQ(joined.OffsetUs(kAudio, first.back().pos), 0);
    EXPECT_EQ(joined.OffsetUs(kVideo, second.front().pos), offset);
    EXPECT_EQ(joined.OffsetUs(kAudio, second[11].pos), offset);
    EXPECT_EQ(joined.EndUs(), 1400000 + 8 * kS);
}

// Seeks go to the last keyframe at or before the time on the continuous clock, and to the
// file's first byte in its first second (stream headers may come before the first keyframe).
TEST(ResetMap, SeeksByTheContinuousClock)
{
    const auto first = Recording(5000, 1400000, 4);
    const auto second = Recording(first.back().pos + 100, 1400000, 4);
    const ResetMap map = MapOf({first, second});
    const int64_t secondStart = 1400000 + 4 * kS;
    const struct {
        int64_t us;
        int64_t pos;
    } cases[] = {
        {0, 0},
        {1400000, 0},
        {2400000, first[50].pos},
        {2399999, 0},
        {secondStart - 1, first[150].pos},
        {secondStart, second.front().pos},
        {secondStart + 2500000, second[100].pos},
        {100 * kS, second[150].pos},
    };
    for (const auto &c : cases)
        EXPECT_EQ(map.SeekPosition(c.us), c.pos) << c.us;
}

} // namespace
} // namespace kc
