// The converter component: tasks, the batch dispatcher and the events. The
// option records are applied in option_records.cpp, the OnTerminate threads
// live in terminate_deliveries.cpp.
//
// Locks: one per event kind (hook, preview, progress, terminate). The hook
// lock is held while the hook record is filled and the hook runs; the progress
// and preview locks only while their handler runs on a worker (events not
// taken to the main thread). A delivery into the main thread copies what it
// needs first and holds no lock while the worker waits, and the worker stops
// waiting when its task is stopped or the component freed: so a handler may
// stop the batch, clear the tasks or free the component. The terminate lock
// also guards the batch counters and flags. The task list has a lock of its
// own, held only for its own short operations. Nothing waits for a thread
// while holding any of them, except the dispatcher, which starts tasks under
// the terminate lock (starting does not wait).
#include "media/converter.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>

#include "media/converter_tasks.h"
#include "media/cpu_cores.h"
#include "media/exception.h"
#include "media/loader.h"
#include "media/log.h"
#include "media/main_thread.h"
#include "media/option_records.h"
#include "media/terminate_deliveries.h"
#include "media/text.h"

namespace zorvex {

namespace {

std::mutex g_factoryMutex;
TPreviewWindowFactory g_previewFactory;

std::uint8_t FlagsOf(bool preview, bool previewBitmap) {
    return static_cast<std::uint8_t>((preview ? PreviewWindowFlag : 0) |
                                     (previewBitmap ? PreviewBitmapFlag : 0));
}

// Shared by the component and the calls it has queued for the main thread: a
// call may run after the component is gone, and then does nothing.
struct DeliveryGate {
    std::atomic<bool> open{true};
    std::atomic<int> running{0};  // handlers running in the main thread
};

// Runs call in the main thread for the worker of task. The worker stops
// waiting once its task is asked to stop or the component is being freed (a
// handler doing either would otherwise wait for a worker that waits for it);
// call owns its copies, so it may still run, or finish, without the worker.
void DeliverInMainThread(const std::shared_ptr<DeliveryGate>& gate, const DORudov& task,
                         std::function<void()> call) {
    RunInMainThreadUnless(
        [gate, call = std::move(call)] {
            ++gate->running;
            struct Leave {
                DeliveryGate& gate;
                ~Leave() { --gate.running; }
            } leave{*gate};
            if (gate->open) call();
        },
        [gate, &task] { return !gate->open || task.StopRequested; });
}

void DeliverTerminate(TCustomDAdadiZUZ* sender, const TTerminateEvent& handler,
                      const TTerminateInfo& info) {
    try {
        if (handler) handler(sender, info);
    } catch (const std::exception& x) {
        Logger().Log(sender, llError, std::string("Error occurs OnTerminate: ") + x.what());
    } catch (...) {
        Logger().Log(sender, llError, "Error occurs OnTerminate: unknown exception");
    }
}

}  // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory factory) {
    std::lock_guard lock(g_factoryMutex);
    g_previewFactory = std::move(factory);
}

TPreviewWindowFactory GetPreviewWindowFactory() {
    std::lock_guard lock(g_factoryMutex);
    return g_previewFactory;
}

struct TCustomDAdadiZUZ::Impl {
    TAVProbe probe;
    DORudovList tasks;

    mutable std::mutex errorMutex;
    std::string lastError;

    std::atomic<bool> preview{false};
    std::atomic<bool> previewBitmap{false};
    std::atomic<int> progressInterval{500};
    std::atomic<TThreadPriority> priority{tpNormal};
    std::atomic<int> threadCount{0};
    std::atomic<bool> mainThreadEvents{true};
    // Set by the destructor: no event reaches the application any more.
    std::atomic<bool> destroying{false};
    std::shared_ptr<DeliveryGate> gate = std::make_shared<DeliveryGate>();

    std::recursive_mutex hookLock, previewLock, progressLock, terminateLock;

    // Guarded by terminateLock.
    int finished = 0;
    int next = -1;
    int remaining = 0;
    bool working = false;
    bool ended = false;
    bool threadMode = false;
    // A batch without thread mode is being walked by StartTask, which delivers
    // the batch end itself once every task has reported.
    bool syncWalk = false;
    // OnTerminate calls being made outside the lock (without thread mode).
    int directDeliveries = 0;
    // The tasks StartTask is starting together; they share the cores evenly.
    int startingTogether = 0;

