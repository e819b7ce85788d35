#pragma once

#include "copyrequest.h"
#include "streamcopy.h"

#include <csignal>
#include <string>

namespace kc::fileencoder {

struct ExactCutResult {
    enum class Outcome {
        Written,       // the piece starts on the asked picture
        OnKeyframe,    // the asked picture is a keyframe and the piece runs to the input's end:
                       // a plain copy is already exact
        CannotBeExact, // this codec or container has no exact cut; error says why, in one line
        Failed,        // error says why; nothing is left at the output path
    };
    Outcome outcome = Outcome::Failed;
    std::string error;
    bool pastTheEnd = false; // Failed because the asked time lies after the last picture
    double seconds = 0.0;
};

// A copy cut that starts on the asked picture: the pictures from there up to the next
// keyframe are decoded and encoded again with the source's codec and parameters, and
// everything from that keyframe on is copied untouched; sound starts with the first
// picture. H.264 in MP4/MOV/Matroska/MPEG-TS, MPEG-4 Part 2 in AVI, MPEG-2 in MPEG-PS/TS.
//
// With an end, the piece also ends exactly there: pictures shown from the end on are left
// out, and those before it that copied packets could only give together with such a picture
// are encoded again after the copied ones.
ExactCutResult RunExactCut(const CopyRequest &args, const CopyHooks &hooks);

// Why the input has no exact cut, in a few words (codec, container, open GOPs), or empty
// when it has one or cannot be read (the copy then says why). Reads the header and the first
// keyframes.
std::string WhyNoExactCut(const std::string &input, const volatile std::sig_atomic_t *stop);

} // namespace kc::fileencoder
