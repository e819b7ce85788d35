#pragma once

#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace kc {

// The formula that turns a picture's Y, Cb and Cr into colours. Players take it from the
// stream where the stream says, and otherwise guess it from the picture's size: BT.601 for
// standard definition, BT.709 for HD. A picture scaled from HD to a disc's size without
// converting it shows every colour shifted (greens too bright, reds and magentas too dark),
// and the same the other way round.
enum class YuvMatrix { Bt601, Bt709, Bt2020, Smpte240m, Fcc };

// What players take for an untagged picture of this size (from 1280 wide or above 576 lines:
// HD).
YuvMatrix GuessedMatrix(int width, int height);
// A source picture's formula: its own tag, else the guess.
YuvMatrix SourceMatrix(AVColorSpace tagged, int width, int height);
// The name the scale filter's in_color_matrix and out_color_matrix take.
const char *ScaleMatrixName(YuvMatrix matrix);
// The tag an output of that many lines gets for the formula (BT.601 is told as PAL's or
// NTSC's).
AVColorSpace MatrixTag(YuvMatrix matrix, int height);

// Whether pictures on this transfer curve are high dynamic range (PQ, as HDR10 and Dolby
// Vision write it, or HLG, as phones record by default): shown as they are on the outputs'
// standard range they look dim and grey.
bool IsHighDynamicRange(AVColorTransferCharacteristic transfer);
// The filters that bring such pictures to standard range in the formula given: light up to
// the reference white of BT.2100 (203 cd/m²) kept as it is, brighter highlights rolled off,
// BT.2020's colours brought into BT.709's.
std::string ToStandardRange(YuvMatrix matrix);

} // namespace kc