    // The records refilled under their locks; progress and preview records
    // are filled on the worker's stack, to be copied into the main thread.
    TTerminateInfo terminateInfo;
    THookInfo hookInfo;

    TerminateDeliveries deliveries;
};

TCustomDAdadiZUZ::TCustomDAdadiZUZ() : impl_(std::make_unique<Impl>()) {}

TCustomDAdadiZUZ::~TCustomDAdadiZUZ() {
    Shutdown();
    Impl& m = *impl_;
    for (std::recursive_mutex* lock :
         {&m.hookLock, &m.previewLock, &m.progressLock, &m.terminateLock}) {
        lock->lock();
        lock->unlock();
    }
}

void TCustomDAdadiZUZ::Shutdown() {
    Impl& m = *impl_;
    m.destroying = true;
    m.gate->open = false;
    // Freed from another thread while the main thread runs one of the
    // handlers: that handler finishes first. (On the main thread the handler
    // running may be the caller itself.)
    if (!IsMainThread()) WaitServingMainThread([&] { return m.gate->running == 0; });
    {
        std::lock_guard lock(m.terminateLock);
        m.remaining = 0;
    }
    // Every running task is asked to stop at once; freeing each then waits for
    // it, serving the main thread, so that a worker waiting for the main thread
    // inside a delivery can finish it. Tasks that never ran need no notice.
    std::vector<DORudovList::TaskPtr> tasks = m.tasks.Extract();
    for (const DORudovList::TaskPtr& task : tasks) {
        if (task->Running) task->RequestStop(false);
    }
    tasks.clear();
    m.deliveries.CloseAndWait();
}

TDAdadiZUZ::~TDAdadiZUZ() {
    Shutdown();
}

bool TCustomDAdadiZUZ::LibrariesLoaded() const {
    return Loader().LibrarySetLoaded(ConverterLibrarySet);
}

bool TCustomDAdadiZUZ::LoadLibraries(const std::string& folder) {
    Loader().SetLibraryFolder(folder);
    if (Loader().LoadLibrarySet(ConverterLibrarySet)) return true;
    SetLastError(Loader().LastError());
    return false;
}

void TCustomDAdadiZUZ::SetLastError(std::string text) {
    std::lock_guard lock(impl_->errorMutex);
    impl_->lastError = std::move(text);
}

std::string TCustomDAdadiZUZ::LastError() const {
    std::lock_guard lock(impl_->errorMutex);
    return impl_->lastError;
}

void TCustomDAdadiZUZ::RefuseWhileWorking(const char* operation) const {
    std::lock_guard lock(impl_->terminateLock);
    if (impl_->working) throw Exception(text::Fmt("Cannot %s while working.", operation));
}

// ---------------------------------------------------------------------------
// Tasks

int TCustomDAdadiZUZ::AddTask(const std::string& fileName, const TInputOptions* options) {
    RefuseWhileWorking("AddTask");
    std::string error;
    PreparedTask task = PrepareTask(fileName, options, &error);
    if (!task) {
        SetLastError(std::move(error));
        return -1;
    }
    return AddTask(std::move(task));
}

TCustomDAdadiZUZ::PreparedTask TCustomDAdadiZUZ::PrepareTask(const std::string& fileName,
                                                             const TInputOptions* options,
                                                             std::string* error) const {
    auto task = std::make_shared<DORudov>();
    try {
        task->Reset();
        task->SetVerbose(1);
        task->Preview.SetWindowFactory([] { return std::make_unique<TPreviewer>(); });
        ApplyInputRecord(*task, fileName, options);
        if (!task->AddInputFile(fileName)) {
            if (error != nullptr) *error = task->LastError();
            return nullptr;
        }
    } catch (const std::exception& x) {
        if (error != nullptr) *error = x.what();
        return nullptr;
    }
    return task;
}

