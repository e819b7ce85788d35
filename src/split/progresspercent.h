#pragma once

namespace kc {

// The progress bar's percentage of a running piece: curPos of duration, halves going up,
// held within 0 to 100 (0 for a duration that is not above 0).
int ProgressPercent(double curPos, double duration);

} // namespace kc
