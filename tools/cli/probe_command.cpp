// zorvex-cli probe FILE...: the probe's description of each file.
#include <cstdio>
#include <string>
#include <vector>

#include "media/exception.h"
#include "media/log.h"
#include "media/probe.h"
#include "tools/cli/command.h"

namespace zorvex::cli {
namespace {

std::string WithLineFeeds(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

int RunProbe(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(stderr, "usage: zorvex-cli probe FILE...\n");
        return kExitUsage;
    }
    if (!LoadConverterLibraries()) return kExitFailed;
    Logger().SetLogLevel(llQuiet);  // failures are printed below, once
    int code = kExitOk;
    bool first = true;
    TAVProbe probe;
    for (const std::string& file : args) {
        bool loaded = false;
        try {
            loaded = probe.LoadFile(file);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return kExitFailed;
        }
        if (!loaded) {
            std::fprintf(stderr, "%s\n", probe.LastError().c_str());
            code = kExitFailed;
            continue;
        }
        if (!first) std::fputs("\n", stdout);
        first = false;
        std::fputs(WithLineFeeds(probe.GetFileInfoText()).c_str(), stdout);
        std::fputs("\n", stdout);
        probe.CloseFile();
    }
    return code;
}

const CommandRegistrar kProbe({"probe", "FILE...",
                               "print the container, stream and metadata description of each file",
                               &RunProbe});

}  // namespace
}  // namespace zorvex::cli
