#include "exactend.h"

#include "cutplanner.h" // kNoTimestamp

#include <algorithm>
#include <limits>

namespace kc::fileencoder {

ExactEnd PlanExactEnd(const std::vector<int64_t> &shown, int64_t endTs)
{
    ExactEnd end;
    size_t stopper = shown.size();
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] >= endTs) {
            stopper = std::min(stopper, i);
            if (!end.firstAfter || shown[i] < *end.firstAfter)
                end.firstAfter = shown[i];
        }
    }
    // The earliest picture before the end among the packets from i on.
    std::vector<int64_t> laterMin(shown.size() + 1, std::numeric_limits<int64_t>::max());
    for (size_t i = shown.size(); i-- > 0;)
        laterMin[i] = shown[i] < endTs ? std::min(laterMin[i + 1], shown[i]) : laterMin[i + 1];

    // The longest prefix (before the first packet past the end) whose pictures all show
    // before the ones it leaves out; the empty prefix always qualifies.
    int64_t prefixMax = std::numeric_limits<int64_t>::min();
    for (size_t length = 1; length <= stopper; ++length) {
        prefixMax = std::max(prefixMax, shown[length - 1]);
        if (prefixMax < laterMin[length])
            end.copied = length;
    }
    for (size_t i = end.copied; i < shown.size(); ++i) {
        if (shown[i] < endTs)
            end.reencoded.push_back(shown[i]);
    }
    std::sort(end.reencoded.begin(), end.reencoded.end());
    return end;
}

bool ExactEndSettled(const std::vector<int64_t> &shown, int64_t endTs, int64_t lastDecodedTs)
{
    if (lastDecodedTs == kNoTimestamp)
        return false;
    std::optional<int64_t> firstAfter;
    for (int64_t t : shown) {
        if (t >= endTs && (!firstAfter || t < *firstAfter))
            firstAfter = t;
    }
    return firstAfter && lastDecodedTs >= *firstAfter;
}

} // namespace kc::fileencoder
