// The arithmetic of cuts: slots of the constant-rate timeline, sample windows, picture fitting.
#include "components/videoedit/cuttiming.h"
#include "components/videoedit/picturefit.h"

#include <gtest/gtest.h>

#include <ostream>

#include <vector>

using namespace kc;

namespace {

struct MapperCase {
    const char *label;
    int num, den;
    bool sameRate;
    std::vector<int64_t> timesUs;   // frame times from the clip's start
    int64_t endUs;
    std::vector<SlotRun> runs;      // expected run of each frame
    int64_t anchorUs = -1;          // -1: anchored on the first frame
};

// Test names show the case label rather than its bytes.
void PrintTo(const MapperCase &c, std::ostream *os) { *os << c.label; }

const MapperCase kMapper[] = {
    // Own rate, boundaries between frames: one slot each, whatever the phase.
    {"OwnRateOnGrid", 25, 1, true, {0, 40000, 80000}, 120000, {{0, 1}, {1, 1}, {2, 1}}},
    {"OwnRateOffGrid", 25, 1, true, {26700, 66700, 106700}, 120000, {{0, 1}, {1, 1}, {2, 1}}},
    // A lost frame: the picture before the gap is repeated, so the pictures stay with the sound.
    {"OwnRateGap", 25, 1, true, {0, 80000, 120000}, 160000, {{0, 2}, {2, 1}, {3, 1}}},
    // Times rounded by the container (a few ms) still give one slot each.
    {"OwnRateJitter", 25, 1, true, {0, 43000, 78000}, 120000, {{0, 1}, {1, 1}, {2, 1}}},
    // Variable frame rate at the nominal rate: frames that come slower are repeated by their
    // time, and the last one lasts to the end of the cut.
    {"VariableRateSlower", 25, 1, true, {0, 40000, 80000, 180000, 280000}, 380000,
     {{0, 1}, {1, 1}, {2, 3}, {5, 2}, {7, 3}}},
    // Frames that come faster than the nominal rate are dropped rather than pushed later.
    {"VariableRateFaster", 25, 1, true, {0, 40000, 60000, 80000, 120000}, 160000,
     {{0, 1}, {1, 1}, {2, 0}, {2, 1}, {3, 1}}},
    // A grid anchored before the first picture (a video that starts late): it stands in from
    // slot 0 on.
    {"AnchoredBeforeTheFirstFrame", 25, 1, true, {60000, 100000}, 140000, {{0, 3}, {3, 1}}, 0},
    {"Ntsc", 30000, 1001, true, {0, 33367, 66733, 100100}, 133467, {{0, 1}, {1, 1}, {2, 1}, {3, 1}}},
    // Converting: 15 fps to 30 repeats every frame; the last lasts to the cut's end.
    {"Up15To30", 30, 1, false, {0, 66667, 133333}, 200000, {{0, 2}, {2, 2}, {4, 2}}},
    // 50 fps to 25 drops every other frame.
    {"Down50To25", 25, 1, false, {0, 20000, 40000, 60000}, 80000, {{0, 1}, {1, 0}, {1, 1}, {2, 0}}},
    // A clip shorter than one output frame still shows its picture.
    {"ShorterThanASlot", 25, 1, false, {0}, 10000, {{0, 1}}},
    // 25 to 29.97: six slots for five frames.
    {"PalToNtsc", 30000, 1001, false, {0, 40000, 80000, 120000, 160000}, 200000,
     {{0, 1}, {1, 1}, {2, 2}, {4, 1}, {5, 1}}},
    // Converting, the timeline follows the cut's length: 41 ms are one slot.
    {"CutEndsJustAfterAFrame", 25, 1, false, {0, 40000}, 41000, {{0, 1}, {1, 0}}},
};

class VideoEditSlots : public ::testing::TestWithParam<MapperCase> {};

TEST_P(VideoEditSlots, GivesEachFrameItsRun)
{
    const MapperCase &c = GetParam();
    FrameSlotMapper m(c.num, c.den, c.sameRate);
    if (c.anchorUs >= 0)
        m.anchorAt(c.anchorUs);
    std::vector<SlotRun> got;
    for (size_t i = 0; i < c.timesUs.size(); ++i) {
        const SlotRun r = m.add(c.timesUs[i]);
        if (i > 0)
            got.push_back(r);
    }
    got.push_back(m.finish(c.endUs));
    ASSERT_EQ(got.size(), c.runs.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].first, c.runs[i].first) << "frame " << i;
        EXPECT_EQ(got[i].count, c.runs[i].count) << "frame " << i;
    }
    EXPECT_FALSE(m.hasPending());
}

INSTANTIATE_TEST_SUITE_P(Cases, VideoEditSlots, ::testing::ValuesIn(kMapper),
                         [](const ::testing::TestParamInfo<MapperCase> &i) { return std::string(i.param.label); });

