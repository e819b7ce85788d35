#include "cutplanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fe = kc::fileencoder;
using fe::CutPlanner;
using fe::kNoTimestamp;

namespace {

// A synthetic input: 25 fps video in an open-GOP pattern (display I B B P B B, a keyframe
// every 6 pictures, so the two B pictures after each later I in decode order belong to the
// previous GOP) and audio packets of 26 ms, in file order by time.
struct SynthPacket {
    uint64_t id;
    fe::PacketFacts facts;
    bool video;
    int display;           // video: display index
    fe::PictureKind kind;  // video: what its parser would say
};

enum class Container { Timestamps, DecodeOrder };

std::vector<SynthPacket> MakeInput(Container c, int frames = 49, int audioMs = 2000, int audioLeadMs = 0)
{
    // Decode order of the display indices.
    // frames - 1 should be a multiple of 3, so that the last picture is an anchor.
    std::vector<int> order;
    for (int anchor = 0; anchor < frames; anchor += 3) {
        order.push_back(anchor);
        if (anchor > 0) {
            order.push_back(anchor - 2);
            order.push_back(anchor - 1);
        }
    }
    std::vector<SynthPacket> video;
    for (size_t pos = 0; pos < order.size(); ++pos) {
        const int d = order[pos];
        SynthPacket p{};
        p.video = true;
        p.display = d;
        const bool b = d % 3 != 0;
        p.kind = b ? fe::PictureKind::Bidirectional : fe::PictureKind::Other;
        p.facts.stream = 0;
        p.facts.duration = 1;
        p.facts.key = d % 6 == 0;
        if (c == Container::Timestamps) {
            p.facts.pts = d;
            p.facts.dts = static_cast<int64_t>(pos) - 1;
        } else {
            // As an AVI reads: decode positions only, guessed presentation times on B pictures.
            p.facts.dts = static_cast<int64_t>(pos);
            p.facts.pts = b ? p.facts.dts : kNoTimestamp;
        }
        video.push_back(p);
    }
    std::vector<SynthPacket> audio;
    for (int t = 0; t < audioMs; t += 26) {
        SynthPacket p{};
        p.facts.stream = 1;
        p.facts.pts = p.facts.dts = t;
        p.facts.duration = 26;
        p.facts.key = true;
        audio.push_back(p);
    }
    // Interleave by time (video by decode time), audio optionally muxed ahead.
    std::vector<SynthPacket> all;
    size_t a = 0;
    for (const SynthPacket &v : video) {
        const int64_t vMs = v.facts.dts * 40;
        while (a < audio.size() && audio[a].facts.pts - audioLeadMs <= vMs)
            all.push_back(audio[a++]);
        all.push_back(v);
    }
    while (a < audio.size())
        all.push_back(audio[a++]);
    for (size_t i = 0; i < all.size(); ++i)
        all[i].id = i + 1;
    return all;
}

struct Outcome {
    CutPlanner::Verdict verdict = CutPlanner::Verdict::Continue;
    std::string error;
    std::vector<const SynthPacket *> written; // in the order written
    std::map<uint64_t, fe::PacketAction> actions;
    std::set<int> displays; // video pictures written
};

// Feeds packets (from index `from` on) until the planner stops, then the end of input.
Outcome Plan(const std::vector<SynthPacket> &input, Container c, int64_t startMs, int64_t lengthMs, bool atFileStart,
            size_t from = 0, bool recodeAcrossEnd = false)
{
    CutPlanner planner;
    planner.SetRecodesAcrossEnd(recodeAcrossEnd);
    planner.AddStream({1, 25}, true);
    planner.AddStream({1, 1000}, false);
    planner.SetRange(startMs * 1000, (startMs + lengthMs) * 1000);
    planner.SetOrdering(c == Container::Timestamps ? CutPlanner::Ordering::PresentationTimestamps
                                                   : CutPlanner::Ordering::DecodeOrderOnly);
    std::map<uint64_t, const SynthPacket *> byId;
    for (const SynthPacket &p : input)
        byId[p.id] = &p;
    planner.SetClassifier([&](uint64_t id) { return byId.at(id)->kind; });

    Outcome o;
    std::vector<fe::PacketAction> actions;
    std::set<uint64_t> pushed;
    const auto take = [&] {
        for (const fe::PacketAction &a : actions) {
            EXPECT_TRUE(pushed.count(a.id)) << "unknown id " << a.id;
            EXPECT_FALSE(o.actions.count(a.id)) << "id " << a.id << " came back twice";
            o.actions[a.id] = a;
            if (a.write) {
                o.written.push_back(byId.at(a.id));
                if (byId.at(a.id)->video)
                    o.displays.insert(byId.at(a.id)->display);
            }
        }
        actions.clear();
    };
    planner.Restart(atFileStart, actions);
    take();
    for (size_t i = from; i < input.size() && o.verdict == CutPlanner::Verdict::Continue; ++i) {
        pushed.insert(input[i].id);
        o.verdict = planner.Push(input[i].id, input[i].facts, actions);
        take();
    }
    if (o.verdict == CutPlanner::Verdict::Continue) {
        o.verdict = planner.Finish(actions);
        take();
    }
    for (uint64_t id : pushed)
        EXPECT_TRUE(o.actions.count(id)) << "id " << id << " never came back";
    o.error = planner.Error();
    return o;
}

std::vector<const SynthPacket *> OfStream(const Outcome &o, bool video)
{
    std::vector<const SynthPacket *> out;
    for (const SynthPacket *p : o.written)
        if (p->video == video)
            out.push_back(p);
    return out;
}

} // namespace

