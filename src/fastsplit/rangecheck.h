#pragma once

#include <QString>

namespace kc {

enum class FastSplitRange {
    Ok,
    StartNotBeforeEnd, // start at or after end (also what an unreadable field leads to)
    EndPastTotal,      // end more than one second past the probed total time
};

// The checks a range passes before a cut starts, in this order.
FastSplitRange CheckFastSplitRange(double start, double end, double totalTime);

// The refusal the user sees; empty for Ok.
QString FastSplitRangeMessage(FastSplitRange check);

} // namespace kc