TEST(VideoEditSlotPieces, PiecesOfOneSourceHoldEveryFrameOnce)
{
    // 75 frames at 25 fps split at a third and two thirds of 3.04 s (between frames).
    const int64_t bounds[] = {0, 1013333, 2026667, 3040000};
    int64_t total = 0;
    for (int p = 0; p < 3; ++p) {
        FrameSlotMapper m(25, 1, true);
        int64_t slots = 0;
        for (int f = 0; f < 75; ++f) {
            const int64_t t = f * 40000;
            if (t >= bounds[p] && t < bounds[p + 1])
                slots += m.add(t - bounds[p]).count;
        }
        slots += m.finish(bounds[p + 1] - bounds[p]).count;
        total += slots;
    }
    EXPECT_EQ(total, 75);
}

TEST(VideoEditMicros, RoundsToTheSameInstantForNearlyEqualDoubles)
{
    const double d = 3.04;
    EXPECT_EQ(SecondsToMicros(d / 3 * 2), SecondsToMicros(d * 2 / 3));
    EXPECT_EQ(SecondsToMicros(1.0), 1000000);
    EXPECT_EQ(SecondsToMicros(-0.5), -500000);
}

struct WindowCase {
    int64_t pos, samples, start, stop;
    int64_t skip, take;
};

TEST(VideoEditSampleWindow, KeepsOnlyTheCut)
{
    const WindowCase cases[] = {
        {0, 1024, 0, 44100, 0, 1024},         // inside
        {0, 1024, 1000, 44100, 1000, 24},     // the cut starts inside the frame
        {44000, 1024, 0, 44100, 0, 100},      // and ends inside it
        {500, 1024, 1000, 1200, 500, 200},    // both
        {0, 1024, 2000, 3000, 0, 0},          // before
        {5000, 1024, 0, 5000, 0, 0},          // after
    };
    for (const WindowCase &c : cases) {
        const SampleWindow w = WindowOf(c.pos, c.samples, c.start, c.stop);
        EXPECT_EQ(w.take, c.take) << c.pos << " " << c.start << " " << c.stop;
        if (c.take > 0) {
            EXPECT_EQ(w.skip, c.skip) << c.pos << " " << c.start << " " << c.stop;
        }
    }
}

struct FitCase {
    const char *label;
    int srcW, srcH, sarN, sarD, outW, outH, darN, darD;
    bool keep;
    PictureFit want;
};

// Test names show the case label rather than its bytes.
void PrintTo(const FitCase &c, std::ostream *os) { *os << c.label; }

const FitCase kFits[] = {
    {"StretchSquare", 320, 240, 1, 1, 160, 120, 0, 0, false, {160, 120, 0, 0, 1, 1}},
    {"StretchIntoPalVcd", 640, 360, 1, 1, 352, 288, 4, 3, false, {352, 288, 0, 0, 12, 11}},
    {"SameShapeNeedsNoBars", 640, 480, 1, 1, 720, 576, 4, 3, true, {720, 576, 0, 0, 16, 15}},
    // 16:9 into a 4:3 DVD frame: black above and below.
    {"WideIntoDvdPal", 1280, 720, 1, 1, 720, 576, 4, 3, true, {720, 432, 0, 72, 16, 15}},
    {"WideIntoNtscDvd", 1280, 720, 1, 1, 720, 480, 4, 3, true, {720, 360, 0, 60, 8, 9}},
    // Tall picture into a 4:3 VCD frame: bars left and right.
    {"TallIntoVcdNtsc", 240, 320, 1, 1, 352, 240, 4, 3, true, {198, 240, 76, 0, 10, 11}},
    // Anamorphic source (16:9 on 720x576) into square 640x480: bars above and below.
    {"AnamorphicSource", 720, 576, 64, 45, 640, 480, 0, 0, true, {640, 360, 0, 60, 1, 1}},
};

class VideoEditFit : public ::testing::TestWithParam<FitCase> {};

TEST_P(VideoEditFit, PlacesThePicture)
{
    const FitCase &c = GetParam();
    const PictureFit f = FitPicture(c.srcW, c.srcH, c.sarN, c.sarD, c.outW, c.outH, c.darN, c.darD, c.keep);
    EXPECT_EQ(f.width, c.want.width);
    EXPECT_EQ(f.height, c.want.height);
    EXPECT_EQ(f.x, c.want.x);
    EXPECT_EQ(f.y, c.want.y);
    EXPECT_EQ(f.sarNum, c.want.sarNum);
    EXPECT_EQ(f.sarDen, c.want.sarDen);
}

INSTANTIATE_TEST_SUITE_P(Cases, VideoEditFit, ::testing::ValuesIn(kFits),
                         [](const ::testing::TestParamInfo<FitCase> &i) { return std::string(i.param.label); });

} // namespace
