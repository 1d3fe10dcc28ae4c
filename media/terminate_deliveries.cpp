#include "media/terminate_deliveries.h"

#include <system_error>
#include <utility>

#include "media/main_thread.h"
#include "media/thread_start.h"

namespace zorvex {

TerminateDeliveries::TerminateDeliveries() : state_(std::make_shared<State>()) {}

void TerminateDeliveries::Start(std::function<void()> call, bool batchEnd) {
    const std::shared_ptr<State> state = state_;
    auto entry = std::make_shared<Entry>();
    {
        std::lock_guard lock(state->mutex);
        if (state->closed) return;
        if (!batchEnd) ++state->pendingTasks;
    }
    // Everything the thread touches after the call is its own or shared.
    auto run = [state, entry, call, batchEnd] {
        bool deliver = true;
        {
            std::unique_lock lock(state->mutex);
            if (batchEnd) {
                state->changed.wait(lock,
                                    [&] { return state->pendingTasks == 0 || state->closed; });
            }
            deliver = !state->closed;
        }
        if (deliver) call();
        {
            std::lock_guard lock(state->mutex);
            if (!batchEnd) --state->pendingTasks;
            entry->done = true;
        }
        state->changed.notify_all();
    };
    try {
        entry->thread = StartThread(run);
    } catch (const std::system_error&) {
        // No thread to be had: delivered here rather than lost.
        {
            std::lock_guard lock(state->mutex);
            if (!batchEnd) --state->pendingTasks;
        }
        call();
        state->changed.notify_all();
        return;
    }
    std::lock_guard lock(state->mutex);
    ReapLocked(*state);
    state->threads.push_back(std::move(entry));
}

void TerminateDeliveries::Reap() {
    std::lock_guard lock(state_->mutex);
    ReapLocked(*state_);
}

void TerminateDeliveries::CloseAndWait() {
    const std::shared_ptr<State> state = state_;
    const auto self = std::this_thread::get_id();
    {
        std::lock_guard lock(state->mutex);
        state->closed = true;
    }
    state->changed.notify_all();
    WaitServingMainThread([&] {
        std::lock_guard lock(state->mutex);
        for (const auto& t : state->threads) {
            if (!t->done && t->thread.get_id() != self) return false;
        }
        return true;
    });
    std::vector<std::shared_ptr<Entry>> threads;
    {
        std::lock_guard lock(state->mutex);
        threads.swap(state->threads);
    }
    for (auto& t : threads) {
        if (t->thread.get_id() == self) {
            t->thread.detach();  // freeing the component from its own delivery
        } else {
            t->thread.join();
        }
    }
}

void TerminateDeliveries::ReapLocked(State& state) {
    const auto self = std::this_thread::get_id();
    for (auto it = state.threads.begin(); it != state.threads.end();) {
        if ((*it)->done && (*it)->thread.get_id() != self) {
            (*it)->thread.join();  // it only has its return left
            it = state.threads.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace zorvex
