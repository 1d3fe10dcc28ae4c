// Runs a child process and collects its output, for tests of the programs.
#pragma once

#include <string>
#include <vector>

namespace zorvex::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when the child did not exit normally
    int signal = 0;     // the signal that ended it, if any
    std::string out;
    std::string err;
};

// Runs program with args; stdin is /dev/null. Extra environment entries are
// "NAME=VALUE" strings added to the current environment.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& extraEnv = {}, int timeoutSeconds = 120);

// The program that runs "COMMAND [ARG...]" (its arguments) on an X display of
// its own, for RunProcess; "-e FILE" before the command keeps what the X
// server prints.
inline constexpr const char* kOwnDisplay = ZORVEX_SOURCE_DIR "/tests/support/own_display.sh";

}  // namespace zorvex::test
