#include "media/player/player_events.h"

namespace zorvex {

void TPlayerEventQueue::Post(const TPlayerEvent& event) {
    {
        std::lock_guard lock(mutex_);
        if (count_ > 0) {
            TPlayerEvent& newest = ring_[(first_ + count_ - 1) % Capacity];
            if (newest.Kind == event.Kind) {
                newest = event;
                notEmpty_.notify_all();
                return;
            }
        }
        if (count_ == Capacity) {  // full: the oldest entry gives way
            first_ = (first_ + 1) % Capacity;
            --count_;
        }
        ring_[(first_ + count_) % Capacity] = event;
        ++count_;
    }
    notEmpty_.notify_all();
}

bool TPlayerEventQueue::Take(TPlayerEvent& event) {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return false;
    event = ring_[first_];
    first_ = (first_ + 1) % Capacity;
    --count_;
    return true;
}

bool TPlayerEventQueue::WaitNotEmpty(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return notEmpty_.wait_for(lock, timeout, [&] { return count_ > 0; });
}

void TPlayerEventQueue::Clear() {
    std::lock_guard lock(mutex_);
    first_ = 0;
    count_ = 0;
}

int TPlayerEventQueue::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

}  // namespace zorvex
