#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace kc::fileencoder {

// "Pos:" + blanks + seconds with one decimal + "s" and a line break, never more than nine
// characters between "Pos:" and "s" (the reader ignores longer notes).
std::string FormatProgressNote(double seconds);

// Hands notes to a writer at most once per interval of wall-clock time, plus the final one.
class ProgressReporter {
public:
    using Clock = std::chrono::steady_clock;
    using Writer = std::function<void(const std::string &note)>;

    explicit ProgressReporter(Writer writer,
                              Clock::duration interval = std::chrono::milliseconds(150));

    // Writes a note when the previous one is at least one interval old (the first always).
    void Report(double seconds, Clock::time_point now = Clock::now());
    // Writes the closing note whatever the time.
    void Final(double seconds);

private:
    Writer writer_;
    Clock::duration interval_;
    Clock::time_point last_{};
    bool any_ = false;
};

} // namespace kc::fileencoder
