// The threads that deliver OnTerminate in thread mode. Each delivery is a
// thread of its own; the batch end waits until the task deliveries before it
// have returned, so that it is always the last event of a batch. Finished
// threads are joined at the next delivery, by ClearTasks and at destruction.
//
// The threads share the state below with the component: a handler may free the
// component, and with it this object, while its own delivery thread still has
// its bookkeeping to do. Internal to the converter component.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zorvex {

class TerminateDeliveries {
public:
    TerminateDeliveries();
    // Hands call to a thread of its own. Without a thread to be had, the call
    // is made here, at once (the caller holds the terminate lock, so a batch
    // end does not wait then).
    void Start(std::function<void()> call, bool batchEnd);
    // Joins the threads that have finished (never the calling thread).
    void Reap();
    // No call that has not begun is made any more; waits for those that have,
    // serving the main thread when called on it. A delivery that frees the
    // component is not waited for: it ends by itself.
    void CloseAndWait();

private:
    struct Entry {
        std::thread thread;
        bool done = false;
    };
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        int pendingTasks = 0;
        bool closed = false;
        std::vector<std::shared_ptr<Entry>> threads;
    };
    static void ReapLocked(State& state);

    std::shared_ptr<State> state_;
};

}  // namespace zorvex
