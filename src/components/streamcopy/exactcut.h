#pragma once

#include "copyrequest.h"
#include "streamcopy.h"

#include <string>

namespace kc::fileencoder {

struct ExactCutResult {
    enum class Outcome {
        Written,       // the piece starts on the asked picture
        OnKeyframe,    // the asked picture is a keyframe: a plain copy is already exact
        CannotBeExact, // this codec or container has no exact cut; error says why, in one line
        Failed,        // error says why; nothing is left at the output path
    };
    Outcome outcome = Outcome::Failed;
    std::string error;
    double seconds = 0.0;
};

// A copy cut that starts on the asked picture: the pictures from there up to the next
// keyframe are decoded and encoded again with the source's codec and parameters, and
// everything from that keyframe on is copied untouched; sound starts with the first
// picture. H.264 in MP4/MOV/Matroska/MPEG-TS, MPEG-4 Part 2 in AVI, MPEG-2 in MPEG-PS/TS.
ExactCutResult RunExactCut(const CopyRequest &args, const CopyHooks &hooks);

} // namespace kc::fileencoder
