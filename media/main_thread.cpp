#include "media/main_thread.h"

#include <atomic>
#include <exception>
#include <memory>

namespace zorvex {
namespace {
std::atomic<MainThreadDispatcher*> g_dispatcher{nullptr};

// One call into the main thread and the caller waiting for it.
struct PendingCall {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::exception_ptr failure;
};
}  // namespace

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
    d->Invoke(fn, {});
}

bool RunInMainThreadUnless(std::function<void()> fn, const std::function<bool()>& abandon) {
    MainThreadDispatcher* d = g_dispatcher;
    if (d == nullptr || d->IsMainThread()) {
        fn();
        return true;
    }
    return d->Invoke(std::move(fn), abandon);
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
        if (serve && queued != nullptr) {
            queued->WaitAndProcess(std::chrono::milliseconds(2));
        } else {
            if (serve) d->ProcessPending();
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
    Queued();
}

bool QueuedMainThreadDispatcher::Invoke(std::function<void()> fn,
                                        const std::function<bool()>& abandon) {
    auto call = std::make_shared<PendingCall>();
    // The queued call owns fn and the shared state: the caller may stop
    // waiting, and even be gone, before it runs or while it runs.
    Post([call, fn = std::move(fn)] {
        std::exception_ptr failure;
        try {
            fn();
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard lock(call->mutex);
            call->failure = failure;
            call->done = true;
        }
        call->changed.notify_all();
    });
    std::unique_lock lock(call->mutex);
    while (!call->done) {
        if (!abandon) {
            call->changed.wait(lock);
        } else if (abandon()) {
            return false;
        } else {
            call->changed.wait_for(lock, std::chrono::milliseconds(5));
        }
    }
    if (call->failure) std::rethrow_exception(call->failure);  // on the calling thread
    return true;
}

void QueuedMainThreadDispatcher::ProcessPending() {
    size_t count;
    {
        std::lock_guard lock(mutex_);
        count = calls_.size();
    }
    // One call at a time from the front: a wait inside a call drains the rest
    // of the queue in order, and what it leaves is still here afterwards.
    for (; count > 0; --count) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty()) return;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
}

void QueuedMainThreadDispatcher::WaitAndProcess(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        queued_.wait_for(lock, timeout, [&] { return !calls_.empty(); });
    }
    ProcessPending();
}

}  // namespace zorvex
