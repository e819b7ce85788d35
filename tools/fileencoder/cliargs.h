#pragma once

#include "copyrequest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kc::fileencoder {

// What one run is asked to do: the engine's request, read from the command line.
using EncoderArgs = CopyRequest;

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
