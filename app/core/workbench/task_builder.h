// Per-file task preparation, shared by the main window's add commands and
// zorvex-cli convert: the source's input record, the probe, the task, the
// output's name and record, and the output set on the task.
#pragma once

#include <functional>
#include <string>

#include "app/core/workbench/converter_port.h"
#include "media/converter_options.h"

namespace zorvex::app {

// The input record of a source file: every field "not set" but its name. A
// ".dat" file (a video CD track) is always read with the MPEG demuxer,
// whatever its header suggests.
TInputOptions SourceInputOptions(const std::string& source);

// Where a source's output goes before the naming rule: the settings window's
// confirmed output for a file added alone, else outputFolder/<source's name>
// with the confirmed output's extension.
std::string ProposedOutputPath(const std::string& source, bool alone,
                               const std::string& confirmedOutput, const std::string& outputFolder);

// What the caller decides for every file.
struct TaskRecipe {
    bool alone = false;           // the file is added by itself
    std::string confirmedOutput;  // the settings window's output path (FmtOutputFile)
    std::string outputFolder;     // where the outputs of files added together go
    // The format settings' two halves; either may be empty.
    std::function<void(TInputOptions&)> applyInput;
    std::function<void(TOutputOptions&)> applyOutput;
    // The naming rule applied to the proposed output path; empty: used as it is.
    std::function<std::string(const std::string& proposed)> outputName;
};

struct BuiltTask {
    TaskFailure failure = TaskFailure::None;
    std::string error;  // the probe's or the component's message
    int index = -1;     // the task, when built
    TInputOptions input;
    TOutputOptions output;
    std::string outputBase;  // the proposed output before the naming rule
};

// A source's input record under a recipe. On the caller's thread: the
// recipe's halves read the settings window's state.
TInputOptions TaskInput(const std::string& source, const TaskRecipe& recipe);

// A source opened for the queue, or why it could not be.
struct OpenedSource {
    TaskFailure failure = TaskFailure::None;
    std::string error;
    PreparedSourcePtr prepared;
};

// Opens a source once, on any thread (the converter's PrepareTask).
OpenedSource OpenSource(ConverterPort& converter, const std::string& source,
                        const TInputOptions& input);

// Lists an opened source as a task of the converter and sets its output, on
// the main thread. Exceptions of the converter end the step they come from,
// with their text as the error.
BuiltTask ListOpenedSource(ConverterPort& converter, const std::string& source,
                           const TInputOptions& input, const OpenedSource& opened,
                           const TaskRecipe& recipe);

// All three in a row.
BuiltTask BuildTask(ConverterPort& converter, const std::string& source, const TaskRecipe& recipe);

}  // namespace zorvex::app
