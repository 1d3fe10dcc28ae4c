#include "app/core/workbench/converter_port.h"

namespace zorvex::app {

ComponentConverter::ComponentConverter() {
    // Progress reaches the rows on the main thread; the interval stays 500 ms.
    component_.SetTriggerEventInMainThread(true);
}

bool ComponentConverter::LoadLibraries(const std::string& folder) {
    return component_.LoadLibraries(folder);
}

int ComponentConverter::AddTask(const std::string& fileName, const TInputOptions& options) {
    return component_.AddTask(fileName, &options);
}

namespace {

struct ComponentSource : PreparedSource {
    TCustomDAdadiZUZ::PreparedTask task;
};

}  // namespace

PreparedSourcePtr ComponentConverter::PrepareTask(const std::string& fileName,
                                                  const TInputOptions& options,
                                                  TaskFailure* failure, std::string* error) {
    auto source = std::make_shared<ComponentSource>();
    source->task = component_.PrepareTask(fileName, &options, error);
    if (source->task) return source;
    // The engine's open is the probe's: a file it cannot open or analyse is
    // not one it recognises.
    *failure = TaskFailure::Unreadable;
    return nullptr;
}

int ComponentConverter::AddPreparedTask(const PreparedSourcePtr& source) {
    const auto* prepared = dynamic_cast<const ComponentSource*>(source.get());
    if (prepared == nullptr) return -1;
    return component_.AddTask(prepared->task);
}

bool ComponentConverter::SetOutputFile(int taskIndex, const std::string& fileName,
                                       const TOutputOptions& options) {
    return component_.SetOutputFile(taskIndex, fileName, &options);
}

void ComponentConverter::SetHandlers(ProgressHandler progress, TerminateHandler terminate) {
    if (progress) {
        component_.OnProgress = [progress = std::move(progress)](TCustomDAdadiZUZ*,
                                                                 PProgressInfo info) {
            if (info != nullptr) progress(*info);
        };
    } else {
        component_.OnProgress = nullptr;
    }
    if (terminate) {
        component_.OnTerminate = [terminate = std::move(terminate)](TCustomDAdadiZUZ*,
                                                                    const TTerminateInfo& info) {
            terminate(info);
        };
    } else {
        component_.OnTerminate = nullptr;
    }
}

}  // namespace zorvex::app
