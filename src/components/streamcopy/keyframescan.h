#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct AVFormatContext;

namespace kc::fileencoder {

struct KeyframeScan {
    bool ok = false;
    std::string error;             // one line when !ok
    bool hasVideo = false;         // false: an audio-only input, every packet starts cleanly
    std::vector<int64_t> keyframesUs; // shown times of the video's keyframes, ascending,
                                      // counted from the input's start
    int64_t frameUs = 0;           // one picture's time at the video's rate (0 unknown)
    int64_t durationUs = 0;        // the input's length as the container tells it (0 unknown)
};

// Reads the input's packet index once, front to back, skipping everything but the video
// stream's packets, and lists where its keyframes show. Stops early (ok false, "stopped")
// when *stop becomes non-zero.
KeyframeScan ScanKeyframes(const std::string &input, const volatile std::sig_atomic_t *stop);

// Told of a scan's progress, on the scanning thread: what the header tells (before any packet
// is read), then each keyframe in the order read.
struct KeyframeScanObserver {
    std::function<void(const KeyframeScan &described)> described;
    std::function<void(int64_t keyframeUs)> found;
};
KeyframeScan ScanKeyframes(const std::string &input, const volatile std::sig_atomic_t *stop,
                           const KeyframeScanObserver &observer);

// The same list read from the index an opened input's container carries, without reading
// its packets; false when the container's index cannot be relied on for it (a scan is then
// needed). Only AVI without B-pictures qualifies: its index lists every picture with the only
// time it has, which is then also when the picture shows.
bool KeyframesFromIndex(const AVFormatContext *ic, KeyframeScan *scan);

} // namespace kc::fileencoder
