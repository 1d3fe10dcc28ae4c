#include "tools/cli/batch_runner.h"

#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>

#include "media/converter_tasks.h"
#include "media/cpu_cores.h"
#include "media/main_thread.h"
#include "tools/cli/command.h"
#include "tools/cli/progress_display.h"

namespace zorvex::cli {

namespace {

volatile std::sig_atomic_t g_signal = 0;

void OnStopSignal(int signal) {
    g_signal = signal;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

InterruptGuard::InterruptGuard() {
    g_signal = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        ::sigaction(kStopSignals[i], &action, &previousStop_[i]);
    // A full disk and a pipe whose reader went away become write errors of
    // the output instead of ending the process.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, &previousXfsz_);
    ::sigaction(SIGPIPE, &ignore, &previousPipe_);
}

InterruptGuard::~InterruptGuard() {
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        ::sigaction(kStopSignals[i], &previousStop_[i], nullptr);
    ::sigaction(SIGXFSZ, &previousXfsz_, nullptr);
    ::sigaction(SIGPIPE, &previousPipe_, nullptr);
}

bool InterruptGuard::Interrupted() {
    return g_signal != 0;
}

int InterruptGuard::ExitCode() {
    return 128 + static_cast<int>(g_signal);
}

int RunBatch(TDAdadiZUZ& converter, const std::vector<BatchTask>& tasks, const BatchRun& run) {
    const int count = static_cast<int>(tasks.size());
    if (InterruptGuard::Interrupted()) {  // while the tasks were being prepared
        for (const BatchTask& task : tasks)
            std::printf("stopped %s\n", LineText(task.input).c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "interrupted\n");
        converter.ClearTasks();
        return InterruptGuard::ExitCode();
    }

    // One display per task; they are thread-safe, so progress is shown from
    // the workers without holding them up for the main thread.
    const bool single = count == 1;
    std::vector<std::unique_ptr<ProgressDisplay>> displays;
    for (const BatchTask& task : tasks) {
        displays.push_back(std::make_unique<ProgressDisplay>(
            stderr, single && run.terminal, single ? std::string() : task.input + ": "));
    }
    converter.SetProgressInterval(single && run.terminal ? 250 : 1000);
    converter.SetTriggerEventInMainThread(false);
    converter.OnProgress = [&displays](TCustomDAdadiZUZ*, PProgressInfo info) {
        if (info->TaskIndex >= 0 && info->TaskIndex < static_cast<int>(displays.size())) {
            displays[static_cast<size_t>(info->TaskIndex)]->Update(*info);
        }
    };

    // Terminations arrive on threads of their own; the lines are printed on
    // the main thread.
    struct Outcome {
        bool reported = false;
    };
    std::vector<Outcome> outcomes(tasks.size());
    bool batchEnded = false;
    int reported = 0;
    bool allFinished = true;
    converter.OnTerminate = [&](TCustomDAdadiZUZ*, const TTerminateInfo& info) {
        PostToMainThread([&, info] {
            if (info.TaskIndex < 0) {
                batchEnded = true;
                return;
            }
            if (info.TaskIndex >= count) return;
            Outcome& outcome = outcomes[static_cast<size_t>(info.TaskIndex)];
            if (outcome.reported) return;
            outcome.reported = true;
            ++reported;
            const BatchTask& task = tasks[static_cast<size_t>(info.TaskIndex)];
            displays[static_cast<size_t>(info.TaskIndex)]->Finish();
            if (info.Finished && !info.Exception) {
                // Beside a file that appeared at its name meanwhile, the output
                // is named as it was put (the task is kept until the batch's
                // lines are printed).
                const std::vector<std::string>& moved =
                    converter.Task(info.TaskIndex).MovedOutputFiles;
                std::printf("done %s\n",
                            LineText(moved.empty() ? task.output : moved.front()).c_str());
            } else {
                allFinished = false;
                if (info.Exception) {
                    std::printf("failed %s: %s\n", LineText(task.input).c_str(),
                                LineText(info.ExceptionMsg).c_str());
                } else if (info.KeptPartialFile.empty()) {
                    std::printf("stopped %s\n", LineText(task.input).c_str());
                } else {
                    std::printf("stopped %s (kept as %s)\n", LineText(task.input).c_str(),
                                LineText(info.KeptPartialFile).c_str());
                }
            }
            std::fflush(stdout);
        });
    };

    bool stopping = false;
    converter.StartTask(run.jobs > 0 ? std::min(run.jobs, count) : AutoFilesAtOnce(count));
    for (;;) {
        WaitServingMainThread(
            [&] { return batchEnded || (InterruptGuard::Interrupted() && !stopping); });
        if (batchEnded) break;
        stopping = true;
        converter.StopTask(true);
    }
    // The batch end is delivered after every task's report has been handed
    // over; the posted lines may still be queued.
    WaitServingMainThread([&] { return reported == count; }, std::chrono::seconds(5));
    converter.ClearTasks();
    converter.OnProgress = nullptr;
    converter.OnTerminate = nullptr;

    if (stopping) {
        std::fprintf(stderr, "interrupted\n");
        return InterruptGuard::ExitCode();
    }
    return allFinished && reported == count ? kExitOk : kExitFailed;
}

std::string StrictFailure(TDAdadiZUZ& converter, int task) {
    const std::vector<std::string>& warnings = converter.Task(task).OptionWarnings();
    return warnings.empty() ? std::string() : warnings.front();
}

}  // namespace zorvex::cli
