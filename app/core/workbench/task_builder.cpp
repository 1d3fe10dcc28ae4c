#include "app/core/workbench/task_builder.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "app/core/formats/format_settings.h"

namespace zorvex::app {

namespace {

std::string LowerExtension(const std::string& path) {
    const std::string name = FileNameOf(path);
    const auto dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

}  // namespace

TInputOptions SourceInputOptions(const std::string& source) {
    TInputOptions input;
    InitInputOptions(input);
    input.FileName = source;
    if (LowerExtension(source) == ".dat") input.FileFormat = "mpeg";
    return input;
}

std::string ProposedOutputPath(const std::string& source, bool alone,
                               const std::string& confirmedOutput,
                               const std::string& outputFolder) {
    if (alone) return confirmedOutput;
    const std::string name = FileNameOf(confirmedOutput);
    const auto dot = name.rfind('.');
    return OutputPathFor(outputFolder, source,
                         dot == std::string::npos ? std::string() : name.substr(dot));
}

TInputOptions TaskInput(const std::string& source, const TaskRecipe& recipe) {
    TInputOptions input = SourceInputOptions(source);
    if (recipe.applyInput) recipe.applyInput(input);
    return input;
}

OpenedSource OpenSource(ConverterPort& converter, const std::string& source,
                        const TInputOptions& input) {
    OpenedSource opened;
    try {
        opened.prepared = converter.PrepareTask(source, input, &opened.failure, &opened.error);
    } catch (const std::exception& e) {
        opened.error = e.what();
    }
    if (!opened.prepared && opened.failure == TaskFailure::None) {
        opened.failure = TaskFailure::Unreadable;
    }
    return opened;
}

BuiltTask ListOpenedSource(ConverterPort& converter, const std::string& source,
                           const TInputOptions& input, const OpenedSource& opened,
                           const TaskRecipe& recipe) {
    BuiltTask built;
    auto fail = [&](TaskFailure failure, std::string error) {
        built.failure = failure;
        built.error = std::move(error);
        return built;
    };
    built.input = input;
    if (opened.failure != TaskFailure::None) return fail(opened.failure, opened.error);
    try {
        built.index = converter.AddPreparedTask(opened.prepared);
    } catch (const std::exception& e) {
        return fail(TaskFailure::NotAdded, e.what());
    }
    if (built.index < 0) return fail(TaskFailure::NotAdded, converter.LastError());

    const std::string proposed =
        ProposedOutputPath(source, recipe.alone, recipe.confirmedOutput, recipe.outputFolder);
    InitOutputOptions(built.output);
    built.outputBase = proposed;
    built.output.FileName = recipe.outputName ? recipe.outputName(proposed) : proposed;
    if (recipe.applyOutput) recipe.applyOutput(built.output);
    bool outputSet = false;
    std::string error;
    try {
        outputSet = converter.SetOutputFile(built.index, built.output.FileName, built.output);
        if (!outputSet) error = converter.LastError();
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (!outputSet) {
        try {
            converter.RemoveTask(built.index);
        } catch (const std::exception&) {
            // The task stays; the caller does not queue it either way.
        }
        built.index = -1;
        return fail(TaskFailure::NoOutput, error);
    }
    return built;
}

BuiltTask BuildTask(ConverterPort& converter, const std::string& source, const TaskRecipe& recipe) {
    const TInputOptions input = TaskInput(source, recipe);
    return ListOpenedSource(converter, source, input, OpenSource(converter, source, input), recipe);
}

}  // namespace zorvex::app
