#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct AVFrame;

namespace kc::fileencoder {

// How the picture being replaced was to be shown; copied so that the new picture keeps its
// place and field timing.
struct PictureTiming {
    int temporalReference = 0;
    bool topFieldFirst = false;
    bool repeatFirstField = false;
    bool progressiveFrame = true;
    bool chroma420Type = true;
};

// Reads the timing of the first picture in an MPEG-2 video packet; false when it has none.
bool ReadPictureTiming(const uint8_t *data, size_t size, PictureTiming *timing);

// Decodes a coded picture where it will stand (after the pictures it refers to) and returns
// what comes out for it, or nullptr; the caller of EncodeExactPicture frees it.
using PictureDecoder = std::function<AVFrame *(const std::vector<uint8_t> &picture)>;

// How close a new picture came: macroblocks in all, and those whose samples differ (by a
// step here and there) from the wanted ones.
struct ExactnessStats {
    int macroblocks = 0;
    int inexact = 0;
};

// Writes an MPEG-2 picture that a decoder turns back into the given samples: an intra
// picture, or with a reference, a forward-predicted one. The quantiser is chosen so that
// every DCT coefficient is carried unrounded, so a block is exact when its inverse transform
// rounds to the wanted samples. Not every block has such coefficients (the integer
// coefficients lie about as densely as the integer samples), so each macroblock tries the
// prediction from the same place of the reference, then from where the picture's own motion
// vector points (when the picture carries the vectors it was decoded with, exported by the
// decoder, and they point into this reference), then intra coding, until all its blocks
// come out exact, the decoder having the last word; one that never does keeps its closest
// coding (samples off by one here and there).
//
//   sequenceHeader: the sequence header (with its extension) in force; MPEG-2 4:2:0 or
//     4:2:2 with 8-bit samples only.
//   picture: the samples to reproduce (yuv420p / yuv422p, the sequence's size), with its
//     motion vectors as side data when they refer to `reference`.
//   reference: the picture a predicted picture refers to (the last I or P picture before
//     it in decode order), or nullptr for an intra picture.
// Returns the coded picture (picture header, extensions, slices), or empty with a reason.
std::vector<uint8_t> EncodeExactPicture(const std::vector<uint8_t> &sequenceHeader, const AVFrame *picture,
                                        const AVFrame *reference, const PictureTiming &timing,
                                        const PictureDecoder &decode, ExactnessStats *stats, std::string *why);

} // namespace kc::fileencoder
