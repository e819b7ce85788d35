#include "chapterclip.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

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

bool CopyPieceChapters(const AVFormatContext *ic, AVFormatContext *oc, int64_t zeroUs, int64_t endUs)
{
    std::vector<ChapterSpan> spans;
    for (unsigned i = 0; i < ic->nb_chapters; ++i) {
        const AVChapter *c = ic->chapters[i];
        spans.push_back({static_cast<int>(i), av_rescale_q(c->start, c->time_base, AV_TIME_BASE_Q),
                         av_rescale_q(c->end, c->time_base, AV_TIME_BASE_Q)});
    }
    if (ic->duration > 0)
        endUs = std::min(endUs, (ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0) + ic->duration);
    for (const ChapterSpan &span : ChaptersForPiece(spans, zeroUs, endUs)) {
        void *grown = av_realloc_array(oc->chapters, oc->nb_chapters + 1, sizeof *oc->chapters);
        if (!grown)
            return false;
        oc->chapters = static_cast<AVChapter **>(grown);
        auto *c = static_cast<AVChapter *>(av_mallocz(sizeof(AVChapter)));
        if (!c)
            return false;
        oc->chapters[oc->nb_chapters++] = c;
        c->id = ic->chapters[span.index]->id;
        c->time_base = AV_TIME_BASE_Q;
        c->start = span.startUs;
        c->end = span.endUs;
        if (av_dict_copy(&c->metadata, ic->chapters[span.index]->metadata, 0) < 0)
            return false;
    }
    return true;
}

} // namespace kc::fileencoder
