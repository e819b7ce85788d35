#pragma once

#include <cstddef>
#include <cstdint>

namespace kc::fileencoder {

// Offset of the next 00 00 01 prefix at or after `from` that a code byte follows (MPEG-1/2
// start codes, H.264 NAL units in Annex B form), or size when there is none. Called on every
// packet of some streams: a byte above 1 rules out a prefix ending on it or the two before.
inline size_t NextStartCode(const uint8_t *data, size_t size, size_t from)
{
    for (size_t i = from; i + 3 < size; ++i) {
        if (data[i + 2] > 1)
            i += 2;
        else if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    }
    return size;
}

} // namespace kc::fileencoder
