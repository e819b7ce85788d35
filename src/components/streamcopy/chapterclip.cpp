#include "chapterclip.h"

#include <algorithm>

namespace kc::fileencoder {

std::vector<ChapterSpan> ChaptersForPiece(const std::vector<ChapterSpan> &chapters, int64_t zeroUs, int64_t endUs)
{
    std::vector<ChapterSpan> kept;
    for (const ChapterSpan &c : chapters) {
        // A chapter without a length (some writers give its start only) runs to the next.
        int64_t chapterEnd = c.endUs;
        if (chapterEnd <= c.startUs) {
            chapterEnd = endUs;
            for (const ChapterSpan &other : chapters) {
                if (other.startUs > c.startUs)
                    chapterEnd = std::min(chapterEnd, other.startUs);
            }
        }
        const int64_t from = std::max(c.startUs, zeroUs);
        const int64_t to = std::min(chapterEnd, endUs);
        if (to <= from)
            continue;
        kept.push_back({c.index, from - zeroUs, to - zeroUs});
    }
    return kept;
}

} // namespace kc::fileencoder
