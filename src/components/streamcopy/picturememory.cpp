#include "picturememory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kc {

void KeepPictureMemoryForReuse()
{
#if defined(__GLIBC__)
    // Large enough for a 4K picture of 16-bit samples; what is kept after a split stays
    // below the trim bound.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

} // namespace kc
