// Subtitles in a copied piece: cues clipped to the piece, and a sparse stream never holds
// the cut back. Chapters: kept only inside the piece, counted from its start.
#include "chapterclip.h"
#include "cutplanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace fe = kc::fileencoder;
using fe::CutPlanner;

namespace {

struct Cue {
    int64_t startMs;
    int64_t lengthMs; // 0: no length (bitmap subtitles)
};

struct Written {
    int64_t ptsMs;
    int64_t durationMs; // -1: unchanged
};

struct SparseOutcome {
    CutPlanner::Verdict verdict = CutPlanner::Verdict::Continue;
    std::map<size_t, Written> cues; // by index into the cue list
    size_t pushed = 0;              // packets read before the planner was done
};

// Intra-only video at 25 fps (every picture a keyframe) for 10 s and one subtitle stream in
// milliseconds, in file order by time; a piece from startMs to endMs.
SparseOutcome PlanWithCues(const std::vector<Cue> &cues, int64_t startMs, int64_t endMs, bool atFileStart)
{
    struct In {
        uint64_t id;
        fe::PacketFacts facts;
        int cue; // -1 for video
    };
    std::vector<In> input;
    size_t next = 0;
    for (int frame = 0; frame < 250; ++frame) {
        while (next < cues.size() && cues[next].startMs <= frame * 40) {
            fe::PacketFacts f;
            f.stream = 1;
            f.pts = f.dts = cues[next].startMs;
            f.duration = cues[next].lengthMs;
            f.key = true;
            input.push_back({0, f, static_cast<int>(next)});
            ++next;
        }
        fe::PacketFacts f;
        f.stream = 0;
        f.pts = f.dts = frame;
        f.duration = 1;
        f.key = true;
        input.push_back({0, f, -1});
    }
    for (size_t i = 0; i < input.size(); ++i)
        input[i].id = i + 1;

    CutPlanner planner;
    planner.AddStream({1, 25}, true);
    planner.AddStream({1, 1000}, false, true);
    planner.SetRange(startMs * 1000, endMs * 1000);
    SparseOutcome o;
    std::vector<fe::PacketAction> actions;
    const auto take = [&] {
        for (const fe::PacketAction &a : actions) {
            const In &in = input[a.id - 1];
            if (a.write && in.cue >= 0)
                o.cues[static_cast<size_t>(in.cue)] = {a.pts, a.duration};
        }
        actions.clear();
    };
    planner.Restart(atFileStart, actions);
    for (const In &in : input) {
        if (o.verdict != CutPlanner::Verdict::Continue)
            break;
        ++o.pushed;
        o.verdict = planner.Push(in.id, in.facts, actions);
        take();
    }
    if (o.verdict == CutPlanner::Verdict::Continue) {
        o.verdict = planner.Finish(actions);
        take();
    }
    return o;
}

} // namespace

TEST(SparseStreamCut, CuesAreClippedToThePieceAndRebased)
{
    // Piece from 2 s to 6 s.
    const std::vector<Cue> cues = {
        {500, 1000},  // 0: over before the piece
        {1500, 1000}, // 1: spans the start: shown from 0 for what is left of it
        {3000, 500},  // 2: inside
        {5500, 1000}, // 3: spans the end: cut at the end
        {6000, 500},  // 4: starts at the end: the next piece's
        {4000, 0},    // 5: no length, inside (placed by its start, kept as it is)
    };
    std::vector<Cue> ordered = cues;
    std::sort(ordered.begin(), ordered.end(), [](const Cue &a, const Cue &b) { return a.startMs < b.startMs; });
    const SparseOutcome o = PlanWithCues(ordered, 2000, 6000, false);
    ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done);

    const struct {
        Cue cue;
        bool kept;
        Written expected;
    } table[] = {
        {cues[0], false, {}},
        {cues[1], true, {0, 500}},
        {cues[2], true, {1000, -1}},
        {cues[3], true, {3500, 500}},
        {cues[4], false, {}},
        {cues[5], true, {2000, -1}},
    };
    for (const auto &row : table) {
        const size_t at = static_cast<size_t>(std::find_if(ordered.begin(), ordered.end(), [&](const Cue &c) {
                                                  return c.startMs == row.cue.startMs && c.lengthMs == row.cue.lengthMs;
                                              })
                                              - ordered.begin());
        SCOPED_TRACE("cue at " + std::to_string(row.cue.startMs) + " ms");
        ASSERT_EQ(o.cues.count(at) == 1, row.kept);
        if (row.kept) {
            EXPECT_EQ(o.cues.at(at).ptsMs, row.expected.ptsMs);
            EXPECT_EQ(o.cues.at(at).durationMs, row.expected.durationMs);
        }
    }
}

TEST(SparseStreamCut, NeitherReadsFurtherBackNorOnToTheEndOfTheInput)
{
    // The only cue comes long after the piece: reading began after a seek, and the cue's
    // lateness must not send the cut back to the beginning; once the video is past the end,
    // the piece is done without waiting for a subtitle that never comes.
    const SparseOutcome o = PlanWithCues({{9000, 500}}, 2000, 3000, false);
    EXPECT_EQ(o.verdict, CutPlanner::Verdict::Done);
    EXPECT_TRUE(o.cues.empty());
    EXPECT_LT(o.pushed, 100u);
}

TEST(PieceChapters, KeptInsideThePieceClippedAndCountedFromItsStart)
{
    const std::vector<fe::ChapterSpan> chapters = {
        {0, 0, 2500000},       // spans the start
        {1, 2500000, 4000000}, // inside
        {2, 4000000, 9000000}, // spans the end
        {3, 9000000, 9500000}, // after the piece
        {4, 9500000, 9500000}, // no length: up to the next one
        {5, 11000000, 0},      // no length, the last: up to the piece's end
    };
    const struct {
        int64_t zeroUs;
        int64_t endUs;
        std::vector<fe::ChapterSpan> expected;
    } cases[] = {
        {2000000, 6000000, {{0, 0, 500000}, {1, 500000, 2000000}, {2, 2000000, 4000000}}},
        {0, 2500000, {{0, 0, 2500000}}},
        {9600000, 12000000, {{4, 0, 1400000}, {5, 1400000, 2400000}}},
        {4000000, 9000000, {{2, 0, 5000000}}},
    };
    for (const auto &c : cases) {
        const std::vector<fe::ChapterSpan> got = fe::ChaptersForPiece(chapters, c.zeroUs, c.endUs);
        ASSERT_EQ(got.size(), c.expected.size()) << "piece from " << c.zeroUs;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].index, c.expected[i].index);
            EXPECT_EQ(got[i].startUs, c.expected[i].startUs);
            EXPECT_EQ(got[i].endUs, c.expected[i].endUs);
        }
    }
}
