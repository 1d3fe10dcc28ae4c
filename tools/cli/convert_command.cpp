// zorvex-cli convert --format ID [options] FILE...: converts files to one of the
// catalogue's formats along the path the windows take: the format's defaults in
// the settings logic, the chosen captions, the confirmation, the format
// settings, the option records, the converter component.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/core/formats/duration_reader.h"
#include "app/core/formats/format_settings.h"
#include "app/core/formats/settings_controller.h"
#include "app/core/workbench/converter_port.h"
#include "app/core/workbench/task_builder.h"
#include "media/converter.h"
#include "media/log.h"
#include "media/output_paths.h"
#include "media/util.h"
#include "tools/cli/arguments.h"
#include "tools/cli/batch_runner.h"
#include "tools/cli/command.h"
#include "tools/cli/format_options.h"

namespace zorvex::cli {
namespace {

using app::ChoiceKind;

constexpr const char* kUsage =
    "--format ID [--out DIR] [--jobs auto|N] [--cut HH:MM:SS-HH:MM:SS] [--overwrite] [--strict]\n"
    "        [--video-encoder C] [--video-bitrate C] [--frame-size C] [--frame-rate C]\n"
    "        [--audio-encoder C] [--audio-bitrate C] [--sample-rate C] [--channels C]\n"
    "        [--scaling C] [--volume C] [--filter hflip|vflip|negate]... FILE...";

struct Request {
    int formatId = 0;
    bool haveFormat = false;
    std::string outDir;
    int jobs = 0;  // auto
    bool cut = false;
    std::array<std::string, app::kTimeBoxCount> cutBoxes;
    bool overwrite = false;
    bool strict = false;
    std::map<ChoiceKind, std::string> choices;
    std::set<app::PictureFilter> filters;
    std::vector<std::string> files;
};

int Usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "zorvex-cli convert: %s\n", problem.c_str());
    std::fprintf(stderr, "usage: zorvex-cli convert %s\n", kUsage);
    return kExitUsage;
}

// "HH:MM:SS-HH:MM:SS" into the six time boxes; any number of digits per part,
// as the window's boxes take them.
bool ParseCut(const std::string& text, std::array<std::string, app::kTimeBoxCount>& boxes) {
    const auto dash = text.find('-');
    if (dash == std::string::npos) return false;
    const std::string halves[2] = {text.substr(0, dash), text.substr(dash + 1)};
    for (int half = 0; half < 2; ++half) {
        std::vector<std::string> parts;
        std::size_t start = 0;
        for (;;) {
            const auto colon = halves[half].find(':', start);
            parts.push_back(halves[half].substr(start, colon - start));
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
        if (parts.size() != 3) return false;
        for (int i = 0; i < 3; ++i) {
            if (!AllDigits(parts[i])) return false;
            boxes[half * 3 + i] = parts[i];
        }
    }
    return true;
}

// Parses the arguments; returns an exit code, or -1 to go on.
int Parse(const std::vector<std::string>& args, Request& r) {
    std::map<std::string, ChoiceKind> choiceNames;
    for (const ChoiceOption& option : ChoiceOptions()) choiceNames[option.name] = option.kind;
    ArgumentReader reader(args, {"--overwrite", "--strict"});
    ArgumentReader::Item item;
    while (reader.Next(item)) {
        if (item.kind == ArgumentReader::Item::Positional) {
            r.files.push_back(item.value);
            continue;
        }
        if (item.kind == ArgumentReader::Item::Flag) {
            (item.name == "--strict" ? r.strict : r.overwrite) = true;
            continue;
        }
        if (item.kind == ArgumentReader::Item::MissingValue)
            return Usage(item.name + " needs a value");
        const std::string& arg = item.name;
        const std::string& value = item.value;
        if (arg == "--format") {
            if (!ParseFormatId(value, r.formatId)) return Usage("--format needs a format id");
            r.haveFormat = true;
        } else if (arg == "--out") {
            r.outDir = value;
        } else if (arg == "--jobs") {
            if (!ParseJobs(value, 9999, r.jobs))
                return Usage("--jobs needs auto or a number from 1");
        } else if (arg == "--cut") {
            if (!ParseCut(value, r.cutBoxes)) return Usage("--cut needs HH:MM:SS-HH:MM:SS");
            r.cut = true;
        } else if (arg == "--filter") {
            if (value == "hflip") {
                r.filters.insert(app::PictureFilter::HorizontalFlip);
            } else if (value == "vflip") {
                r.filters.insert(app::PictureFilter::VerticalFlip);
            } else if (value == "negate") {
                r.filters.insert(app::PictureFilter::Negative);
            } else {
                return Usage("--filter takes hflip, vflip or negate");
            }
        } else if (auto it = choiceNames.find(arg); it != choiceNames.end()) {
            r.choices[it->second] = value;
        } else {
            return Usage("unknown option " + arg);
        }
    }
    if (!r.haveFormat) return Usage("--format is required");
    if (!app::FindFormat(r.formatId)) {
        return Usage("no format " + std::to_string(r.formatId) + " (see zorvex-cli formats)");
    }
    if (r.files.empty()) return Usage("no FILE given");
    if (r.cut && r.files.size() != 1) return Usage("--cut applies to a single FILE");
    return -1;
}

std::string OptionName(ChoiceKind kind) {
    for (const ChoiceOption& option : ChoiceOptions()) {
        if (option.kind == kind) return option.name;
    }
    return {};
}

// The choices of the request in the settings logic: the video encoder first,
// since picking one may replace another list. Returns an exit code or -1.
int ApplyChoices(const Request& r, app::FormatSettingsController& settings) {
    std::vector<ChoiceKind> order = {ChoiceKind::VideoEncoder};
    for (const ChoiceOption& option : ChoiceOptions()) {
        if (option.kind != ChoiceKind::VideoEncoder) order.push_back(option.kind);
    }
    for (ChoiceKind kind : order) {
        auto it = r.choices.find(kind);
        if (it == r.choices.end()) continue;
        if (!settings.Enabled(kind)) {
            std::fprintf(stderr,
                         "zorvex-cli convert: format %d has no video settings; %s is not offered\n",
                         r.formatId, OptionName(kind).c_str());
            return kExitUsage;
        }
        if (!settings.SelectCaption(kind, it->second)) {
            std::string offered;
            for (std::string_view item : settings.Items(kind)) {
                offered += offered.empty() ? "" : ", ";
                offered += "\"" + std::string(item) + "\"";
            }
            std::fprintf(stderr,
                         "zorvex-cli convert: format %d offers no %s \"%s\"; it offers: %s\n",
                         r.formatId, OptionName(kind).c_str(), it->second.c_str(), offered.c_str());
            return kExitUsage;
        }
    }
    if (!r.filters.empty() && !settings.FiltersEnabled()) {
        std::fprintf(stderr,
                     "zorvex-cli convert: format %d has no video; --filter is not offered\n",
                     r.formatId);
        return kExitUsage;
    }
    for (app::PictureFilter filter : r.filters) settings.SetFilterChecked(filter, true);
    if (r.cut) {
        settings.SetCutChecked(true);
        for (int box = 0; box < app::kTimeBoxCount; ++box) {
            settings.SetTimeBoxText(static_cast<app::TimeBox>(box), r.cutBoxes[box]);
        }
    }
    return -1;
}

std::string Absolute(const std::string& path) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(std::filesystem::path(path), error);
    return error ? path : absolute.lexically_normal().string();
}

