#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/version.h"
#include "media/loader.h"
#include "media/main_thread.h"
#include "tools/cli/command.h"

namespace zorvex::cli {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

CommandRegistrar::CommandRegistrar(const Command& command) {
    Registry().push_back(command);
}

const std::vector<Command>& Commands() {
    return Registry();
}

bool LoadConverterLibraries() {
    Loader().SetLibraryFolder(DefaultLibraryFolder());
    if (Loader().LoadLibrarySet(ConverterLibrarySet)) return true;
    std::fprintf(stderr, "%s\n", Loader().LastError().c_str());
    return false;
}

void RouteLogToStderr(TLogLevel level) {
    Logger().SetLogLevel(level);
    Logger().SetTriggerEventInMainThread(false);
    Logger().SetOnLog(
        [level](TFFLogger*, std::uint32_t, TLogLevel lineLevel, const std::string& text) {
            if (lineLevel <= level && lineLevel != llQuiet)
                std::fprintf(stderr, "%s\n", text.c_str());
        });
}

std::string LineText(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '\\':
                line += "\\\\";
                break;
            case '\n':
                line += "\\n";
                break;
            case '\r':
                line += "\\r";
                break;
            case '\t':
                line += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    char code[5];
                    std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned char>(c));
                    line += code;
                } else {
                    line += c;
                }
        }
    }
    return line;
}

namespace {

void PrintHelp(std::FILE* out) {
    std::fprintf(out,
                 "Usage: zorvex-cli COMMAND [ARGS]...\n"
                 "       zorvex-cli --help | --version\n\nCommands:\n");
    for (const Command& c : Commands()) {
        std::fprintf(out, "  %s %s\n      %s\n", c.name, c.usage, c.summary);
    }
}

}  // namespace
}  // namespace zorvex::cli

int main(int argc, char** argv) {
    using namespace zorvex::cli;
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return kExitOk;
    }
    if (name == "--version" || name == "-v") {
        std::printf("zorvex-cli %s\n", ZORVEX_VERSION);
        return kExitOk;
    }
    for (const Command& c : Commands()) {
        if (name == c.name) {
            zorvex::QueuedMainThreadDispatcher dispatcher;
            zorvex::SetMainThreadDispatcher(&dispatcher);
            const int code = c.run(std::vector<std::string>(argv + 2, argv + argc));
            zorvex::SetMainThreadDispatcher(nullptr);
            return code;
        }
    }
    std::fprintf(stderr, "zorvex-cli: unknown command '%s'\n\n", name.c_str());
    PrintHelp(stderr);
    return kExitUsage;
}
