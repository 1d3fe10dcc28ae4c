#include "app/platform/off_ui_thread.h"

#include <QEventLoop>
#include <QThread>
#include <memory>

namespace zorvex::app {

void RunOffUiThread(const std::function<void()>& work) {
    std::unique_ptr<QThread> worker(QThread::create(work));
    QEventLoop loop;
    // Queued to this thread, so it cannot arrive before exec() runs.
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    worker->start();
    loop.exec();
    worker->wait();
}

}  // namespace zorvex::app
