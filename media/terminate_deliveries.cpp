#include "media/terminate_deliveries.h"

#include <system_error>
#include <utility>

#include "media/main_thread.h"

namespace zorvex {

void TerminateDeliveries::Start(std::function<void()> call, bool batchEnd) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    if (!batchEnd) {
        std::lock_guard lock(mutex_);
        ++pendingTasks_;
    }
    std::thread thread;
    auto run = [this, call, done, batchEnd] {
        if (batchEnd) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return pendingTasks_ == 0; });
        }
        call();
        {
            std::lock_guard lock(mutex_);
            if (!batchEnd) --pendingTasks_;
            done->store(true);
        }
        changed_.notify_all();
    };
    try {
        thread = std::thread(run);
    } catch (const std::system_error&) {
        // No thread to be had: delivered here rather than lost (without
        // waiting, since the caller holds the terminate lock).
        call();
        {
            std::lock_guard lock(mutex_);
            if (!batchEnd) --pendingTasks_;
        }
        changed_.notify_all();
        return;
    }
    std::lock_guard lock(mutex_);
    ReapLocked();
    threads_.push_back({std::move(thread), std::move(done)});
}

void TerminateDeliveries::Reap() {
    std::lock_guard lock(mutex_);
    ReapLocked();
}

void TerminateDeliveries::WaitAll() {
    const auto self = std::this_thread::get_id();
    WaitServingMainThread([&] {
        std::lock_guard lock(mutex_);
        for (const auto& t : threads_) {
            if (!*t.done && t.thread.get_id() != self) return false;
        }
        return true;
    });
    std::vector<Entry> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(threads_);
    }
    for (auto& t : threads) {
        if (t.thread.get_id() == self) {
            t.thread.detach();  // freed by its own delivery: it ends by itself
        } else {
            t.thread.join();
        }
    }
}

void TerminateDeliveries::ReapLocked() {
    const auto self = std::this_thread::get_id();
    for (auto it = threads_.begin(); it != threads_.end();) {
        if (*it->done && it->thread.get_id() != self) {
            it->thread.join();  // it only has its return left
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace zorvex
