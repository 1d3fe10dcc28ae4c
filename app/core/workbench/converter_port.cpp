#include "app/core/workbench/converter_port.h"

namespace zorvex::app {

ComponentConverter::ComponentConverter() {
    // Progress reaches the rows on the main thread; the interval stays 500 ms.
    component_.SetTriggerEventInMainThread(true);
}

bool ComponentConverter::LoadLibraries(const std::string& folder) {
    return component_.LoadLibraries(folder);
}

bool ComponentConverter::ProbeFile(const std::string& fileName, std::string* error) {
    TAVProbe& probe = component_.AVProbe();
    if (probe.LoadFile(fileName)) return true;
    if (error != nullptr) *error = probe.LastError();
    return false;
}

int ComponentConverter::AddTask(const std::string& fileName, const TInputOptions& options) {
    return component_.AddTask(fileName, &options);
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