TEST(FileEncoderCutPlanner, StartsAtTheKeyframeBeforeTheStartAndCoversTheRange)
{
    for (Container c : {Container::Timestamps, Container::DecodeOrder}) {
        SCOPED_TRACE(c == Container::Timestamps ? "timestamps" : "decode order");
        const auto input = MakeInput(c);
        // The start (picture 7.5) lies after the keyframe at picture 6 (the one at 12 is
        // later); the end lies at picture 17.5.
        const Outcome o = Plan(input, c, 300, 400, false);
        ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done) << o.error;

        const auto video = OfStream(o, true);
        ASSERT_FALSE(video.empty());
        EXPECT_EQ(video.front()->display, 6);
        EXPECT_TRUE(video.front()->facts.key);
        // Every picture from the keyframe to past the end, none missing, none before it (the
        // two B pictures after the keyframe belong to the GOP before).
        EXPECT_EQ(o.displays, (std::set<int>{6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    }
}

TEST(FileEncoderCutPlanner, EndsWithThePicturesShownBeforeTheEndAndTheirReferences)
{
    const auto input = MakeInput(Container::Timestamps);
    const struct {
        int64_t endMs;
        std::set<int> displays;
    } cases[] = {
        // P15 is decoded before the end but shows after it, and no picture before the end
        // needs it: left out.
        {500, {6, 7, 8, 9, 10, 11, 12}},
        // B13 shows before the end and references P15, which comes along; B14 does not.
        {540, {6, 7, 8, 9, 10, 11, 12, 13, 15}},
        // B16 and B17 reference I18.
        {700, {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
    };
    for (const auto &c : cases) {
        const Outcome o = Plan(input, Container::Timestamps, 300, c.endMs - 300, false);
        ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done) << o.error;
        EXPECT_EQ(o.displays, c.displays) << "end " << c.endMs;
    }
}

TEST(FileEncoderCutPlanner, WithoutPresentationTimesRecodesWhatNeedsAPictureShownFromTheEnd)
{
    // Decode order I0 P3 B1 B2 I6 B4 B5 P9 B7 B8 I12 B10 B11 P15..., one decode position each;
    // the piece starts at I6. A picture other than B shows once the B-pictures behind it have.
    const auto input = MakeInput(Container::DecodeOrder);
    const struct {
        int64_t endMs;
        std::set<int> displays; // written, copied or anew
        std::set<int> recoded;
        std::set<int> referenceOnly;
    } cases[] = {
        // I12 is decoded before the end but shows at it; B10 and B11 need it.
        {480, {6, 7, 8, 9, 10, 11}, {10, 11}, {12}},
        // Only B10 shows before the end; B11 is left out with I12.
        {440, {6, 7, 8, 9, 10}, {10}, {12}},
        // I12 shows before the end: copied with the pictures behind it.
        {520, {6, 7, 8, 9, 10, 11, 12}, {}, {}},
        // I12 is decoded at the end: nothing behind it shows before.
        {400, {6, 7, 8, 9}, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.endMs);
        const Outcome o = Plan(input, Container::DecodeOrder, 300, c.endMs - 300, false, 0, true);
        ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done) << o.error;
        EXPECT_EQ(o.displays, c.displays);
        std::set<int> recoded, referenceOnly;
        std::vector<int64_t> decodeTimes;
        for (const SynthPacket *p : OfStream(o, true)) {
            const fe::PacketAction &a = o.actions.at(p->id);
            decodeTimes.push_back(a.dts);
            if (a.recode)
                recoded.insert(p->display);
        }
        for (const SynthPacket &p : input)
            if (p.video && o.actions.count(p.id) && o.actions.at(p.id).referenceOnly)
                referenceOnly.insert(p.display);
        EXPECT_EQ(recoded, c.recoded);
        EXPECT_EQ(referenceOnly, c.referenceOnly);
        // The pictures written anew take the place of the one left out: no gap, which an AVI
        // would fill with a repeated picture.
        for (size_t i = 0; i < decodeTimes.size(); ++i)
            EXPECT_EQ(decodeTimes[i], static_cast<int64_t>(i)) << "picture " << i << " in decode order";
    }
}

TEST(FileEncoderCutPlanner, RebasesTimestampsSoTheKeyframeIsZero)
{
    const auto input = MakeInput(Container::Timestamps);
    const Outcome o = Plan(input, Container::Timestamps, 300, 400, false);
    ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done) << o.error;
    for (const SynthPacket *p : OfStream(o, true)) {
        const fe::PacketAction &a = o.actions.at(p->id);
        EXPECT_EQ(a.pts, p->display - 6);
        EXPECT_EQ(a.dts, p->facts.dts - 6);
    }
    // Audio: the packet nearest the keyframe's time (240 ms) is the one at 234 ms; it ends
    // with the last packet starting before the end (700 ms).
    const auto audio = OfStream(o, false);
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(audio.front()->facts.pts, 234);
    EXPECT_EQ(o.actions.at(audio.front()->id).pts, -6);
    EXPECT_EQ(audio.back()->facts.pts, 676);
}

TEST(FileEncoderCutPlanner, ClosesDecodeTimesOverDroppedPicturesWithoutTimestamps)
{
    const auto input = MakeInput(Container::DecodeOrder);
    const Outcome o = Plan(input, Container::DecodeOrder, 300, 400, false);
    ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done) << o.error;
    // Consecutive decode times from 0: a gap would become empty frames in an AVI.
    int64_t expected = 0;
    for (const SynthPacket *p : OfStream(o, true)) {
        EXPECT_EQ(o.actions.at(p->id).dts, expected) << "picture " << p->display;
        ++expected;
    }
    // Every stream of such a container starts at 0. The keyframe is decoded 5th (160 ms)
    // but shows after the two pictures dropped behind it, at picture 6 (240 ms): the audio
    // starts with the packet nearest that, the one at 234 ms.
    const auto audio = OfStream(o, false);
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(audio.front()->facts.pts, 234);
    EXPECT_EQ(o.actions.at(audio.front()->id).pts, 0);
    EXPECT_EQ(o.actions.at(audio[1]->id).pts, 26);
}

