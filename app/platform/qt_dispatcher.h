#pragma once

#include <QObject>
#include <atomic>

#include "media/main_thread.h"

namespace zorvex::app {

// The media set's main-thread dispatcher on Qt's event loop: the calls keep
// their own queue, which the event loop drains when woken; a wait on the main
// thread drains only that queue, never the window's input.
class QtMainThreadDispatcher : public QueuedMainThreadDispatcher {
public:
    bool IsMainThread() const override;

protected:
    void Queued() override;

private:
    QObject wake_;  // lives on the main thread; a wake still queued dies with it
    std::atomic<bool> wakeQueued_{false};
};

}  // namespace zorvex::app
