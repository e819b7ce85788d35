#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kc::fileencoder {

// How a frame-exact piece ends inside a group of pictures: which of the group's packets
// are copied as they are, and which pictures are encoded again because a copied packet
// cannot reach them without one that shows at or after the end.
struct ExactEnd {
    // A decode-order prefix of the group: it decodes on its own, and every picture in it
    // shows before the end and before each picture that is encoded again.
    size_t copied = 0;
    // Shown times of the pictures before the end that the copied prefix leaves out,
    // ascending: they follow the copied pictures as a new group of their own.
    std::vector<int64_t> reencoded;
    // The first picture shown at or after the end: the next piece starts on it.
    std::optional<int64_t> firstAfter;
};

// shown: presentation times of the group's packets in decode order, from its keyframe on,
// through the packets read past the end. endTs: pictures shown before it belong to the piece.
ExactEnd PlanExactEnd(const std::vector<int64_t> &shown, int64_t endTs);

// Whether the packets read so far settle the end: once a packet is decoded at or after the
// earliest picture seen at or after the end, no later packet can show before that picture.
// lastDecodedTs: the decode time of the last packet read (kNoTimestamp when unknown).
bool ExactEndSettled(const std::vector<int64_t> &shown, int64_t endTs, int64_t lastDecodedTs);

} // namespace kc::fileencoder
