// Work the main window hands to other threads: opening the files being added
// (each open reads and analyses the file, far too slow for the window's own
// thread when a few hundred files are dropped at once).
#pragma once

#include <QObject>
#include <functional>

namespace zorvex::app {

class BackgroundWork {
public:
    virtual ~BackgroundWork() = default;
    // Runs work on a worker thread, then done on the main thread from the
    // event loop, unless receiver has been destroyed by then. Works may run
    // side by side and finish in any order.
    virtual void Run(std::function<void()> work, QObject* receiver, std::function<void()> done) = 0;
};

}  // namespace zorvex::app