TEST(FileEncoderCutPlanner, StartOnAKeyframeKeepsExactlyFromIt)
{
    const auto input = MakeInput(Container::Timestamps);
    const Outcome o = Plan(input, Container::Timestamps, 480, 240, false); // picture 12 to 18
    ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done) << o.error;
    EXPECT_EQ(*o.displays.begin(), 12);
    EXPECT_GE(*o.displays.rbegin(), 17);
}

TEST(FileEncoderCutPlanner, WholeInputKeepsEveryPacket)
{
    for (Container c : {Container::Timestamps, Container::DecodeOrder}) {
        const auto input = MakeInput(c);
        const Outcome o = Plan(input, c, 0, 100000, true);
        ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done) << o.error;
        EXPECT_EQ(o.written.size(), input.size());
    }
}

TEST(FileEncoderCutPlanner, AsksToSeekEarlierWhenReadingBeganTooLate)
{
    const auto input = MakeInput(Container::Timestamps);
    // Reading begins at picture 12's keyframe (the 11th video packet) while the start is at
    // picture 7.5: without an earlier keyframe the piece could not start before the start.
    size_t from = 0;
    while (!(input[from].video && input[from].display == 12))
        ++from;
    const Outcome late = Plan(input, Container::Timestamps, 300, 400, false, from);
    EXPECT_EQ(late.verdict, CutPlanner::Verdict::SeekEarlier);
    EXPECT_TRUE(late.written.empty());

    // At the input's very beginning there is nothing earlier: a first keyframe after the
    // start is where the piece begins.
    const Outcome atStart = Plan(input, Container::Timestamps, 300, 400, true, from);
    ASSERT_EQ(atStart.verdict, CutPlanner::Verdict::Done) << atStart.error;
    EXPECT_EQ(*atStart.displays.begin(), 12);
}

TEST(FileEncoderCutPlanner, AsksToSeekEarlierWhenAudioWasMuxedAheadOfTheSeekPoint)
{
    // Audio muxed 400 ms ahead: reading from the keyframe at picture 6 misses the audio of
    // 240 ms to 640 ms, which lies before it in the file.
    const auto input = MakeInput(Container::Timestamps, 49, 2000, 400);
    size_t from = 0;
    while (!(input[from].video && input[from].display == 6))
        ++from;
    const Outcome o = Plan(input, Container::Timestamps, 300, 400, false, from);
    EXPECT_EQ(o.verdict, CutPlanner::Verdict::SeekEarlier);

    // Read from the beginning, the audio from the keyframe's time on is there.
    const Outcome full = Plan(input, Container::Timestamps, 300, 400, true);
    ASSERT_EQ(full.verdict, CutPlanner::Verdict::Done) << full.error;
    EXPECT_EQ(OfStream(full, false).front()->facts.pts, 234);
}

