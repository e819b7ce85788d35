#pragma once

#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVRational;

namespace kc::fileencoder {

// The timecode of the picture `frames` pictures after the one whose timecode is `start`
// ("hh:mm:ss:ff", or "hh:mm:ss;ff" for drop-frame counting), at the given frame rate; wraps
// at 24 hours. Empty when `start` or the rate is not one a timecode can have.
std::string TimecodeAfter(const std::string &start, AVRational rate, int64_t frames);

// A camera's timecode names the file's first picture; a piece that shows the input from
// zeroUs on (input time, microseconds) starts that much later. Moves the "timecode" tags that
// the output (before its header is written) took over from the input, on the container and
// on its streams, to the piece's first picture. Tags it cannot read stay as they are.
void ShiftPieceTimecodes(const AVFormatContext *ic, AVFormatContext *oc, int64_t zeroUs);

} // namespace kc::fileencoder
