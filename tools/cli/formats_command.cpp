// zorvex-cli formats [ID]: the output format catalogue, or one format's choices.
#include <cstdio>
#include <string>
#include <vector>

#include "app/core/formats/format_catalogue.h"
#include "tools/cli/command.h"
#include "tools/cli/format_options.h"

namespace zorvex::cli {
namespace {

using app::ChoiceKind;

void PrintEntry(const app::FormatEntry& f) {
    std::printf("%d\t%.*s\t%.*s\n", f.id, static_cast<int>(f.extension.size()), f.extension.data(),
                static_cast<int>(f.caption.size()), f.caption.data());
}

int RunFormats(const std::vector<std::string>& args) {
    if (args.empty()) {
        for (const app::FormatEntry& f : app::Formats()) PrintEntry(f);
        return kExitOk;
    }
    int id = 0;
    const app::FormatEntry* format =
        args.size() == 1 && ParseFormatId(args[0], id) ? app::FindFormat(id) : nullptr;
    if (!format) {
        std::fprintf(stderr, "usage: zorvex-cli formats [ID]   (ID from the list without ID)\n");
        return kExitUsage;
    }
    PrintEntry(*format);
    // Each choice with its option name; "*" marks the preselected caption.
    for (const ChoiceOption& option : ChoiceOptions()) {
        const app::FormatChoice& choice = format->Choice(option.kind);
        const std::string_view label = app::ChoiceLabel(option.kind);
        const bool offered = !(format->audioOnly && IsVideoChoice(option.kind));
        std::printf("%s  %.*s%s\n", option.name, static_cast<int>(label.size()), label.data(),
                    offered ? "" : "  (not offered)");
        if (!offered) continue;
        for (int i = 0; i < static_cast<int>(choice.list->items.size()); ++i) {
            const std::string_view item = choice.list->items[i];
            std::printf("  %c %.*s\n", i == choice.defaultIndex ? '*' : ' ',
                        static_cast<int>(item.size()), item.data());
        }
    }
    std::printf("--filter  %s\n", format->audioOnly ? "(not offered)" : "hflip, vflip, negate");
    return kExitOk;
}

const CommandRegistrar kFormats({"formats", "[ID]",
                                 "list the output formats (id, extension, caption), or the "
                                 "choices of format ID",
                                 &RunFormats});

}  // namespace
}  // namespace zorvex::cli
