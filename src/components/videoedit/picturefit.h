#pragma once

namespace kc {

// Where the source picture goes in the output frame.
struct PictureFit {
    int width = 0, height = 0;   // scaled picture, even
    int x = 0, y = 0;            // its place in the frame (black around it)
    int sarNum = 1, sarDen = 1;  // the output's sample (pixel) aspect ratio
};

// Fits a source picture (size and pixel aspect, 0/x meaning square) into an output frame of
// outW x outH shown at the display aspect outDarNum:outDarDen (0: square pixels). keepAspect
// scales the picture as large as fits while keeping its shape and pads the rest with black;
// otherwise the picture fills the frame.
PictureFit FitPicture(int srcW, int srcH, int srcSarNum, int srcSarDen, int outW, int outH,
                      int outDarNum, int outDarDen, bool keepAspect);

} // namespace kc
