// What the workbench uses of the converter component, behind an interface so
// the controller can be driven in tests by a scripted fake.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "media/converter.h"

namespace zorvex::app {

class ConverterPort {
public:
    using ProgressHandler = std::function<void(const TProgressInfo& info)>;
    // May be called on any thread (the component delivers terminations on
    // short-lived threads of its own).
    using TerminateHandler = std::function<void(const TTerminateInfo& info)>;

    virtual ~ConverterPort() = default;

    virtual bool LibrariesLoaded() const = 0;
    virtual bool LoadLibraries(const std::string& folder) = 0;
    // The probe's check of a source before it is added: false with the probe's
    // LastError in *error.
    virtual bool ProbeFile(const std::string& fileName, std::string* error) = 0;

    virtual int AddTask(const std::string& fileName, const TInputOptions& options) = 0;
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
    bool ProbeFile(const std::string& fileName, std::string* error) override;
    int AddTask(const std::string& fileName, const TInputOptions& options) override;
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
