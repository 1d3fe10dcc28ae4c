#include "app/platform/thread_pool_work.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QPointer>
#include <algorithm>

#include "media/cpu_cores.h"

namespace zorvex::app {

namespace {
constexpr int kWorkNice = 10;
}  // namespace

ThreadPoolWork::ThreadPoolWork() {
    pool_.setMaxThreadCount(std::max(2, UsableCores()));
}

ThreadPoolWork::~ThreadPoolWork() {
    pool_.clear();
    pool_.waitForDone();
}

void ThreadPoolWork::Run(std::function<void()> work, QObject* receiver,
                         std::function<void()> done) {
    QPointer<QObject> target(receiver);
    pool_.start([this, work = std::move(work), target, done = std::move(done)]() mutable {
        // Below the window's thread: reading and analysing files must not
        // take the core the window needs to answer the user.
        thread_local const bool lowered = [] {
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWorkNice);
            return true;
        }();
        (void)lowered;
        work();
        // The receiver is looked at on the main thread only, where it is
        // destroyed; events still queued when relay_ goes are dropped with it.
        QMetaObject::invokeMethod(
            &relay_,
            [target, done = std::move(done)] {
                if (target) done();
            },
            Qt::QueuedConnection);
    });
}

}  // namespace zorvex::app
