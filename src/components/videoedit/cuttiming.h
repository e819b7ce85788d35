#pragma once

#include <cstdint>

namespace kc {

// Seconds at the component's surface become whole microseconds inside, so that the stop of
// one piece and the start of the next, computed by the caller from the same arithmetic, name
// exactly the same instant.
int64_t SecondsToMicros(double seconds);

// The output slots one picture covers: slots first .. first + count - 1 (count 0: dropped).
struct SlotRun {
    int64_t first = 0;
    int64_t count = 0;
};

// Gives the frames of one clip their places on a constant-rate output timeline.
//
// Frame times are microseconds from the clip's start. Output slot n lasts 1/rate. The grid is
// anchored on the first frame kept (or on an instant set with anchorAt()), so that wherever a
// piece's boundaries fall between frames, the frames of a constant-rate source land on
// consecutive slots. The first frame always starts at slot 0: when the grid is anchored before
// it, it fills the slots up to its successor.
//
// Every frame is placed by its time, rounded to the nearest slot: it covers the slots from its
// own place up to the next frame's place, repeated when the source leaves a gap (or runs
// slower than the output), dropped when two frames fall on one slot. A source whose frame
// times are not constant (variable frame rate, lost frames) thus keeps its pictures where its
// sound is.
//
// The last frame of a clip ends at the clip's end. When the output runs at the source's own
// rate (sameRate) and every frame so far sat on the slot after its predecessor, the last frame
// takes exactly one slot instead, so that consecutive pieces of one source hold each of its
// frames once whatever the phase of their boundaries.
//
// The caller holds each frame back until the next one arrives (or the clip ends): only then
// is its run known.
class FrameSlotMapper
{
public:
    FrameSlotMapper(int rateNum, int rateDen, bool sameRate);

    // Anchors the grid at timeUs instead of at the first frame; call before the first add().
    void anchorAt(int64_t timeUs);
    // A new frame at time t: returns the run of the previously added frame (count 0 for
    // the very first call).
    SlotRun add(int64_t timeUs);
    // The clip ends at endUs (the cut's stop, or the end of the last frame): the run of the
    // last added frame (at least one slot if the clip had none yet).
    SlotRun finish(int64_t endUs);

    bool hasPending() const { return m_hasPending; }
    // Whether every frame so far took the slot after its predecessor's.
    bool regular() const { return m_regular; }
    // One past the last slot used so far.
    int64_t endSlot() const { return m_endSlot; }
    // Microseconds from the anchor to the start of slot n.
    int64_t slotStartUs(int64_t slot) const;

private:
    int64_t slotAt(int64_t timeUs) const;

    int64_t m_num, m_den;
    bool m_sameRate;
    bool m_regular = true;
    bool m_hasPending = false;
    bool m_anchored = false;
    int64_t m_anchorUs = 0;
    int64_t m_pendingSlot = 0;   // where the held frame's run starts
    int64_t m_pendingPlace = 0;  // the slot its own time names
    int64_t m_endSlot = 0;
};

// The part of a decoded audio frame that lies in the cut [startSample, stopSample); positions
// in samples of the source's rate.
struct SampleWindow {
    int64_t skip = 0;  // samples to drop at the front of the frame
    int64_t take = 0;  // samples to keep after those
};
SampleWindow WindowOf(int64_t framePos, int64_t frameSamples, int64_t startSample, int64_t stopSample);

} // namespace kc
