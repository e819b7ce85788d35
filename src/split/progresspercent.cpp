#include "split/progresspercent.h"

#include <cmath>

namespace kc {

int ProgressPercent(double curPos, double duration)
{
    if (!(duration > 0) || !std::isfinite(curPos) || !std::isfinite(duration))
        return 0;
    const double percent = std::trunc(curPos * 100.0 / duration + 0.5);
    if (percent <= 0)
        return 0;
    return percent >= 100 ? 100 : int(percent);
}

} // namespace kc
