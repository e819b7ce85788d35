#pragma once

#include <cstddef>
#include <cstdint>

namespace kc {

// The group-of-pictures headers of an MPEG-1/2 picture, as an encoder that goes on from one
// piece's file into the next writes them, made what they are in a file of its own: time codes
// counted from the file's first GOP (*base: that GOP's time code in frames; negative until it
// is met, then set) and that first GOP marked closed (the piece ends before it, so nothing
// after it refers to a picture before it). fps is the rate the time codes count in (the
// frame rate rounded). Drop-frame time codes are left as they are.
void RebaseGopTimeCodes(uint8_t *data, size_t size, int fps, int64_t *base);

} // namespace kc
