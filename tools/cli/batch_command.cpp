// zorvex-cli batch [--jobs auto|N] [--log LEVEL] [--strict] [--set NAME=VALUE]... --out DIR
// --ext EXT FILE...
// One converter task per FILE, into DIR/<name>EXT, with the --set lines as the
// output's option text; N tasks convert at the same time.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "media/converter.h"
#include "media/log.h"
#include "media/output_paths.h"
#include "tools/cli/arguments.h"
#include "tools/cli/batch_runner.h"
#include "tools/cli/command.h"
#include "tools/cli/progress_display.h"

namespace zorvex::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "[--jobs auto|N] [--log LEVEL] [--strict] [--set NAME=VALUE]... --out DIR --ext EXT FILE...";

struct Request {
    int jobs = 0;  // auto
    std::string logLevel = "warning";
    bool strict = false;
    std::string options;  // the output's option text
    std::string outDir, extension;
    std::vector<std::string> files;
};

int Usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "zorvex-cli batch: %s\n", problem.c_str());
    std::fprintf(stderr, "usage: zorvex-cli batch %s\n", kUsage);
    return kExitUsage;
}

// Returns an exit code, or -1 to go on.
int Parse(const std::vector<std::string>& args, Request& r) {
    ArgumentReader reader(args, {"--strict"});
    ArgumentReader::Item item;
    while (reader.Next(item)) {
        if (item.kind == ArgumentReader::Item::Positional) {
            r.files.push_back(item.value);
            continue;
        }
        if (item.kind == ArgumentReader::Item::Flag) {
            r.strict = true;
            continue;
        }
        if (item.kind == ArgumentReader::Item::MissingValue)
            return Usage(item.name + " needs a value");
        const std::string& arg = item.name;
        const std::string& value = item.value;
        if (arg == "--jobs") {
            if (!ParseJobs(value, 999, r.jobs))
                return Usage("--jobs needs auto or a number from 1");
        } else if (arg == "--set") {
            r.options += value + "\n";
        } else if (arg == "--out") {
            r.outDir = value;
        } else if (arg == "--ext") {
            r.extension = value.empty() || value[0] == '.' ? value : "." + value;
        } else if (arg == "--log") {
            r.logLevel = value;
        } else {
            return Usage("unknown option " + arg);
        }
    }
    if (r.outDir.empty()) return Usage("--out is required");
    if (r.extension.size() < 2) return Usage("--ext is required");
    if (r.files.empty()) return Usage("no FILE given");
    return -1;
}

std::string Absolute(const std::string& path) {
    std::error_code error;
    const auto absolute = fs::absolute(fs::path(path), error);
    return error ? path : absolute.lexically_normal().string();
}

int RunBatchCommand(const std::vector<std::string>& args) {
    Request r;
    if (const int code = Parse(args, r); code >= 0) return code;
    TLogLevel level = llError;
    try {
        Logger().SetLogLevelText(r.logLevel);
        level = Logger().LogLevel();
    } catch (const std::exception&) {
        return Usage("unknown log level '" + r.logLevel + "'");
    }
    if (!LoadConverterLibraries()) return kExitFailed;
    RouteLogToStderr(level);
    InterruptGuard interrupts;

    const std::string outDir = Absolute(r.outDir);
    std::error_code error;
    fs::create_directories(outDir, error);
    if (!fs::is_directory(outDir)) {
        std::fprintf(stderr, "zorvex-cli batch: cannot create %s\n", outDir.c_str());
        Logger().SetOnLog(nullptr);
        return kExitFailed;
    }

    TDAdadiZUZ converter;
    std::vector<BatchTask> tasks;
    OutputReservation outputs;  // never a source, never another output of the run
    for (std::string& file : r.files) outputs.AddSource(file = Absolute(file));
    bool anyFailed = false;
    for (const std::string& file : r.files) {
        auto fail = [&](const std::string& why) {
            // An open that a stop signal cut short (a pipe with no writer yet)
            // is stopped, not failed.
            if (InterruptGuard::Interrupted()) {
                std::printf("stopped %s\n", LineText(file).c_str());
            } else {
                std::printf("failed %s: %s\n", LineText(file).c_str(), LineText(why).c_str());
                anyFailed = true;
            }
            std::fflush(stdout);
        };
        const int task = converter.AddTask(file);
        if (task < 0) {
            fail(converter.LastError());
            continue;
        }
        // Two sources of the same name, or a source in the output folder, never
        // share an output; an existing file that is no source is replaced.
        const std::string output =
            outputs.Reserve(outDir + "/" + fs::path(file).stem().string() + r.extension, true);
        TOutputOptions options;
        InitOutputOptions(options);
        options.ExtOptions = r.options;
        if (!converter.SetOutputFile(task, output, &options)) {
            fail(converter.LastError());
            converter.RemoveTask(task);
            continue;
        }
        if (const std::string why = r.strict ? StrictFailure(converter, task) : ""; !why.empty()) {
            fail(why);
            converter.RemoveTask(task);
            continue;
        }
        tasks.push_back({file, output});
    }
    int code = InterruptGuard::Interrupted() ? InterruptGuard::ExitCode() : kExitFailed;
    if (!tasks.empty()) {
        BatchRun run;
        run.jobs = r.jobs;
        run.terminal = ProgressDisplay::IsTerminal(stderr);
        code = RunBatch(converter, tasks, run);
        if (code == kExitOk && anyFailed) code = kExitFailed;
    }
    Logger().SetOnLog(nullptr);
    return code;
}

const CommandRegistrar kBatch({"batch", kUsage,
                               "convert each FILE into DIR/<name>EXT with the --set options, "
                               "N files at a time",
                               &RunBatchCommand});

}  // namespace
}  // namespace zorvex::cli
