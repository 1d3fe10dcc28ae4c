#include "app/platform/qt_dispatcher.h"

#include <QCoreApplication>
#include <QThread>

namespace zorvex::app {

bool QtMainThreadDispatcher::IsMainThread() const {
    auto* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void QtMainThreadDispatcher::Queued() {
    // One wake in the event loop at a time: it drains whatever is queued then.
    if (wakeQueued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        &wake_,
        [this] {
            wakeQueued_ = false;
            ProcessPending();
        },
        Qt::QueuedConnection);
}

}  // namespace zorvex::app
