// Run control: a configured task starts once, synchronously or on its own
// worker thread; it can be paused, resumed and stopped, and every end of a run
// becomes exactly one termination notice with its outcome.
//
// Pausing is cooperative: the worker blocks on a condition variable at the top
// of a loop pass, where it holds no lock, so a paused task never keeps another
// task, probe or player from opening or closing a codec.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

#include "media/engine/transcoder.h"
#include "media/log.h"
#include "media/main_thread.h"
#include "media/thread_start.h"

namespace zorvex {
namespace {

// Nice values of the worker threads; raising a priority needs a privilege the
// process may not have, and then the thread keeps the priority it inherited.
int NiceOf(TThreadPriority priority) {
    switch (priority) {
        case tpIdle:
            return 19;
        case tpLowest:
            return 10;
        case tpLower:
            return 5;
        case tpNormal:
            return 0;
        case tpHigher:
            return -5;
        case tpHighest:
            return -10;
        case tpTimeCritical:
            return -20;
    }
    return 0;
}

void ApplyPriority(TThreadPriority priority) {
    const pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceOf(priority)) != 0) {
        // Not permitted: the thread stays at the priority it inherited.
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// TConvertThread

TConvertThread::TConvertThread(TCustomFFmpeg& engine, TThreadPriority priority)
    : engine_(engine), priority_(priority) {}

TConvertThread::~TConvertThread() {
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();  // released from inside its own run: it ends by itself
    } else {
        thread_.join();
    }
}

void TConvertThread::Launch() {
    // The control block outlives the engine if the engine is released from
    // inside its own termination notice.
    std::shared_ptr<TCustomFFmpeg::RunControl> control = engine_.control_;
    TCustomFFmpeg* engine = &engine_;
    const TThreadPriority priority = priority_;
    std::function<void()> run = [control, engine, priority] {
        ApplyPriority(priority);
        {
            std::lock_guard lock(control->Mutex);
            control->Worker = std::this_thread::get_id();
        }
        engine->ExecuteRun();  // the termination notice is its last use of the engine
        {
            std::lock_guard lock(control->Mutex);
            control->RunActive = false;
        }
        control->Changed.notify_all();
    };
    try {
        thread_ = StartThread(std::move(run));
    } catch (const std::system_error& x) {
        // The system has no thread to give: the task ends failed with its
        // message, and its termination notice lets the batch go on.
        engine->RecordFailure(x.code().message());
        try {
            engine->ReleaseAll();
        } catch (const std::exception& y) {
            Logger().Log(engine, llError, y.what());
        }
        {
            std::lock_guard lock(control->Mutex);
            control->RunActive = false;
        }
        control->Changed.notify_all();
        engine->NotifyTerminate();
    }
}

void TConvertThread::Resume() {
    engine_.Resume();
}

bool TConvertThread::Suspended() const {
    const auto& control = *engine_.control_;
    std::lock_guard lock(const_cast<std::mutex&>(control.Mutex));
    return !control.Started || control.Paused;
}

// ---------------------------------------------------------------------------
// Start, pause, stop

TConvertThread* TCustomFFmpeg::Start(bool threaded, TThreadPriority priority) {
    if (Running || Terminated) return nullptr;
    const char* refusal = OutputFiles.empty()  ? "At least one output file must be specified"
                          : InputFiles.empty() ? "At least one input file must be specified"
                                               : nullptr;
    if (refusal != nullptr) {
        ReleaseAll();
        RecordFailure(refusal);
        NotifyTerminate();
        return nullptr;
    }
    EndThreads();  // a termination thread of an earlier Stop, if any
    Running = true;
    StopRequested = false;
    Finished = false;
    Terminated = false;
    Failed = false;
    FailureMessage.clear();
    KeptPartialFiles.clear();
    IncompleteSource.clear();
    MovedOutputFiles.clear();
    {
        // The run counts as active from here, so that a wait begun before the
        // worker runs covers the whole run.
        std::lock_guard lock(control_->Mutex);
        control_->RunActive = true;
        control_->Started = false;
        control_->Paused = false;
        // The thread that runs the task: the caller's, or the worker's once launched.
        control_->Worker = threaded ? std::thread::id() : std::this_thread::get_id();
    }
    if (!threaded) {
        ExecuteRun();
        {
            std::lock_guard lock(control_->Mutex);
            control_->RunActive = false;
        }
        control_->Changed.notify_all();
        return nullptr;
    }
    worker_.reset(new TConvertThread(*this, priority));
    convertThread_ = worker_.get();
    return worker_.get();
}

void TCustomFFmpeg::Pause() {
    std::lock_guard lock(control_->Mutex);
    if (worker_ && control_->Started && control_->RunActive) control_->Paused = true;
}

void TCustomFFmpeg::Resume() {
    bool launch = false;
    {
        std::lock_guard lock(control_->Mutex);
        if (!worker_) return;
        if (!control_->Started) {
            control_->Started = true;
            launch = true;
        } else if (control_->Paused) {
            control_->Paused = false;
        }
    }
    control_->Changed.notify_all();
    if (launch) worker_->Launch();
}

bool TCustomFFmpeg::Paused() const {
    std::lock_guard lock(control_->Mutex);
    return worker_ && control_->RunActive && (!control_->Started || control_->Paused);
}

void TCustomFFmpeg::WaitWhilePaused() {
    if (!control_->Paused) return;
    std::unique_lock lock(control_->Mutex);
    control_->Changed.wait(lock, [this] { return !control_->Paused || StopRequested; });
}

void TCustomFFmpeg::WaitForRun() {
    {
        std::lock_guard lock(control_->Mutex);
        // The run's own thread cannot wait for itself (a stop from a callback).
        if (control_->Worker == std::this_thread::get_id() && control_->RunActive) return;
    }
    WaitServingMainThread([this] {
        std::lock_guard lock(control_->Mutex);
        return !control_->RunActive;
    });
}

void TCustomFFmpeg::RequestStop(bool wait) {
    StopRequested = true;
    {
        std::lock_guard lock(control_->Mutex);
        if (!worker_) {
            control_->Changed.notify_all();
            return;
        }
    }
    // A paused or never started worker must run to see the request.
    Resume();
    {
        std::lock_guard lock(control_->Mutex);
        control_->Paused = false;
    }
    control_->Changed.notify_all();
    if (wait) WaitForRun();
}

void TCustomFFmpeg::Stop(bool wait) {
    if (Running) {
        RequestStop(wait);
        return;
    }
    if (Terminated) return;
    {
        std::lock_guard lock(control_->Mutex);
        if (control_->TerminateActive) {
            // Already being delivered: only the wait remains.
        } else {
            control_->TerminateActive = true;
            if (terminateThread_.joinable()) terminateThread_.join();
            std::shared_ptr<RunControl> control = control_;
            terminateThread_ = std::thread([this, control] {
                NotifyTerminate();
                {
                    std::lock_guard l(control->Mutex);
                    control->TerminateActive = false;
                }
                control->Changed.notify_all();
            });
        }
    }
    if (wait && terminateThread_.get_id() != std::this_thread::get_id()) {
        WaitServingMainThread([this] {
            std::lock_guard lock(control_->Mutex);
            return !control_->TerminateActive;
        });
    }
}

void TCustomFFmpeg::EndThreads() {
    if (worker_) {
        RequestStop(true);
        worker_.reset();  // joins, or detaches when released from its own thread
    }
    convertThread_ = nullptr;
    if (terminateThread_.joinable()) {
        if (terminateThread_.get_id() == std::this_thread::get_id()) {
            terminateThread_.detach();
        } else {
            WaitServingMainThread([this] {
                std::lock_guard lock(control_->Mutex);
                return !control_->TerminateActive;
            });
            terminateThread_.join();
        }
    }
}

void TCustomFFmpeg::SetPreviewFlags(std::uint8_t flags) {
    Preview.SetFlags(flags);
    std::lock_guard lock(PreviewLock());
    PreviewFlags = Preview.Flags();
}

// ---------------------------------------------------------------------------
// The run

void TCustomFFmpeg::RecordFailure(const std::string& message) {
    Logger().Log(this, llQuiet, message);
    FailureMessage = message;  // a later failure overwrites an earlier one
    Failed = true;
}

void TCustomFFmpeg::ExecuteRun() {
    auto guarded = [this](auto&& step) {
        try {
            step();
        } catch (const std::exception& x) {
            RecordFailure(x.what());
        } catch (...) {
            RecordFailure("Unknown error");
        }
    };
    guarded([this] {
        Finished = false;
        // A task stopped before its worker ran makes no output at all.
        if (StopRequested) return;
        run_ = std::make_unique<Transcoder>(*this);
        run_->RunTranscode();
        // An input that was not whole ends the run as a stop does, so that its
        // output is kept as a stopped one is and never replaces an older file.
        Finished = !StopRequested && IncompleteSource.empty();
    });
    guarded([this] {
        if (run_) run_->CloseEncoders();
    });
    guarded([this] {
        if (run_) run_->CloseDecoders();
    });
    guarded([this] { FinishOutputFiles(); });
    if (!IncompleteSource.empty() && !Failed && !StopRequested) RecordFailure(IncompleteSource);
    guarded([this] { ReleaseAll(); });
    NotifyTerminate();
}

void TCustomFFmpeg::NotifyTerminate() {
    // A run that failed at any step did not finish, whatever the loop did.
    if (Failed) Finished = false;
    Running = false;
    convertThread_ = nullptr;
    Terminated = true;
    if (TerminateCallback) TerminateCallback(this);
}

}  // namespace zorvex
