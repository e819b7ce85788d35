#include "rangecheck.h"

namespace kc {

FastSplitRange CheckFastSplitRange(double start, double end, double totalTime)
{
    if (start >= end)
        return FastSplitRange::StartNotBeforeEnd;
    // One second of slack: the probed play time may fall a little short of the last frame.
    if (end > totalTime + 1.0)
        return FastSplitRange::EndPastTotal;
    return FastSplitRange::Ok;
}

QString FastSplitRangeMessage(FastSplitRange check)
{
    switch (check) {
    case FastSplitRange::StartNotBeforeEnd:
        return QStringLiteral("开始时间大于结束时间，请重新设置!");
    case FastSplitRange::EndPastTotal:
        return QStringLiteral("结束时间大于视频总时间，请重新设置!");
    case FastSplitRange::Ok:
        break;
    }
    return QString();
}

} // namespace kc
