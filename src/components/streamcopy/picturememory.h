#pragma once

namespace kc {

// Decoders and encoders draw their pictures from pools made anew for every piece, a few
// megabytes a picture. glibc hands out blocks that large as fresh mappings and unmaps them
// when freed, so each piece paid again for zeroing and faulting in new pages (a fifth of a
// lossless split of 720p MPEG-4). Called once at start-up: such blocks then come from the
// heap and freed ones stay there for the next piece, up to a bound.
void KeepPictureMemoryForReuse();

} // namespace kc
