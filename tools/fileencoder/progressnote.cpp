#include "progressnote.h"

#include <cstdio>
#include <utility>

namespace kc::fileencoder {

std::string FormatProgressNote(double seconds)
{
    // Clamp so that the number never needs more than nine characters; NaN reads as 0.
    if (!(seconds > 0.0))
        seconds = 0.0;
    if (seconds > 9999999.9)
        seconds = 9999999.9;
    char number[32];
    std::snprintf(number, sizeof number, "%.1f", seconds);
    std::string text = number;
    // One blank and right-aligned in six, as long as that fits into the nine.
    const size_t width = text.size() < 6 ? 6 : text.size();
    std::string padded(width - text.size(), ' ');
    padded += text;
    if (padded.size() < 9)
        padded.insert(0, 1, ' ');
    return "Pos:" + padded + "s\n";
}

ProgressReporter::ProgressReporter(Writer writer, Clock::duration interval)
    : writer_(std::move(writer)), interval_(interval)
{
}

void ProgressReporter::Report(double seconds, Clock::time_point now)
{
    if (any_ && now - last_ < interval_)
        return;
    any_ = true;
    last_ = now;
    writer_(FormatProgressNote(seconds));
}

void ProgressReporter::Final(double seconds)
{
    any_ = true;
    last_ = Clock::now();
    writer_(FormatProgressNote(seconds));
}

} // namespace kc::fileencoder