int RunConvert(const std::vector<std::string>& args) {
    Request r;
    if (int code = Parse(args, r); code >= 0) return code;
    if (!LoadConverterLibraries()) return kExitFailed;

    // From here on Ctrl+C stops the batch instead of ending the process.
    InterruptGuard interrupts;

    Logger().SetLogLevel(llWarning);
    Logger().SetOnLog([](TFFLogger*, std::uint32_t, TLogLevel, const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
    });

    const std::string outDir = Absolute(r.outDir.empty() ? "." : r.outDir);
    {
        std::error_code error;
        std::filesystem::create_directories(outDir, error);
        if (!std::filesystem::is_directory(outDir)) {
            std::fprintf(stderr, "zorvex-cli convert: cannot create %s\n", outDir.c_str());
            return kExitFailed;
        }
    }
    for (std::string& file : r.files) file = Absolute(file);
    const bool alone = r.files.size() == 1;

    // The settings window's part: defaults, choices, confirmation.
    std::unique_ptr<app::DurationReader> durations;
    if (r.cut) {
        durations = std::make_unique<app::ConverterDurationReader>();
    } else {
        durations = std::make_unique<app::FixedDurationReader>(-1);  // no cut, no need to open
    }
    app::FormatSettingsController settings(*durations, nullptr);
    std::string message;
    settings.OnMessage = [&](const std::string&, const std::string& text) { message = text; };
    app::TFormatSettings fmt;
    app::ResetFormatSettings(fmt);
    settings.OfferCutRange(alone);
    fmt.FmtSourceFile = r.files.front();
    settings.Show(r.formatId, fmt, outDir);
    if (int code = ApplyChoices(r, settings); code >= 0) return code;
    if (settings.Confirm() != app::ConfirmResult::Confirmed) {
        std::fprintf(stderr, "zorvex-cli convert: %s\n", message.c_str());
        return kExitUsage;
    }
    durations.reset();

    // The main window's part: one task per file.
    app::ComponentConverter converter;
    std::vector<BatchTask> tasks;
    OutputReservation outputs;  // never a source, never another output of the run
    for (const std::string& file : r.files) outputs.AddSource(file);
    bool anyFailed = false;
    app::TaskRecipe recipe;
    recipe.alone = alone;
    recipe.confirmedOutput = fmt.FmtOutputFile;
    recipe.outputFolder = outDir;
    recipe.applyInput = [&](TInputOptions& input) { app::ApplyFormatSettings(fmt, alone, input); };
    recipe.applyOutput = [&](TOutputOptions& output) {
        app::ApplyFormatSettings(fmt, alone, output);
    };
    recipe.outputName = [&](const std::string& proposed) {
        return outputs.Reserve(proposed, r.overwrite);
    };
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
        std::error_code missing;
        if (!std::filesystem::exists(file, missing)) {
            fail("No such file or directory");
            continue;
        }
        const app::BuiltTask built = app::BuildTask(converter, file, recipe);
        if (built.failure != app::TaskFailure::None) {
            fail(built.error);
            continue;
        }
        if (const std::string why =
                r.strict ? StrictFailure(converter.Component(), built.index) : "";
            !why.empty()) {
            converter.RemoveTask(built.index);
            fail(why);
            continue;
        }
        tasks.push_back({file, built.output.FileName});
    }
    if (tasks.empty()) {
        Logger().SetOnLog(nullptr);
        return InterruptGuard::Interrupted() ? InterruptGuard::ExitCode() : kExitFailed;
    }
    BatchRun run;
    run.jobs = r.jobs;
    const int code = RunBatch(converter.Component(), tasks, run);
    Logger().SetOnLog(nullptr);
    return code == kExitOk && anyFailed ? kExitFailed : code;
}

const CommandRegistrar kConvert({"convert", kUsage,
                                 "convert FILEs to catalogue format ID with its settings; "
                                 "choice options pick other captions of the format's lists",
                                 &RunConvert});

}  // namespace
}  // namespace zorvex::cli
