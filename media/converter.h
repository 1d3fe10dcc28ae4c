// The converter component: the application's only path to the transcoding
// engine. It keeps a list of tasks (one input, up to 20 outputs each), turns the
// option records into engine settings, runs the list as one batch in the calling
// thread or on worker threads, and reports progress, termination, the batch end,
// preview pictures and a per-frame hook as events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/base_component.h"
#include "media/converter_options.h"
#include "media/probe.h"

struct AVFormatContext;

namespace zorvex {

class TCustomDAdadiZUZ;

using TProgressEvent = std::function<void(TCustomDAdadiZUZ* sender, PProgressInfo info)>;
using TTerminateEvent = std::function<void(TCustomDAdadiZUZ* sender, const TTerminateInfo& info)>;
using TCustomHookEvent = std::function<void(TCustomDAdadiZUZ* sender, PHookInfo info)>;
using TPreviewBitmapEvent = std::function<void(TCustomDAdadiZUZ* sender, const TPreviewInfo& info)>;

// A task's preview window as the engine sees it (TPreviewer): shows one
// picture with its time; false once the user has closed the window (no more
// previews for that task).
class TPreviewWindow {
public:
    virtual ~TPreviewWindow() = default;
    virtual bool Show(const TBitmap& bitmap, int frameNumber, std::int64_t pts) = 0;
};

// The window on the screen, supplied by the application: a stay-on-top tool
// window with a client area of the picture's size, in the centre of the screen,
// that the user can drag by its client area. It is made, used and freed on the
// main thread only.
class TPreviewSurface {
public:
    virtual ~TPreviewSurface() = default;
    // Draws the picture at the top-left corner and sets the caption; false
    // once the user has closed the window.
    virtual bool Paint(const TBitmap& bitmap, const std::string& caption) = 0;
};
// Makes a window for pictures of width x height; nullptr when none can be made.
using TPreviewWindowFactory =
    std::function<std::unique_ptr<TPreviewSurface>(int width, int height)>;
// Installed by the application; without one, preview windows stay off.
void SetPreviewWindowFactory(TPreviewWindowFactory factory);
TPreviewWindowFactory GetPreviewWindowFactory();

class TCustomFFmpeg;
class DORudov;

// Misuse of the component's state (adding while a batch runs, ...) throws
// Exception with a fixed message; bad input is reported by result and
// LastError. Every operation is meant for the application's main thread;
// ClearTasks may also be called from an OnTerminate handler once the batch has
// ended.
class TCustomDAdadiZUZ : public TFFBaseComponent {
public:
    TCustomDAdadiZUZ();
    // Stops and frees every task (no event reaches the application any more)
    // and waits for the threads that deliver OnTerminate.
    ~TCustomDAdadiZUZ() override;

    static constexpr const char* Version() { return "3.3"; }

    bool LibrariesLoaded() const;
    bool LoadLibraries(const std::string& folder);

    // -1 with LastError set when the input cannot be opened.
    int AddTask(const std::string& fileName, const TInputOptions* options = nullptr);
    // Opening a source is the slow part of adding it; it can be done apart,
    // on any thread. PrepareTask opens the source as a task that no list
    // holds yet and touches none of this component's state; nullptr with
    // *error set when the input cannot be opened. AddTask(task) lists it
    // (main thread, refused while working, like AddTask): -1 with LastError
    // for a task that has already run or is listed.
    using PreparedTask = std::shared_ptr<DORudov>;
    PreparedTask PrepareTask(const std::string& fileName, const TInputOptions* options,
                             std::string* error) const;
    int AddTask(PreparedTask task);
    // Gives an output of a task that has not run another destination of the
    // same extension (the container was chosen by it); false with LastError.
    bool RenameOutputFile(int taskIndex, int outputIndex, const std::string& fileName);
    // False with LastError set when the output cannot be added.
    bool SetOutputFile(int taskIndex, const std::string& fileName,
                       const TOutputOptions* options = nullptr);
    void RemoveTask(int taskIndex);
    void ClearTasks();
    int TaskCount() const;

