#pragma once

#include "copyrequest.h"

#include <csignal>
#include <functional>
#include <string>

namespace kc::fileencoder {

class CopySource;

struct CopyHooks {
    // Seconds of output written so far; called after every packet written.
    std::function<void(double seconds)> progress;
    // Set (by a signal handler) to abandon the job; checked between packets and inside
    // blocking reads.
    const volatile std::sig_atomic_t *stop = nullptr;
    // One line for the user that does not end the job (why an exact cut starts at a keyframe).
    std::function<void(const std::string &line)> note;
};

struct CopyResult {
    bool ok = false;
    std::string error; // one line when !ok
    double seconds = 0.0; // length of the piece written
    // An exact cut asked after the input's last picture: nothing to write, and no fault of
    // the input (a split's planned piece past the pictures).
    bool pastTheEnd = false;
};

// Copies the video and audio packets of the asked range into a new file of the input's
// container. On failure nothing is left at the output path.
CopyResult RunStreamCopy(const CopyRequest &args, const CopyHooks &hooks);
// The same, reading an input already open (args.input is then only named in messages), from
// wherever its reader stands: the pieces of one split are copied one after another this way.
CopyResult RunStreamCopy(const CopyRequest &args, const CopyHooks &hooks, CopySource &source);

} // namespace kc::fileencoder
