// The media set's only way into the application's main thread.
//
// The application installs a dispatcher built on its event loop (Qt); tests and
// the command-line tool install a QueuedMainThreadDispatcher and drain it from
// their main loop. Without a dispatcher every call runs on the calling thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace zorvex {

class MainThreadDispatcher {
public:
    virtual ~MainThreadDispatcher() = default;
    virtual bool IsMainThread() const = 0;
    // Queues fn for the main thread and returns at once.
    virtual void Post(std::function<void()> fn) = 0;
    // Runs fn on the main thread and returns when it has run. Never called on the
    // main thread itself (RunInMainThread calls directly there).
    virtual void Invoke(std::function<void()> fn) = 0;
    // On the main thread: runs the calls queued so far and, where the dispatcher
    // has an event loop, its pending events. Used by waits that must keep serving
    // workers blocked in Invoke.
    virtual void ProcessPending() = 0;
};

void SetMainThreadDispatcher(MainThreadDispatcher* dispatcher);
MainThreadDispatcher* GetMainThreadDispatcher();

bool IsMainThread();
// Runs fn in the main thread and waits for it; directly when already there or
// when no dispatcher is installed.
void RunInMainThread(const std::function<void()>& fn);
// Queues fn for the main thread; directly when there is no dispatcher.
void PostToMainThread(std::function<void()> fn);

// Waits until done() is true. On the main thread the wait keeps serving queued
// calls, so a worker blocked in RunInMainThread can always finish. Returns false
// when the timeout passed first.
bool WaitServingMainThread(const std::function<bool()>& done,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds::max());

// A dispatcher without an event loop of its own: calls wait in a queue until the
// main thread drains it with ProcessPending (or WaitServingMainThread).
class QueuedMainThreadDispatcher : public MainThreadDispatcher {
public:
    QueuedMainThreadDispatcher();  // the constructing thread is the main thread
    bool IsMainThread() const override;
    void Post(std::function<void()> fn) override;
    void Invoke(std::function<void()> fn) override;
    void ProcessPending() override;
    // Blocks the main thread until a call is queued or the timeout passes, then
    // runs what is queued.
    void WaitAndProcess(std::chrono::milliseconds timeout);

private:
    std::thread::id main_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> calls_;
};

}  // namespace zorvex