    // threadCount > 0: at most that many tasks at once on worker threads; else
    // every task in the calling thread, returning after the batch end. An empty
    // list ends the batch at once. AutoFilesAtOnce (media/cpu_cores.h) gives
    // the automatic count.
    void StartTask(int threadCount);
    void PauseTask();
    void ResumeTask();
    void StopTask(bool wait);

    // The demuxer context of a task's opened input; nullptr for an index that
    // does not exist.
    AVFormatContext* InputFormatContext(int taskIndex, int inputIndex) const;
    TAVProbe& AVProbe();
    std::string LastError() const;
    // The engine of a task, to inspect its settings; an invalid index throws
    // like RemoveTask.
    DORudov& Task(int taskIndex) const;

    bool Preview() const;
    void SetPreview(bool value);
    bool PreviewBitmap() const;
    void SetPreviewBitmap(bool value);
    int ProgressInterval() const;      // milliseconds
    void SetProgressInterval(int ms);  // stored as max(ms, 100)
    TThreadPriority ThreadPriority() const;
    void SetThreadPriority(TThreadPriority value);
    // Codec threads of every task started from now on whose own option text
    // chose none ("threads"): 0 (the default) shares the usable cores among
    // the tasks running when it starts, AutoCodecThreads(running); 1 to 64
    // fixes the count. Stored clamped to 0..64.
    int ThreadCount() const;
    void SetThreadCount(int value);
    bool TriggerEventInMainThread() const;
    void SetTriggerEventInMainThread(bool value);

    // Assign before StartTask. OnProgress and OnPreviewBitmap run in the main
    // thread when TriggerEventInMainThread (else on the task's thread);
    // OnCustomHook on the task's thread; OnTerminate, in thread mode, on a
    // short-lived thread of its own per delivery (the batch end, TaskIndex -1,
    // after every task's delivery has returned).
    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;
    TCustomHookEvent OnCustomHook;
    TPreviewBitmapEvent OnPreviewBitmap;

protected:
    // Stops and frees every task and waits for the OnTerminate deliveries; no
    // event is delivered from then on. The destructor does it, but a class
    // that overrides the handlers below must call it in its own destructor,
    // before its own members go, since tasks call the handlers until then.
    void Shutdown();

    // The engine's handlers, with the task as sender.
    virtual void DoCustomHook(TCustomFFmpeg* task, TBitmap& bitmap, int frameNumber,
                              std::int64_t pts, bool& update, bool& stopHook);
    virtual void DoPreviewBitmap(TCustomFFmpeg* task, const TBitmap& bitmap, int frameNumber,
                                 std::int64_t pts);
    virtual void DoProgress(TCustomFFmpeg* task, int fileIndex, int frameNumber, int fps,
                            float quality, float bitRate, std::int64_t currentSize,
                            std::int64_t currentDuration, std::int64_t totalDuration);
    // task nullptr: the batch has ended.
    virtual void DoTerminate(TCustomFFmpeg* task);

private:
    struct Impl;
    void StartNextTask();
    // The codec threads of a task whose option text chose none, starting
    // while `running` tasks convert (itself included).
    int CodecThreadsForStart(int running) const;
    bool ReportIfTerminated(DORudov& task);
    void EndBatch();
    void CallTerminate(const TTerminateInfo& info);
    void CallTerminate(const TTerminateInfo& info, const TTerminateEvent& handler);
    void SetLastError(std::string text);
    void RefuseWhileWorking(const char* operation) const;
    // The custom hook of this component's tasks.
    std::function<void(TCustomFFmpeg*, TBitmap&, int, std::int64_t, bool&, bool&)> HookFor();
    std::unique_ptr<Impl> impl_;
};

class TDAdadiZUZ : public TCustomDAdadiZUZ {
public:
    TDAdadiZUZ() = default;
    ~TDAdadiZUZ() override;
};

}  // namespace zorvex
