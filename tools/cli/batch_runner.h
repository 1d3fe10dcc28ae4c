// Running a converter component's batch from the command line, shared by the
// commands that convert (transcode, batch, convert).
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "media/converter.h"

namespace zorvex::cli {

// While it lives, Ctrl+C (SIGINT), SIGTERM and SIGHUP ask the batch to stop
// instead of ending the process; a file-size limit and a closed pipe become
// write errors of the output.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
    static bool Interrupted();
    // 128 + the signal that stopped the batch: 130, 143 or 129.
    static int ExitCode();

private:
    struct sigaction previousStop_[3]{};
    struct sigaction previousXfsz_ {};
    struct sigaction previousPipe_ {};
};

// Task i of the converter converts input into output.
struct BatchTask {
    std::string input;
    std::string output;
};

struct BatchRun {
    // Tasks converted at the same time; 0: one per usable core (AutoFilesAtOnce),
    // each task's codec threads sharing the cores.
    int jobs = 0;
    // One task: its progress as a bar on a terminal, else a line per second.
    // Several: a line per task and second, "INPUT: progress ...".
    bool terminal = false;
};

// Runs the converter's tasks as one batch (StartTask(jobs)) on worker threads.
// Prints one "done OUTPUT", "failed INPUT: MESSAGE" or "stopped INPUT" line per
// task on stdout, in the order they end (a stopped task whose output would
// have replaced an existing file says "stopped INPUT (kept as PARTIAL)"); an
// interrupt stops the batch with StopTask(true) and prints "interrupted" on
// stderr. Clears the tasks at the end. Exit code: kExitOk when every task
// finished, InterruptGuard::ExitCode() after an interrupt, else kExitFailed.
int RunBatch(TDAdadiZUZ& converter, const std::vector<BatchTask>& tasks, const BatchRun& run);

// With --strict, a task whose engine warned about one of its options (an
// unknown name, a refused value) fails instead of converting: the first such
// warning, or the empty text when the task may run.
std::string StrictFailure(TDAdadiZUZ& converter, int task);

}  // namespace zorvex::cli
