#include "media/main_thread.h"

#include <atomic>
#include <future>

namespace zorvex {
namespace {
std::atomic<MainThreadDispatcher*> g_dispatcher{nullptr};
}

void SetMainThreadDispatcher(MainThreadDispatcher* dispatcher) {
    g_dispatcher = dispatcher;
}

MainThreadDispatcher* GetMainThreadDispatcher() {
    return g_dispatcher;
}

bool IsMainThread() {
    MainThreadDispatcher* d = g_dispatcher;
    return d == nullptr || d->IsMainThread();
}

void RunInMainThread(const std::function<void()>& fn) {
    MainThreadDispatcher* d = g_dispatcher;
    if (d == nullptr || d->IsMainThread()) {
        fn();
        return;
    }
    d->Invoke(fn);
}

void PostToMainThread(std::function<void()> fn) {
    MainThreadDispatcher* d = g_dispatcher;
    if (d == nullptr) {
        fn();
        return;
    }
    d->Post(std::move(fn));
}

bool WaitServingMainThread(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const bool unlimited = timeout == std::chrono::milliseconds::max();
    const auto deadline = unlimited ? Clock::time_point::max() : Clock::now() + timeout;
    MainThreadDispatcher* d = g_dispatcher;
    const bool serve = d != nullptr && d->IsMainThread();
    auto* queued = dynamic_cast<QueuedMainThreadDispatcher*>(d);
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        if (serve) {
            if (queued != nullptr) {
                queued->WaitAndProcess(std::chrono::milliseconds(2));
            } else {
                d->ProcessPending();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

QueuedMainThreadDispatcher::QueuedMainThreadDispatcher() : main_(std::this_thread::get_id()) {}

bool QueuedMainThreadDispatcher::IsMainThread() const {
    return std::this_thread::get_id() == main_;
}

void QueuedMainThreadDispatcher::Post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(fn));
    }
    queued_.notify_all();
}

void QueuedMainThreadDispatcher::Invoke(std::function<void()> fn) {
    std::promise<void> ran;
    auto finished = ran.get_future();
    Post([&] {
        try {
            fn();
            ran.set_value();
        } catch (...) {
            ran.set_exception(std::current_exception());
        }
    });
    finished.get();  // rethrows what the call threw, on the calling thread
}

void QueuedMainThreadDispatcher::ProcessPending() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(calls_);
    }
    for (auto& call : batch) call();
}

void QueuedMainThreadDispatcher::WaitAndProcess(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        queued_.wait_for(lock, timeout, [&] { return !calls_.empty(); });
    }
    ProcessPending();
}

}  // namespace zorvex