int TCustomDAdadiZUZ::AddTask(PreparedTask task) {
    RefuseWhileWorking("AddTask");
    Impl& m = *impl_;
    if (!task || task->Running || task->Terminated || m.tasks.IndexOf(task.get()) >= 0) {
        SetLastError("The task has already run or is in the list.");
        return -1;
    }
    task->SetPreviewFlags(FlagsOf(m.preview, m.previewBitmap));
    task->PreviewCallback = [this](TCustomFFmpeg* engine, const TBitmap& bitmap, int frameNumber,
                                   std::int64_t pts) {
        DoPreviewBitmap(engine, bitmap, frameNumber, pts);
    };
    task->ProgressCallback = [this](TCustomFFmpeg* engine, int fileIndex, int frameNumber, int fps,
                                    float quality, float bitRate, std::int64_t size,
                                    std::int64_t duration, std::int64_t total) {
        DoProgress(engine, fileIndex, frameNumber, fps, quality, bitRate, size, duration, total);
    };
    task->TerminateCallback = [this](TCustomFFmpeg* engine) { DoTerminate(engine); };
    // A hook asked for by an output record set before the listing reports here.
    for (const std::optional<TOutputOptions>& record : task->OutputOptions) {
        if (record && record->VideoHook) task->HookCallback = HookFor();
    }
    return m.tasks.Add(std::move(task));
}

bool TCustomDAdadiZUZ::RenameOutputFile(int taskIndex, int outputIndex,
                                        const std::string& fileName) {
    RefuseWhileWorking("RenameOutputFile");
    const DORudovList::TaskPtr task = impl_->tasks.Get(taskIndex);
    if (task->Running || task->Terminated) {
        SetLastError("The task has already run.");
        return false;
    }
    if (!task->RenameOutputFile(outputIndex, fileName)) {
        SetLastError(task->LastError());
        return false;
    }
    if (outputIndex < static_cast<int>(task->OutputOptions.size()) &&
        task->OutputOptions[outputIndex]) {
        task->OutputOptions[outputIndex]->FileName = fileName;
    }
    return true;
}

TEngineHookCallback TCustomDAdadiZUZ::HookFor() {
    return [this](TCustomFFmpeg* engine, TBitmap& bitmap, int frameNumber, std::int64_t pts,
                  bool& update, bool& stopHook) {
        DoCustomHook(engine, bitmap, frameNumber, pts, update, stopHook);
    };
}

bool TCustomDAdadiZUZ::SetOutputFile(int taskIndex, const std::string& fileName,
                                     const TOutputOptions* options) {
    RefuseWhileWorking("SetOutputFile");
    const DORudovList::TaskPtr task = impl_->tasks.Get(taskIndex);
    if (task->OutputFileCount() >= TaskMaxFiles) {
        SetLastError(text::Fmt("max output files %d reached", TaskMaxFiles));
        return false;
    }
    try {
        if (!AddOutputFromRecord(*task, fileName, options, HookFor())) {
            SetLastError(task->LastError());
            return false;
        }
    } catch (const std::exception& x) {
        SetLastError(x.what());
        return false;
    }
    return true;
}

void TCustomDAdadiZUZ::RemoveTask(int taskIndex) {
    RefuseWhileWorking("RemoveTask");
    impl_->tasks.Delete(taskIndex);
}

void TCustomDAdadiZUZ::ClearTasks() {
    Impl& m = *impl_;
    std::vector<DORudovList::TaskPtr> tasks;
    {
        std::lock_guard lock(m.terminateLock);
        if (m.working && !m.ended) throw Exception("Cannot ClearTasks while working.");
        tasks = m.tasks.Extract();
        m.finished = 0;
        m.next = -1;
        m.remaining = 0;
        m.working = false;
        m.ended = false;
        m.threadMode = false;
    }
    SetLastError("");
    // Freed outside the lock: freeing a task waits for its threads, which may
    // still be leaving the terminate handler.
    tasks.clear();
    m.deliveries.Reap();
}

int TCustomDAdadiZUZ::TaskCount() const {
    return impl_->tasks.Count();
}

