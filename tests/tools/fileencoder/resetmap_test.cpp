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
            map.Observe(p.stream, p.stream != kSubtitle, p.key, p.pos, p.us, p.durationUs);
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
    ResetMap map;
    map.SetSeekStream(kVideo);
    map.Observe(kVideo, true, true, 0, 5000000, kFrame);
    map.Observe(kAudio, true, true, 100, 5000000, kFrame);
    map.Observe(kAudio, true, true, 200, 5040000, kFrame);
    map.Observe(kAudio, true, true, 300, 1400000, kFrame); // the second recording's sound
    map.Observe(kVideo, true, false, 400, 5040000, kFrame); // the first one's last picture
    map.Observe(kVideo, true, true, 500, 1400000, kFrame);
    map.Finish();
    ASSERT_TRUE(map.Any());
    const int64_t offset = 5080000 - 1400000;
    EXPECT_EQ(map.OffsetUs(kVideo, 400), 0);
    EXPECT_EQ(map.OffsetUs(kAudio, 300), offset);
    EXPECT_EQ(map.OffsetUs(kVideo, 500), offset);
    // Subtitles follow the first stream to start again; a packet whose position is unknown
    // stays in the part its stream was in.
    EXPECT_EQ(map.OffsetUs(kSubtitle, 250), 0);
    EXPECT_EQ(map.OffsetUs(kSubtitle, 300), offset);
    int part = 1;
    EXPECT_EQ(map.OffsetUs(kVideo, -1, &part), offset);
    part = 0;
    EXPECT_EQ(map.OffsetUs(kVideo, -1, &part), 0);
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
