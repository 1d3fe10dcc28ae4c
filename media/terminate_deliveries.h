// The threads that deliver OnTerminate in thread mode. Each delivery is a
// thread of its own; the batch end waits until the task deliveries before it
// have returned, so that it is always the last event of a batch. Finished
// threads are joined at the next delivery, by ClearTasks and at destruction.
// Internal to the converter component.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zorvex {

class TerminateDeliveries {
public:
    void Start(std::function<void()> call, bool batchEnd);
    // Joins the threads that have finished (never the calling thread).
    void Reap();
    // Waits for every delivery, serving the main thread when called on it.
    void WaitAll();

private:
    struct Entry {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void ReapLocked();

    std::mutex mutex_;
    std::condition_variable changed_;
    int pendingTasks_ = 0;
    std::vector<Entry> threads_;
};

}  // namespace zorvex
