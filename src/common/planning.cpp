#include "common/planning.h"

#include "common/timeparts.h"

#include <cmath>

namespace kc {

namespace {

const QString kStartAfterEnd = QStringLiteral("开始时间大于结束时间，请重新设置!");
const QString kEndPastSource = QStringLiteral("结束时间大于视频总时间，请重新设置!");
const QString kBadCustomPiece = QStringLiteral("开始和结束时间设置错误！");
const QString kBadSeconds = QStringLiteral("时间设置不正确，请重新设置！");
const QString kNoDuration = QStringLiteral("无法识别的视频文件!");

// A duration that can be planned on: NaN and infinities are as useless as 0.
bool HasDuration(double d)
{
    return std::isfinite(d) && d > 0;
}

// The by-time plan: `full` pieces of T seconds, plus one for the tail when it is long enough
// to be worth a file. A source shorter than T is one piece over the whole source.
struct TimePlan {
    long double every = 0;
    qint64 full = 0;
    bool tail = false;
};

bool MakeTimePlan(const SplitInputs &in, TimePlan *plan)
{
    qint64 seconds = 0;
    if (!ParseSplitSeconds(in.everyText, &seconds) || seconds <= 0 || !HasDuration(in.duration))
        return false;
    const long double d = in.duration;
    plan->every = static_cast<long double>(seconds);
    plan->full = static_cast<qint64>(d / plan->every); // truncates toward zero
    const long double rest = d - static_cast<long double>(plan->full) * plan->every;
    plan->tail = plan->full == 0 || rest >= kShortestTailSeconds;
    return true;
}

PieceRangeResult Refused(const QString &text)
{
    PieceRangeResult r;
    r.refusal = text;
    return r;
}

PieceRangeResult Accepted(long double start, long double stop)
{
    PieceRangeResult r;
    r.ok = true;
    r.start = static_cast<double>(start);
    r.stop = static_cast<double>(stop);
    return r;
}

} // namespace

bool ParseSplitSeconds(const QString &text, qint64 *seconds)
{
    return ParseWholeNumber(text.trimmed(), seconds);
}

QString CheckCustomRange(double startTime, double endTime, double duration)
{
    if (!(startTime < endTime))
        return kStartAfterEnd;
    // An end up to one second past the source passes: durations are often a little short.
    if (duration + 1.0 >= endTime)
        return QString();
    return kEndPastSource;
}

QString CheckSplitJob(TSplitMode mode, const SplitInputs &in)
{
    switch (mode) {
    case smCustom:
        return CheckCustomRange(in.startTime, in.endTime, in.duration);
    case smAverage:
        if (!HasDuration(in.duration))
            return kNoDuration;
        if (in.parts < 1)
            return kBadSeconds;
        return QString();
    case smTime: {
        qint64 seconds = 0;
        if (!ParseSplitSeconds(in.everyText, &seconds) || seconds <= 0)
            return kBadSeconds;
        if (!HasDuration(in.duration))
            return kNoDuration;
        return QString();
    }
    }
    return kBadSeconds;
}

PieceRangeResult PieceRange(TSplitMode mode, int k, const SplitInputs &in)
{
    switch (mode) {
    case smCustom:
        if (!(in.startTime < in.endTime))
            return Refused(kBadCustomPiece);
        return Accepted(in.startTime, in.endTime);
    case smAverage: {
        const QString refusal = CheckSplitJob(mode, in);
        if (!refusal.isEmpty())
            return Refused(refusal);
        const double length = in.duration / static_cast<double>(in.parts);
        const long double start = static_cast<long double>(k - 1) * length;
        return Accepted(start, start + length);
    }
    case smTime: {
        const QString refusal = CheckSplitJob(mode, in);
        if (!refusal.isEmpty())
            return Refused(refusal);
        TimePlan plan;
        MakeTimePlan(in, &plan);
        if (k > plan.full && plan.every >= in.duration)
            return Accepted(0, in.duration);
        const long double start = static_cast<long double>(k - 1) * plan.every;
        return Accepted(start, start + plan.every);
    }
    }
    return Refused(kBadSeconds);
}

qint64 PieceCount(TSplitMode mode, const SplitInputs &in)
{
    if (!CheckSplitJob(mode, in).isEmpty())
        return 0;
    switch (mode) {
    case smCustom:
        return 1;
    case smAverage:
        return in.parts;
    case smTime: {
        TimePlan plan;
        MakeTimePlan(in, &plan);
        return plan.full + (plan.tail ? 1 : 0);
    }
    }
    return 0;
}

bool IsTailWithoutPicture(TSplitMode mode, int k, const SplitInputs &in, bool rangeAfterLastPicture)
{
    return rangeAfterLastPicture && mode != smCustom && k >= 1 && !HasNextPiece(mode, k + 1, in);
}

bool HasNextPiece(TSplitMode mode, int k, const SplitInputs &in)
{
    if (mode == smCustom)
        return false;
    return k >= 1 && k <= PieceCount(mode, in);
}

} // namespace kc
