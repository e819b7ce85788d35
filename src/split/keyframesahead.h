#pragma once

#include "components/streamcopy/keyframescan.h"

#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kc {

// Lists a source's keyframes on a thread of its own, so that the pass over the file that
// finds them runs beside the copying of the first pieces instead of before it. The copy
// asks only as far as the piece at hand needs.
class KeyframesAhead {
public:
    // stop: the job's stop flag, watched while waiting.
    KeyframesAhead(const std::string &input, const volatile std::sig_atomic_t *stop);
    // Abandons the pass if it still runs.
    ~KeyframesAhead();
    KeyframesAhead(const KeyframesAhead &) = delete;
    KeyframesAhead &operator=(const KeyframesAhead &) = delete;

    // What the input's header tells (rate, length, whether there is video); false when the
    // pass failed or was stopped first.
    bool WaitDescribed(fileencoder::KeyframeScan *described);
    // The keyframes, ascending: every one at or before us and the first one after it (when
    // there is one). Null when the pass failed or was stopped first. The list stays valid
    // until the next call.
    const std::vector<int64_t> *UpTo(int64_t us);
    // Once the pass is over: all keyframes, ascending. Null while it runs or when it failed.
    const std::vector<int64_t> *AllIfFinished();
    // Why the pass failed ("stopped" when stopped).
    std::string Error();

private:
    template <typename Ready>
    bool Wait(std::unique_lock<std::mutex> &lock, Ready ready);

    const volatile std::sig_atomic_t *stop_;
    volatile std::sig_atomic_t abandon_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool described_ = false;
    fileencoder::KeyframeScan header_;
    std::vector<int64_t> found_; // in the order read
    bool ordered_ = true;        // each keyframe read shows after the one before
    bool finished_ = false;
    fileencoder::KeyframeScan result_;

    std::vector<int64_t> snapshot_;
    std::thread thread_;
};

} // namespace kc