AVFormatContext* TCustomDAdadiZUZ::InputFormatContext(int taskIndex, int inputIndex) const {
    if (taskIndex < 0 || taskIndex >= impl_->tasks.Count()) return nullptr;
    const DORudovList::TaskPtr task = impl_->tasks.Get(taskIndex);
    if (inputIndex < 0 || inputIndex >= task->InputFileCount()) return nullptr;
    return task->InputFormatContext(inputIndex);
}

TAVProbe& TCustomDAdadiZUZ::AVProbe() {
    return impl_->probe;
}

DORudov& TCustomDAdadiZUZ::Task(int taskIndex) const {
    return *impl_->tasks.Get(taskIndex);
}

// ---------------------------------------------------------------------------
// The batch

void TCustomDAdadiZUZ::StartTask(int threadCount) {
    Impl& m = *impl_;
    std::unique_lock lock(m.terminateLock);
    if (m.working) throw Exception(text::Fmt("Cannot %s while working.", "StartTask"));
    m.finished = 0;
    m.next = 0;
    m.remaining = m.tasks.Count();
    m.ended = false;
    m.threadMode = threadCount > 0;
    m.working = true;
    // The files a batch may replace are those there when it starts.
    for (int i = 0; i < m.tasks.Count(); ++i) m.tasks.Get(i)->NoteExistingOutputs();
    if (m.threadMode) {
        if (m.remaining == 0) EndBatch();  // nothing to convert: the batch ends at once
        int n = threadCount;
        m.startingTogether = std::min(n, m.remaining);
        while (m.remaining > 0 && n > 0) {
            StartNextTask();
            --n;
        }
        m.startingTogether = 0;
        return;
    }
    // In the calling thread, one task after another. No lock is held across a
    // conversion or a delivery, so that a handler may stop the batch; the
    // batch end comes from here, after every task has reported.
    m.syncWalk = true;
    while (m.remaining > 0) {
        --m.remaining;
        const DORudovList::TaskPtr task = m.tasks.Get(m.next++);
        task->ProgressInterval = static_cast<std::int64_t>(m.progressInterval) * 1000;
        task->AutoThreadCount = CodecThreadsForStart(1);
        const TThreadPriority priority = m.priority;
        lock.unlock();
        if (!ReportIfTerminated(*task)) task->Start(false, priority);
        lock.lock();
    }
    lock.unlock();
    // Tasks stopped before they ran report from threads of their own.
    WaitServingMainThread([&] {
        std::lock_guard l(m.terminateLock);
        return m.finished >= m.tasks.Count() && m.directDeliveries == 0;
    });
    lock.lock();
    m.syncWalk = false;
    m.ended = true;
    const bool deliver = OnTerminate && !m.destroying;
    lock.unlock();
    if (deliver) CallTerminate(TTerminateInfo{-1, true, false, {}, {}});
}

// Under the terminate lock, in thread mode.
void TCustomDAdadiZUZ::StartNextTask() {
    Impl& m = *impl_;
    if (m.remaining <= 0) return;
    --m.remaining;
    // The index is taken before the start: a task that cannot start reports at
    // once, and that report starts the next one.
    const DORudovList::TaskPtr task = m.tasks.Get(m.next++);
    if (ReportIfTerminated(*task)) return;
    task->ProgressInterval = static_cast<std::int64_t>(m.progressInterval) * 1000;
    // Running now: the tasks started and not yet reported, this one included.
    // The last task of the queue, started when another ended, takes the whole
    // machine: nothing will start after it, so the cores the others free as
    // they end would otherwise stay idle while it runs on alone (a codec's
    // thread count is fixed once it is open).
    const bool lastToStart = m.remaining == 0 && m.startingTogether == 0;
    const int running = m.startingTogether > 0 ? m.startingTogether
                        : lastToStart          ? 1
                                               : m.next - m.finished;
    task->AutoThreadCount = CodecThreadsForStart(running);
    // While the others still run, the last task's threads yield to theirs. The
    // scheduler shares the cores by thread, not by task, so at the same
    // priority its many threads would take most of the machine from tasks
    // whose thread counts are fixed too; one of those would then end long
    // after it, alone on one core. Lower, it uses what the others leave idle,
    // and every core once they have ended.
    const bool othersRunning = m.next - m.finished > 1;
    const TThreadPriority priority =
        lastToStart && othersRunning && impl_->threadCount <= 0
            ? static_cast<TThreadPriority>(std::max<int>(tpIdle, m.priority - 2))
            : m.priority.load();
    if (TConvertThread* worker = task->Start(true, priority)) worker->Resume();
}

