// Background work on a pool of threads, one for each usable core.
#pragma once

#include <QObject>
#include <QThreadPool>

#include "app/core/workbench/background_work.h"

namespace zorvex::app {

class ThreadPoolWork : public BackgroundWork {
public:
    ThreadPoolWork();
    // Drops the works that have not started and waits for the others; no
    // done runs after this.
    ~ThreadPoolWork() override;

    void Run(std::function<void()> work, QObject* receiver, std::function<void()> done) override;

private:
    QThreadPool pool_;
    QObject relay_;  // lives on the main thread: done calls are queued to it
};

}  // namespace zorvex::app