TEST(FileEncoderCutPlanner, StartInTheLastGopCopiesToTheEnd)
{
    // Pictures 0 to 45, the last keyframe at 42; the start (picture 44.75) comes after the
    // last decode time, so the input ends before the anchor is settled.
    const auto input = MakeInput(Container::Timestamps, 46, 1840);
    const Outcome o = Plan(input, Container::Timestamps, 1790, 5000, false);
    ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done) << o.error;
    EXPECT_EQ(o.displays, (std::set<int>{42, 43, 44, 45}));
    EXPECT_FALSE(OfStream(o, false).empty());
}

TEST(FileEncoderCutPlanner, FailsWithAReasonWhenNothingCanBeCut)
{
    const auto input = MakeInput(Container::Timestamps, 49, 1960);
    const Outcome beyond = Plan(input, Container::Timestamps, 5000, 1000, false);
    EXPECT_EQ(beyond.verdict, CutPlanner::Verdict::Failed);
    EXPECT_NE(beyond.error.find("beyond the end"), std::string::npos) << beyond.error;
    EXPECT_TRUE(beyond.written.empty());

    // Video without a keyframe (only the B pictures of the input).
    std::vector<SynthPacket> noKey;
    for (const SynthPacket &p : input)
        if (!p.video || p.kind == fe::PictureKind::Bidirectional)
            noKey.push_back(p);
    const Outcome none = Plan(noKey, Container::Timestamps, 0, 1000, true);
    EXPECT_EQ(none.verdict, CutPlanner::Verdict::Failed);
    EXPECT_NE(none.error.find("keyframe"), std::string::npos) << none.error;
    EXPECT_TRUE(none.written.empty());
}

TEST(FileEncoderCutPlanner, AudioOnlyInputStartsAtThePacketBeforeTheStart)
{
    CutPlanner planner;
    planner.AddStream({1, 1000}, true);
    planner.SetRange(1000000, 1500000);
    std::vector<fe::PacketAction> actions;
    planner.Restart(true, actions);
    std::vector<int64_t> kept;
    CutPlanner::Verdict v = CutPlanner::Verdict::Continue;
    for (int64_t t = 0; t < 3000 && v == CutPlanner::Verdict::Continue; t += 26) {
        fe::PacketFacts f;
        f.pts = f.dts = t;
        f.duration = 26;
        f.key = true;
        v = planner.Push(static_cast<uint64_t>(t + 1), f, actions);
        for (const auto &a : actions)
            if (a.write)
                kept.push_back(static_cast<int64_t>(a.id) - 1);
        actions.clear();
    }
    ASSERT_EQ(v, CutPlanner::Verdict::Done);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.front(), 988);
    EXPECT_EQ(kept.back(), 1482);
}

TEST(FileEncoderCutPlanner, WithoutTimestampsAKeyframeDecodedBeforeButShownAfterTheStartIsNotTheStart)
{
    // The keyframe of picture 12 is decoded 10th (400 ms), before the start, but shows at
    // 480 ms, after the two B pictures decoded behind it; the start's own picture (10)
    // belongs to the stretch that begins at the keyframe of picture 6.
    const auto input = MakeInput(Container::DecodeOrder);
    const struct {
        int64_t startMs;
        bool atFileStart;
        int firstShown;
    } cases[] = {
        {420, false, 6},
        {420, true, 6},
        {470, false, 6},
        {480, false, 12}, // the keyframe shows exactly at the start
        {500, false, 12},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("start " + std::to_string(c.startMs));
        const Outcome o = Plan(input, Container::DecodeOrder, c.startMs, 200, c.atFileStart);
        ASSERT_EQ(o.verdict, CutPlanner::Verdict::Done) << o.error;
        const auto video = OfStream(o, true);
        ASSERT_FALSE(video.empty());
        EXPECT_EQ(video.front()->display, c.firstShown);
        EXPECT_EQ(*o.displays.begin(), c.firstShown);
        EXPECT_TRUE(video.front()->facts.key);
    }
}

TEST(FileEncoderCutPlanner, WithoutTimestampsAsksToSeekEarlierWhenTheOnlyKeyframeReadShowsAfterTheStart)
{
    const auto input = MakeInput(Container::DecodeOrder);
    // Reading begins at picture 12's keyframe (decoded 10th) while the start is picture 10.5.
    size_t from = 0;
    while (!(input[from].video && input[from].display == 12))
        ++from;
    const Outcome o = Plan(input, Container::DecodeOrder, 420, 200, false, from);
    EXPECT_EQ(o.verdict, CutPlanner::Verdict::SeekEarlier);
    EXPECT_TRUE(o.written.empty());
}
