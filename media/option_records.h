// How the converter component's option records configure a task. Internal to
// the component.
#pragma once

#include <string>

#include "media/converter_options.h"
#include "media/converter_tasks.h"

namespace zorvex {

// Applies an input record (nullptr: none) to a fresh task before its input
// file is added, and keeps a copy of it with the task.
void ApplyInputRecord(DORudov& task, const std::string& fileName, const TInputOptions* options);

// Adds an output file configured by its record (nullptr: none) to the task;
// hook becomes the task's hook when the record asks for it. False with the
// reason in task.LastError(); bad option values throw.
bool AddOutputFromRecord(DORudov& task, const std::string& fileName, const TOutputOptions* options,
                         const TEngineHookCallback& hook);

}  // namespace zorvex
