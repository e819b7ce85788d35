#pragma once

#include <cstdint>
#include <vector>

struct AVFormatContext;

namespace kc::fileencoder {

// A chapter's span in whole microseconds, and its index in the input's chapter list.
struct ChapterSpan {
    int index = 0;
    int64_t startUs = 0;
    int64_t endUs = 0;
};

// The chapters of a piece that shows the input from zeroUs (its time 0) up to endUs: those
// that overlap it, their times counted from zeroUs and clipped to the piece; a chapter that
// began before the piece starts at its time 0, and one without a length runs to the
// next one's start. Chapters outside the piece are left out.
std::vector<ChapterSpan> ChaptersForPiece(const std::vector<ChapterSpan> &chapters, int64_t zeroUs, int64_t endUs);

// Gives the output (before its header is written) the input's chapters for such a piece,
// times in the input's own timeline; endUs past the input's end stops at its end. False
// when out of memory.
bool CopyPieceChapters(const AVFormatContext *ic, AVFormatContext *oc, int64_t zeroUs, int64_t endUs);

} // namespace kc::fileencoder
