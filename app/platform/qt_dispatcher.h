#pragma once

#include "media/main_thread.h"

namespace zorvex::app {

// The media set's main-thread dispatcher on Qt's event loop.
class QtMainThreadDispatcher : public MainThreadDispatcher {
public:
    bool IsMainThread() const override;
    void Post(std::function<void()> fn) override;
    void Invoke(std::function<void()> fn) override;
    void ProcessPending() override;
};

}  // namespace zorvex::app
