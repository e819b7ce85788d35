#include "keyframesahead.h"

#include <chrono>

namespace kc {

KeyframesAhead::KeyframesAhead(const std::string &input, const volatile std::sig_atomic_t *stop) : stop_(stop)
{
    thread_ = std::thread([this, input] {
        fileencoder::KeyframeScanObserver observer;
        observer.described = [this](const fileencoder::KeyframeScan &described) {
            const std::lock_guard<std::mutex> lock(mutex_);
            header_ = described;
            described_ = true;
            changed_.notify_all();
        };
        observer.found = [this](int64_t us) {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!found_.empty() && us <= found_.back())
                ordered_ = false;
            found_.push_back(us);
            changed_.notify_all();
        };
        fileencoder::KeyframeScan result = fileencoder::ScanKeyframes(input, &abandon_, observer);
        const std::lock_guard<std::mutex> lock(mutex_);
        result_ = std::move(result);
        finished_ = true;
        changed_.notify_all();
    });
}

KeyframesAhead::~KeyframesAhead()
{
    abandon_ = 1;
    thread_.join();
}

template <typename Ready>
bool KeyframesAhead::Wait(std::unique_lock<std::mutex> &lock, Ready ready)
{
    // The stop flag is set by a signal handler or another thread without notifying: look at
    // it now and then while waiting.
    for (;;) {
        if (stop_ && *stop_) {
            abandon_ = 1;
            return false;
        }
        if (ready())
            return true;
        changed_.wait_for(lock, std::chrono::milliseconds(20));
    }
}

bool KeyframesAhead::WaitDescribed(fileencoder::KeyframeScan *described)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!Wait(lock, [this] { return described_ || finished_; }) || !described_)
        return false;
    *described = header_;
    return true;
}

const std::vector<int64_t> *KeyframesAhead::UpTo(int64_t us)
{
    std::unique_lock<std::mutex> lock(mutex_);
    // Keyframes read in showing order are complete up to the last one read; out of order
    // (damaged timestamps) only the whole list, sorted, tells.
    if (!Wait(lock, [&] { return finished_ || (ordered_ && !found_.empty() && found_.back() > us); }))
        return nullptr;
    if (finished_) {
        if (!result_.ok)
            return nullptr;
        snapshot_ = result_.keyframesUs;
    } else {
        snapshot_ = found_;
    }
    return &snapshot_;
}

const std::vector<int64_t> *KeyframesAhead::AllIfFinished()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!finished_ || !result_.ok)
        return nullptr;
    snapshot_ = result_.keyframesUs;
    return &snapshot_;
}

std::string KeyframesAhead::Error()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stop_ && *stop_)
        return "stopped";
    return finished_ && !result_.ok ? result_.error : std::string("stopped");
}

} // namespace kc
