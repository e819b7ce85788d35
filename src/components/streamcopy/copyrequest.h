#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kc::fileencoder {

// One range to copy. Times are whole microseconds so that a text such as "00:00:09.699"
// stays exact all the way to the timestamp arithmetic.
struct CopyRequest {
    std::string input;
    std::string output;
    int64_t startUs = 0;
    std::optional<int64_t> lengthUs; // none: up to the end of the input
    bool exact = false;              // start on the asked picture, re-encoding up to the next keyframe
};

} // namespace kc::fileencoder
