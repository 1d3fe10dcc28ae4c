// zorvex-cli transcode [--overwrite] [--iset NAME=VALUE]... [--set NAME=VALUE]... INPUT OUTPUT
// One converter task: the --iset lines are the option text of the input and
// the --set lines that of the output. An existing OUTPUT file is replaced only
// when --overwrite says so; a device or pipe is simply written to.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "media/converter.h"
#include "media/log.h"
#include "media/output_paths.h"
#include "media/text.h"
#include "tools/cli/arguments.h"
#include "tools/cli/batch_runner.h"
#include "tools/cli/command.h"
#include "tools/cli/progress_display.h"

namespace zorvex::cli {
namespace {

constexpr const char* kUsage =
    "usage: zorvex-cli transcode [--overwrite] [--log LEVEL] [--strict] [--iset NAME=VALUE]... "
    "[--set NAME=VALUE]... INPUT OUTPUT";

// name=value as the component reads its option lines: the name before the
// first "=", in lower case; a line without "=" is a name with an empty value.
std::pair<std::string, std::string> OptionLine(const std::string& text) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return {text::Lower(text), ""};
    return {text::Lower(text.substr(0, eq)), text.substr(eq + 1)};
}

struct Arguments {
    std::vector<std::pair<std::string, std::string>> inputOptions, outputOptions;
    std::string logLevel = "warning";
    bool strict = false;
    std::string input, output;
    bool overwrite = false;
};

bool Parse(const std::vector<std::string>& args, Arguments& out) {
    std::vector<std::string> files;
    ArgumentReader reader(args, {"--overwrite", "--strict"});
    ArgumentReader::Item item;
    while (reader.Next(item)) {
        if (item.kind == ArgumentReader::Item::Positional) {
            files.push_back(item.value);
        } else if (item.kind == ArgumentReader::Item::Flag) {
            (item.name == "--strict" ? out.strict : out.overwrite) = true;
        } else if (item.kind != ArgumentReader::Item::Option) {
            return false;  // a flag without its value
        } else if (item.name == "--iset") {
            out.inputOptions.push_back(OptionLine(item.value));
        } else if (item.name == "--set") {
            out.outputOptions.push_back(OptionLine(item.value));
        } else if (item.name == "--log") {
            out.logLevel = item.value;
        } else {
            return false;  // an unknown option
        }
    }
    if (files.size() != 2) return false;
    out.input = files[0];
    out.output = files[1];
    return true;
}

// The option lines as the text of an option record.
std::string OptionText(const std::vector<std::pair<std::string, std::string>>& lines) {
    std::string text;
    for (const auto& [name, value] : lines) text += name + "=" + value + "\n";
    return text;
}

// The record fields the component applies in any case (languages, the sync
// methods) take the values of the option lines, which would be overridden
// otherwise.
void TakeAlwaysAppliedFields(const std::vector<std::pair<std::string, std::string>>& lines,
                             TOutputOptions& o) {
    for (const auto& [name, value] : lines) {
        if (name == "alang") o.AudioLanguage = value;
        if (name == "vlang") o.VideoLanguage = value;
        if (name == "slang") o.SubtitleLanguage = value;
        if (name == "isync") o.InputSync = value != "0";
        if (name == "async") o.AudioSync = std::atoi(value.c_str());
        if (name == "vsync") o.VideoSync = std::atoi(value.c_str());
    }
}

int RunTranscode(const std::vector<std::string>& args) {
    Arguments a;
    if (!Parse(args, a)) {
        std::fprintf(stderr, "%s\n", kUsage);
        return kExitUsage;
    }
    // The level is applied once the libraries are there, so that FFmpeg's own
    // messages follow it too.
    TLogLevel level = llError;
    try {
        Logger().SetLogLevelText(a.logLevel);
        level = Logger().LogLevel();
    } catch (const std::exception&) {
        std::fprintf(stderr, "zorvex-cli transcode: unknown log level '%s'\n%s\n",
                     a.logLevel.c_str(), kUsage);
        return kExitUsage;
    }
    if (!LoadConverterLibraries()) return kExitFailed;
    RouteLogToStderr(level);
    const bool terminal = ProgressDisplay::IsTerminal(stderr);
    InterruptGuard interrupts;

    TDAdadiZUZ converter;
    auto failed = [&](const std::string& message) {
        // An open that a stop signal cut short (a pipe with no writer yet) is
        // stopped, not failed.
        const bool stopped = InterruptGuard::Interrupted();
        if (stopped) {
            std::printf("stopped %s\n", LineText(a.input).c_str());
        } else {
            std::printf("failed %s: %s\n", LineText(a.input).c_str(), LineText(message).c_str());
        }
        std::fflush(stdout);
        Logger().SetOnLog(nullptr);
        return stopped ? InterruptGuard::ExitCode() : kExitFailed;
    };
    const OutputDestination destination = ResolveOutputDestination(a.output);
    if (destination.kind == OutputDestination::kFile && !a.overwrite) {
        return failed(a.output + " already exists (use --overwrite)");
    }
    TInputOptions input;
    InitInputOptions(input);
    input.ExtOptions = OptionText(a.inputOptions);
    const int task = converter.AddTask(a.input, &input);
    if (task < 0) return failed(converter.LastError());
    TOutputOptions output;
    InitOutputOptions(output);
    output.ExtOptions = OptionText(a.outputOptions);
    TakeAlwaysAppliedFields(a.outputOptions, output);
    if (!converter.SetOutputFile(task, a.output, &output)) return failed(converter.LastError());
    if (a.strict) {
        if (const std::string why = StrictFailure(converter, task); !why.empty()) {
            return failed(why);
        }
    }

    BatchRun run;
    run.terminal = terminal;
    const int code = RunBatch(converter, {{a.input, a.output}}, run);
    Logger().SetOnLog(nullptr);
    return code;
}

const CommandRegistrar kTranscode(
    {"transcode",
     "[--overwrite] [--log LEVEL] [--strict] [--iset NAME=VALUE]... [--set NAME=VALUE]... "
     "INPUT OUTPUT",
     "convert INPUT into OUTPUT with one converter task, showing progress", &RunTranscode});

}  // namespace
}  // namespace zorvex::cli
