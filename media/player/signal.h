// A manual-reset event: stays set until reset, and every waiter sees it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zorvex {

class TManualResetEvent {
public:
    explicit TManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}

    void Set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        changed_.notify_all();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }
    bool IsSet() const {
        std::lock_guard lock(mutex_);
        return set_;
    }
    // True when the event was set before the timeout passed.
    bool WaitFor(std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return set_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool set_;
};

}  // namespace zorvex
