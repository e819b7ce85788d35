#include "cuttiming.h"

#include <algorithm>
#include <cmath>

namespace kc {

int64_t SecondsToMicros(double seconds)
{
    if (!std::isfinite(seconds))
        return seconds > 0 ? INT64_MAX / 4 : INT64_MIN / 4;
    // Far beyond any media length; keeps the arithmetic below from overflowing.
    const double limit = 1e12;
    return int64_t(std::llround(std::clamp(seconds, -limit, limit) * 1e6));
}

FrameSlotMapper::FrameSlotMapper(int rateNum, int rateDen, bool sameRate)
    : m_num(rateNum > 0 ? rateNum : 25), m_den(rateDen > 0 ? rateDen : 1), m_sameRate(sameRate)
{
}

void FrameSlotMapper::anchorAt(int64_t timeUs)
{
    m_anchored = true;
    m_anchorUs = timeUs;
}

int64_t FrameSlotMapper::slotAt(int64_t timeUs) const
{
    const int64_t dt = timeUs - m_anchorUs;
    if (dt <= 0)
        return 0;
    // round(dt * num / (den * 1e6)), halves up; dt stays far below 2^63 / num.
    const int64_t div = m_den * 1000000;
    return (dt * m_num + div / 2) / div;
}

int64_t FrameSlotMapper::slotStartUs(int64_t slot) const
{
    return slot * m_den * 1000000 / m_num;
}

SlotRun FrameSlotMapper::add(int64_t timeUs)
{
    if (!m_hasPending) {
        m_hasPending = true;
        if (!m_anchored)
            m_anchorUs = timeUs;
        m_anchored = true;
        m_pendingSlot = 0;
        m_pendingPlace = slotAt(timeUs);
        m_regular = m_pendingPlace == 0;
        return SlotRun{0, 0};
    }
    const int64_t place = slotAt(timeUs);
    if (place != m_pendingPlace + 1)
        m_regular = false;
    const int64_t next = std::max(place, m_pendingSlot);
    const SlotRun run{m_pendingSlot, next - m_pendingSlot};
    m_pendingSlot = next;
    m_pendingPlace = place;
    m_endSlot = std::max(m_endSlot, run.first + run.count);
    return run;
}

SlotRun FrameSlotMapper::finish(int64_t endUs)
{
    if (!m_hasPending)
        return SlotRun{m_endSlot, 0};
    m_hasPending = false;
    SlotRun run{m_pendingSlot, 1};
    if (!(m_sameRate && m_regular)) {
        // A clip shows at least one picture, however short it is.
        const int64_t minimum = m_endSlot == 0 ? m_pendingSlot + 1 : m_pendingSlot;
        run.count = std::max(slotAt(endUs), minimum) - m_pendingSlot;
    }
    m_endSlot = std::max(m_endSlot, run.first + run.count);
    return run;
}

SampleWindow WindowOf(int64_t framePos, int64_t frameSamples, int64_t startSample, int64_t stopSample)
{
    SampleWindow w;
    const int64_t from = std::max(framePos, startSample);
    const int64_t to = std::min(framePos + frameSamples, stopSample);
    if (to <= from)
        return w;
    w.skip = from - framePos;
    w.take = to - from;
    return w;
}

} // namespace kc
