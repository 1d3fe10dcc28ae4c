#include "app/platform/qt_dispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>

namespace zorvex::app {

bool QtMainThreadDispatcher::IsMainThread() const {
    auto* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void QtMainThreadDispatcher::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void QtMainThreadDispatcher::Invoke(std::function<void()> fn) {
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            try {
                fn();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);  // on the calling thread
}

void QtMainThreadDispatcher::ProcessPending() {
    // A wait serves workers, not the user: a key press taken here would run
    // inside whatever handler is waiting (a queue selection, say) and leave it
    // half done. Input waits for the event loop.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace zorvex::app