int TCustomDAdadiZUZ::CodecThreadsForStart(int running) const {
    const int fixed = impl_->threadCount;
    return fixed > 0 ? fixed : AutoCodecThreads(running);
}

// A task that terminated before this batch (stopped while no batch ran)
// cannot start again; it reports its outcome once more so
// that the batch still counts every task and ends.
bool TCustomDAdadiZUZ::ReportIfTerminated(DORudov& task) {
    if (!task.Terminated || task.Running) return false;
    DoTerminate(&task);
    return true;
}

void TCustomDAdadiZUZ::PauseTask() {
    impl_->tasks.Pause();
}

void TCustomDAdadiZUZ::ResumeTask() {
    impl_->tasks.Resume();
}

void TCustomDAdadiZUZ::StopTask(bool wait) {
    {
        std::lock_guard lock(impl_->terminateLock);
        impl_->remaining = 0;
    }
    // Not under the lock: tasks stopped before they ran report on threads of
    // their own, through the terminate handler.
    impl_->tasks.Stop(wait);
}

// Under the terminate lock, in thread mode.
void TCustomDAdadiZUZ::EndBatch() {
    impl_->ended = true;
    if (!OnTerminate || impl_->destroying) return;
    TTerminateInfo& info = impl_->terminateInfo;
    info.TaskIndex = -1;
    info.Finished = true;
    info.Exception = false;
    info.ExceptionMsg.clear();
    info.KeptPartialFile.clear();
    // The delivery keeps its own copies of the record and of the handler.
    impl_->deliveries.Start(
        [this, handler = OnTerminate, info] { DeliverTerminate(this, handler, info); }, true);
}

void TCustomDAdadiZUZ::CallTerminate(const TTerminateInfo& info, const TTerminateEvent& handler) {
    DeliverTerminate(this, handler, info);
}

void TCustomDAdadiZUZ::CallTerminate(const TTerminateInfo& info) {
    CallTerminate(info, OnTerminate);
}

// ---------------------------------------------------------------------------
// Engine handlers

void TCustomDAdadiZUZ::DoTerminate(TCustomFFmpeg* engine) {
    Impl& m = *impl_;
    std::optional<TTerminateInfo> direct;
    {
        std::lock_guard lock(m.terminateLock);
        if (engine == nullptr) {
            if (!m.ended) EndBatch();
            return;
        }
        auto* task = static_cast<DORudov*>(engine);
        if (OnTerminate && !m.destroying) {
            TTerminateInfo& info = m.terminateInfo;
            info.TaskIndex = task->Index;
            info.Finished = task->Finished && !task->Failed;
            info.Exception = task->Failed;
            info.ExceptionMsg = task->Failed ? task->FailureMessage : std::string();
            info.KeptPartialFile =
                task->KeptPartialFiles.empty() ? std::string() : task->KeptPartialFiles.front();
            if (m.threadMode) {
                m.deliveries.Start(
                    [this, handler = OnTerminate, info] { DeliverTerminate(this, handler, info); },
                    false);
            } else {
                // Delivered below, outside the lock, so that the handler may
                // stop the batch (stopped tasks report through this lock).
                direct = info;
                ++m.directDeliveries;
            }
        }
        ++m.finished;
        if (m.working) {
            if (m.remaining < 1) {
                // Without thread mode StartTask delivers the batch end.
                if (m.finished >= m.tasks.Count() && !m.syncWalk && !m.ended) EndBatch();
            } else if (m.threadMode) {
                StartNextTask();
            }
        }
    }
    if (!direct) return;
    CallTerminate(*direct);
    std::lock_guard lock(m.terminateLock);
    --m.directDeliveries;
}

