// The converter component: the application's only path to the transcoding
// engine. It keeps a list of tasks (one input, up to 20 outputs each), turns the
// option records into engine settings, runs the list as one batch in the calling
// thread or on worker threads, and reports progress, termination, the batch end,
// preview pictures and a per-frame hook as events.
#pragma once

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
using TPreviewBitmapEvent =
    std::function<void(TCustomDAdadiZUZ* sender, const TPreviewInfo& info)>;

// Shows a task's preview pictures; the application supplies the window (a
// stay-on-top tool window) through SetPreviewWindowFactory.
class TPreviewWindow {
public:
    virtual ~TPreviewWindow() = default;
    // Shows the picture with its time in the caption; false once the user has
    // closed the window (no more previews for that task).
    virtual bool Show(const TBitmap& bitmap, int frameNumber, std::int64_t pts) = 0;
};
using TPreviewWindowFactory = std::function<std::unique_ptr<TPreviewWindow>()>;
void SetPreviewWindowFactory(TPreviewWindowFactory factory);

class TCustomDAdadiZUZ : public TFFBaseComponent {
public:
    TCustomDAdadiZUZ();
    ~TCustomDAdadiZUZ() override;

    static constexpr const char* Version() { return "3.3"; }

    bool LibrariesLoaded() const;
    bool LoadLibraries(const std::string& folder);

    // -1 with LastError set when the input cannot be opened.
    int AddTask(const std::string& fileName, const TInputOptions* options = nullptr);
    // False with LastError set when the output cannot be added.
    bool SetOutputFile(int taskIndex, const std::string& fileName,
                       const TOutputOptions* options = nullptr);
    void RemoveTask(int taskIndex);
    void ClearTasks();
    int TaskCount() const;

    // threadCount > 0: at most that many tasks at once on worker threads; else
    // every task in the calling thread, returning after the batch end.
    void StartTask(int threadCount);
    void PauseTask();
    void ResumeTask();
    void StopTask(bool wait);

    AVFormatContext* InputFormatContext(int taskIndex, int inputIndex) const;
    TAVProbe& AVProbe();
    std::string LastError() const;

    bool Preview() const;
    void SetPreview(bool value);
    bool PreviewBitmap() const;
    void SetPreviewBitmap(bool value);
    int ProgressInterval() const;       // milliseconds
    void SetProgressInterval(int ms);   // stored as max(ms, 100)
    TThreadPriority ThreadPriority() const;
    void SetThreadPriority(TThreadPriority value);
    bool TriggerEventInMainThread() const;
    void SetTriggerEventInMainThread(bool value);

    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;
    TCustomHookEvent OnCustomHook;
    TPreviewBitmapEvent OnPreviewBitmap;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class TDAdadiZUZ : public TCustomDAdadiZUZ {};

}  // namespace zorvex
