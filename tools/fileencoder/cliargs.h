#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kc::fileencoder {

// What one run is asked to do. Times are whole microseconds so that a text such as
// "00:00:09.699" stays exact all the way to the timestamp arithmetic.
struct EncoderArgs {
    std::string input;
    std::string output;
    int64_t startUs = 0;
    std::optional<int64_t> lengthUs; // none: up to the end of the input
    bool exact = false;              // start on the asked picture, re-encoding up to the next keyframe
};

struct ArgsResult {
    bool ok = false;
    EncoderArgs args;
    std::string error; // one line, set when !ok
};

// "hh:mm:ss.mmm", "mm:ss.mmm" or plain seconds ("12.5"). Minutes and seconds below a
// higher field must stay under 60; digits beyond the sixth decimal are dropped.
std::optional<int64_t> ParseTimeText(std::string_view text);

// FileEncoder IN [-ss T] [-endpos T] [-exact] [-ovc copy] [-oac copy] -o OUT
// The first argument is always the input, even when it starts with "-", because callers
// put it there and a file may well be called "-x.avi".
ArgsResult ParseEncoderArgs(const std::vector<std::string> &args);

// The usage line printed with a command-line error.
const char *UsageText();

} // namespace kc::fileencoder
