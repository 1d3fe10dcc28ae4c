// Subcommands of zorvex-cli. Each lives in its own file and registers itself.
#pragma once

#include <string>
#include <vector>

#include "media/log.h"

namespace zorvex::cli {

// Exit codes shared by every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Command {
    const char* name;
    const char* usage;    // the argument synopsis after the name
    const char* summary;  // one line for --help
    int (*run)(const std::vector<std::string>& args);
};

struct CommandRegistrar {
    explicit CommandRegistrar(const Command& command);
};

const std::vector<Command>& Commands();

// Loads the converter library set from the "LibAV" folder beside the tool or
// through the system's search; prints the loader's message and returns false
// when that fails.
bool LoadConverterLibraries();

// Shows log lines up to the level on stderr, delivered on the logging thread.
// The router passes the engine's status lines at any level; here only what the
// chosen level asks for is shown (each command prints its outcome anyway).
void RouteLogToStderr(TLogLevel level);

// A file's name or a message as it goes into a per-file line ("done",
// "failed", "stopped"): a backslash and the control characters (a newline in
// a name) are written as C escapes, so that each file takes exactly one line.
std::string LineText(const std::string& text);

}  // namespace zorvex::cli