void TCustomDAdadiZUZ::DoProgress(TCustomFFmpeg* engine, int fileIndex, int frameNumber, int fps,
                                  float quality, float bitRate, std::int64_t currentSize,
                                  std::int64_t currentDuration, std::int64_t totalDuration) {
    Impl& m = *impl_;
    if (!OnProgress || m.destroying) return;
    const auto& task = *static_cast<DORudov*>(engine);
    TProgressInfo info;
    info.TaskIndex = task.Index;
    info.FileIndex = fileIndex;
    info.FrameNumber = frameNumber;
    info.FPS = fps;
    info.Quality = quality;
    info.BitRate = bitRate;
    info.CurrentSize = currentSize;
    info.CurrentDuration = currentDuration;
    info.TotalDuration = totalDuration;
    if (m.mainThreadEvents) {
        DeliverInMainThread(m.gate, task,
                            [this, handler = OnProgress, info]() mutable { handler(this, &info); });
        return;
    }
    std::lock_guard lock(m.progressLock);
    OnProgress(this, &info);
}

void TCustomDAdadiZUZ::DoPreviewBitmap(TCustomFFmpeg* engine, const TBitmap& bitmap,
                                       int frameNumber, std::int64_t pts) {
    Impl& m = *impl_;
    if (!OnPreviewBitmap || m.destroying) return;
    const auto& task = *static_cast<DORudov*>(engine);
    TPreviewInfo info;
    info.TaskIndex = task.Index;
    info.Bitmap = &bitmap;
    info.FrameNumber = frameNumber;
    info.PTS = pts;
    if (m.mainThreadEvents) {
        // The picture is the worker's: the main thread gets a copy of its own.
        DeliverInMainThread(m.gate, task,
                            [this, handler = OnPreviewBitmap, info, picture = bitmap]() mutable {
                                info.Bitmap = &picture;
                                handler(this, info);
                            });
        return;
    }
    std::lock_guard lock(m.previewLock);
    OnPreviewBitmap(this, info);
}

void TCustomDAdadiZUZ::DoCustomHook(TCustomFFmpeg* engine, TBitmap& bitmap, int frameNumber,
                                    std::int64_t pts, bool& update, bool& stopHook) {
    Impl& m = *impl_;
    if (!OnCustomHook || m.destroying) return;
    std::lock_guard lock(m.hookLock);
    THookInfo& info = m.hookInfo;
    info.TaskIndex = static_cast<DORudov*>(engine)->Index;
    info.Bitmap = &bitmap;
    info.FrameNumber = frameNumber;
    info.PTS = pts;
    info.Update = update;
    info.StopHook = stopHook;
    OnCustomHook(this, &info);  // an exception goes to the engine, which logs it
    update = info.Update;
    stopHook = info.StopHook;
}

// ---------------------------------------------------------------------------
// Properties

bool TCustomDAdadiZUZ::Preview() const {
    return impl_->preview;
}

void TCustomDAdadiZUZ::SetPreview(bool value) {
    impl_->tasks.SetPreviewFlags(FlagsOf(value, impl_->previewBitmap));
    impl_->preview = value;
}

bool TCustomDAdadiZUZ::PreviewBitmap() const {
    return impl_->previewBitmap;
}

void TCustomDAdadiZUZ::SetPreviewBitmap(bool value) {
    impl_->tasks.SetPreviewFlags(FlagsOf(impl_->preview, value));
    impl_->previewBitmap = value;
}

int TCustomDAdadiZUZ::ProgressInterval() const {
    return impl_->progressInterval;
}

void TCustomDAdadiZUZ::SetProgressInterval(int ms) {
    impl_->progressInterval = std::max(ms, 100);
}

TThreadPriority TCustomDAdadiZUZ::ThreadPriority() const {
    return impl_->priority;
}

void TCustomDAdadiZUZ::SetThreadPriority(TThreadPriority value) {
    impl_->priority = value;
}

int TCustomDAdadiZUZ::ThreadCount() const {
    return impl_->threadCount;
}

void TCustomDAdadiZUZ::SetThreadCount(int value) {
    impl_->threadCount = std::clamp(value, 0, MaxCodecThreads);
}

bool TCustomDAdadiZUZ::TriggerEventInMainThread() const {
    return impl_->mainThreadEvents;
}

void TCustomDAdadiZUZ::SetTriggerEventInMainThread(bool value) {
    impl_->mainThreadEvents = value;
}

}  // namespace zorvex
