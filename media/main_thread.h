// The media set's only way into the application's main thread.
//
// Every call into the main thread goes through one queue, the dispatcher's. The
// application's dispatcher (Qt) wakes its event loop to drain the queue; tests
// and the command-line tool drain it from their main loop. A wait on the main
// thread for a worker drains only that queue: no user input and no other event
// runs inside it, and a worker blocked on the main thread is always served.
// Without a dispatcher every call runs on the calling thread.
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
    // Runs fn on the main thread and waits until it has run; never called on
    // the main thread itself. With abandon, the caller stops waiting once
    // abandon() is true (checked every few milliseconds); fn still runs, in
    // its turn, without the caller, so it must own what it uses. Returns
    // whether fn ran to its end while the caller waited; what fn threw is
    // rethrown on the calling thread.
    virtual bool Invoke(std::function<void()> fn, const std::function<bool()>& abandon) = 0;
    // On the main thread: runs the calls queued so far.
    virtual void ProcessPending() = 0;
};

void SetMainThreadDispatcher(MainThreadDispatcher* dispatcher);
MainThreadDispatcher* GetMainThreadDispatcher();

bool IsMainThread();
// Runs fn in the main thread and waits for it; directly when already there or
// when no dispatcher is installed.
void RunInMainThread(const std::function<void()>& fn);
// The same, but the wait ends early once abandon() is true: false then. fn
// still runs in its turn, so it must own everything it uses (the caller may
// be gone by then).
bool RunInMainThreadUnless(std::function<void()> fn, const std::function<bool()>& abandon);
// Queues fn for the main thread; directly when there is no dispatcher.
void PostToMainThread(std::function<void()> fn);

// Waits until done() is true. On the main thread the wait keeps serving the
// dispatcher's queued calls (and nothing else), so a worker blocked in
// RunInMainThread can always finish. Returns false when the timeout passed
// first.
bool WaitServingMainThread(const std::function<bool()>& done,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds::max());

// The dispatcher's queue: calls wait in it until the main thread drains it with
// ProcessPending (or a WaitServingMainThread). Queued() lets an event loop learn
// of a new call.
class QueuedMainThreadDispatcher : public MainThreadDispatcher {
public:
    QueuedMainThreadDispatcher();  // the constructing thread is the main thread
    bool IsMainThread() const override;
    void Post(std::function<void()> fn) override;
    bool Invoke(std::function<void()> fn, const std::function<bool()>& abandon) override;
    // Runs the calls queued when it began, oldest first; a call queued by one
    // of them (or by a wait inside one) waits for the next drain.
    void ProcessPending() override;
    // Blocks the main thread until a call is queued or the timeout passes, then
    // runs what is queued.
    void WaitAndProcess(std::chrono::milliseconds timeout);

protected:
    // Called on the posting thread after a call was queued, without a lock.
    virtual void Queued() {}

private:
    std::thread::id main_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> calls_;
};

}  // namespace zorvex
