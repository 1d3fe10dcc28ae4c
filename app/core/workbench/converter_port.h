// What the workbench uses of the converter component, behind an interface so
// the controller can be driven in tests by a scripted fake.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "media/converter.h"

namespace zorvex::app {

// Why a source did not become a task.
enum class TaskFailure {
    None,
    Unreadable,  // the source cannot be opened or is not recognised
    NotAdded,    // the component refused the task
    NoOutput,    // the component refused the output (the task is removed again)
};

// A source opened as a task-to-be (see ConverterPort::PrepareTask).
class PreparedSource {
public:
    virtual ~PreparedSource() = default;
};
using PreparedSourcePtr = std::shared_ptr<PreparedSource>;

class ConverterPort {
public:
    using ProgressHandler = std::function<void(const TProgressInfo& info)>;
    // May be called on any thread (the component delivers terminations on
    // short-lived threads of its own).
    using TerminateHandler = std::function<void(const TTerminateInfo& info)>;

    virtual ~ConverterPort() = default;

    virtual bool LibrariesLoaded() const = 0;
    virtual bool LoadLibraries(const std::string& folder) = 0;
    virtual int AddTask(const std::string& fileName, const TInputOptions& options) = 0;
    // Opens a source once, as a task no list holds yet. Safe on any thread:
    // it touches nothing the main thread uses. nullptr with the failure
    // (Unreadable or NotAdded) and its reason.
    virtual PreparedSourcePtr PrepareTask(const std::string& fileName, const TInputOptions& options,
                                          TaskFailure* failure, std::string* error) = 0;
    // Lists a prepared source as a task (main thread): its index, or -1 with
    // LastError when it cannot be (it has run, or is listed already).
    virtual int AddPreparedTask(const PreparedSourcePtr& source) = 0;
    // Another destination for the output of a task that has not run, with
    // the extension it was set with; false with LastError.
    virtual bool RenameOutputFile(int taskIndex, const std::string& fileName) = 0;
    virtual bool SetOutputFile(int taskIndex, const std::string& fileName,
                               const TOutputOptions& options) = 0;
    virtual void RemoveTask(int taskIndex) = 0;
    virtual void ClearTasks() = 0;
    virtual int TaskCount() const = 0;
    virtual std::string LastError() const = 0;

    virtual void SetThreadPriority(TThreadPriority priority) = 0;
    virtual void StartTask(int threadCount) = 0;
    virtual void PauseTask() = 0;
    virtual void ResumeTask() = 0;
    virtual void StopTask(bool wait) = 0;

    virtual void SetHandlers(ProgressHandler progress, TerminateHandler terminate) = 0;
};

// The real component.
class ComponentConverter : public ConverterPort {
public:
    ComponentConverter();
    TDAdadiZUZ& Component() { return component_; }

    bool LibrariesLoaded() const override { return component_.LibrariesLoaded(); }
    bool LoadLibraries(const std::string& folder) override;
    int AddTask(const std::string& fileName, const TInputOptions& options) override;
    PreparedSourcePtr PrepareTask(const std::string& fileName, const TInputOptions& options,
                                  TaskFailure* failure, std::string* error) override;
    int AddPreparedTask(const PreparedSourcePtr& source) override;
    bool RenameOutputFile(int taskIndex, const std::string& fileName) override {
        return component_.RenameOutputFile(taskIndex, 0, fileName);
    }
    bool SetOutputFile(int taskIndex, const std::string& fileName,
                       const TOutputOptions& options) override;
    void RemoveTask(int taskIndex) override { component_.RemoveTask(taskIndex); }
    void ClearTasks() override { component_.ClearTasks(); }
    int TaskCount() const override { return component_.TaskCount(); }
    std::string LastError() const override { return component_.LastError(); }
    void SetThreadPriority(TThreadPriority priority) override {
        component_.SetThreadPriority(priority);
    }
    void StartTask(int threadCount) override { component_.StartTask(threadCount); }
    void PauseTask() override { component_.PauseTask(); }
    void ResumeTask() override { component_.ResumeTask(); }
    void StopTask(bool wait) override { component_.StopTask(wait); }
    void SetHandlers(ProgressHandler progress, TerminateHandler terminate) override;

private:
    TDAdadiZUZ component_;
};

}  // namespace zorvex::app
