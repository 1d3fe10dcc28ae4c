// zorvex-cli transcode [--iset NAME=VALUE]... [--set NAME=VALUE]... INPUT OUTPUT
// One engine task: the --iset lines configure the input and the --set lines
// the output, exactly as the converter component passes its option text.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "media/engine/engine.h"
#include "media/text.h"
#include "media/log.h"
#include "media/main_thread.h"
#include "tools/cli/command.h"
#include "tools/cli/progress_display.h"

namespace zorvex::cli {
namespace {

constexpr const char* kUsage =
    "usage: zorvex-cli transcode [--log LEVEL] [--iset NAME=VALUE]... [--set NAME=VALUE]... "
    "INPUT OUTPUT";

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
    ::signal(SIGINT, SIG_DFL);  // a second interrupt ends the program at once
}

// name=value as the component reads its option lines: the name before the
// first "=", in lower case; a line without "=" is a name with an empty value.
std::pair<std::string, std::string> OptionLine(const std::string& text) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return {text::Lower(text), ""};
    return {text::Lower(text.substr(0, eq)), text.substr(eq + 1)};
}

struct Arguments {
    std::vector<std::pair<std::string, std::string>> inputOptions, outputOptions;
    std::string logLevel = "error";
    std::string input, output;
};

bool Parse(const std::vector<std::string>& args, Arguments& out) {
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* flag, std::string& into) {
            const std::string prefix = std::string(flag) + "=";
            if (a == flag) {
                if (i + 1 >= args.size()) return false;
                into = args[++i];
                return true;
            }
            if (a.rfind(prefix, 0) == 0) {
                into = a.substr(prefix.size());
                return true;
            }
            return false;
        };
        std::string v;
        if (a == "--") {
            files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (value("--iset", v)) {
            out.inputOptions.push_back(OptionLine(v));
        } else if (value("--set", v)) {
            out.outputOptions.push_back(OptionLine(v));
        } else if (value("--log", v)) {
            out.logLevel = v;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return false;  // an unknown flag, or a flag without its value
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return false;
    out.input = files[0];
    out.output = files[1];
    return true;
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
    // Set again, through another value, so that it reaches the loaded libraries.
    Logger().SetLogLevel(level == llQuiet ? llPanic : llQuiet);
    Logger().SetLogLevel(level);

    const bool terminal = ProgressDisplay::IsTerminal(stderr);
    ProgressDisplay display(stderr, terminal);
    Logger().SetTriggerEventInMainThread(false);
    // The router passes the engine's status lines at any level; here only what
    // the chosen level asks for is shown (the outcome is printed anyway).
    Logger().SetOnLog(
        [&display, level](TFFLogger*, std::uint32_t, TLogLevel lineLevel, const std::string& text) {
            if (lineLevel <= level && lineLevel != llQuiet) display.Message(text);
        });
    // A file-size limit is a write error of the output, not the end of the program.
    ::signal(SIGXFSZ, SIG_IGN);

    auto failed = [&](const std::string& message) {
        std::printf("failed %s: %s\n", a.input.c_str(), message.c_str());
        std::fflush(stdout);
        Logger().SetOnLog(nullptr);
        return kExitFailed;
    };

    TCustomFFmpeg engine(20);
    engine.Reset();
    engine.SetVerbose(1);
    try {
        for (const auto& [name, value] : a.inputOptions) engine.ParseOption(name, value);
        if (!engine.AddInputFile(a.input)) return failed(engine.LastError());
        for (const auto& [name, value] : a.outputOptions) engine.ParseOption(name, value);
        if (engine.AddOutputFile(a.output, false) < 0) return failed(engine.LastError());
    } catch (const std::exception& x) {
        return failed(x.what());
    }

    engine.ProgressInterval = terminal ? 250000 : 1000000;
    engine.ProgressCallback = [&display](TCustomFFmpeg*, int fileIndex, int frameNumber, int fps,
                                         float quality, float bitRate, std::int64_t size,
                                         std::int64_t duration, std::int64_t total) {
        TProgressInfo info;
        info.FileIndex = fileIndex;
        info.FrameNumber = frameNumber;
        info.FPS = fps;
        info.Quality = quality;
        info.BitRate = bitRate;
        info.CurrentSize = size;
        info.CurrentDuration = duration;
        info.TotalDuration = total;
        display.Update(info);
    };
    std::atomic<bool> ended{false};
    engine.TerminateCallback = [&ended](TCustomFFmpeg*) { ended = true; };

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);

    if (TConvertThread* worker = engine.Start(true, tpNormal)) worker->Resume();
    bool stopping = false;
    WaitServingMainThread([&] {
        if (g_interrupted != 0 && !stopping) {
            stopping = true;
            engine.Stop(false);  // the output written so far is kept
        }
        return ended.load();
    });
    engine.RequestStop(true);  // the worker has ended; wait until it has let go
    display.Finish();
    ::signal(SIGINT, SIG_DFL);

    if (stopping) {
        Logger().SetOnLog(nullptr);
        std::fprintf(stderr, "interrupted\n");
        return kExitInterrupted;
    }
    if (engine.Failed) return failed(engine.FailureMessage);
    Logger().SetOnLog(nullptr);
    std::printf("done %s\n", a.output.c_str());
    return kExitOk;
}

const CommandRegistrar kTranscode(
    {"transcode",
     "[--log LEVEL] [--iset NAME=VALUE]... [--set NAME=VALUE]... "
     "INPUT OUTPUT",
     "convert INPUT into OUTPUT with one engine task, showing progress", &RunTranscode});

}  // namespace
}  // namespace zorvex::cli
