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
// Frame times are microseconds from the clip's start. Output slot n lasts 1/rate. The first
// frame kept takes slot 0 and the grid is anchored on it, so that wherever a piece's
// boundaries fall between frames, every frame of the source lands on a slot of its own.
//
// Two ways to fill the timeline:
// - keeping the source's timing (the output runs at the source's own rate): each frame is
//   written once, at its own place; a gap in the source stays a gap (the containers carry
//   times), so consecutive pieces hold exactly the source's frames.
// - converting the rate: a frame covers the slots from its own place up to the next frame's
//   place, repeated when the output is faster, dropped when two frames fall on one slot.
//
// The caller holds each frame back until the next one arrives (or the clip ends): only then
// is its run known.
class FrameSlotMapper
{
public:
    FrameSlotMapper(int rateNum, int rateDen, bool keepSourceTiming);

    // A new frame at time t: returns the run of the previously added frame (count 0 for
    // the very first call).
    SlotRun add(int64_t timeUs);
    // The clip ends at endUs (the cut's stop, or the end of the last frame): the run of the
    // last added frame (keeping the source's timing: exactly one slot; converting: up to
    // the end, and at least one slot if the clip had none yet).
    SlotRun finish(int64_t endUs);

    bool hasPending() const { return m_hasPending; }
    // One past the last slot used so far.
    int64_t endSlot() const { return m_endSlot; }

private:
    int64_t slotAt(int64_t timeUs) const;

    int64_t m_num, m_den;
    bool m_keepTiming;
    bool m_hasPending = false;
    int64_t m_anchorUs = 0;
    int64_t m_pendingSlot = 0;
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
