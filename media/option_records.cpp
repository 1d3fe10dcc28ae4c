// How the converter component's option records configure a task: the input
// record before its file is opened, the output record around the output file
// and its streams (codecs, presets, the disc target, the record's own fields,
// then the option text's extra streams).
#include "media/option_records.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvex {

namespace {

const char* NormText(int norm) {
    switch (norm) {
        case 1:
            return "pal";
        case 2:
            return "ntsc";
        default:
            return "auto";
    }
}

// The record's remaining fields, in the order of the record, each under its
// condition (codecs, presets, frame size, filters and the target are applied
// around this).
void ApplyOutputOptions(DORudov& task, const TOutputOptions& o) {
    auto text = [&](const char* name, const std::string& value) {
        if (!value.empty()) task.ParseOption(name, value);
    };
    auto generic = [&](const char* name, int value) {
        if (value > 0) task.SetGenericIntOption(name, value);
    };
    text("f", o.FileFormat);
    generic("packetsize", o.PacketSize);
    generic("muxrate", o.MuxRate);
    if (o.MuxDelay > 0) task.SetMuxMaxDelay(o.MuxDelay);
    if (o.MuxPreload > 0) task.SetMuxPreload(o.MuxPreload);

    if (o.DisableAudio) task.ParseOption("an", "");
    if (o.AudioVolume >= 0) task.SetAudioVolume(o.AudioVolume);
    task.SetAudioChannels(o.AudioChannels);
    task.SetAudioSampleRate(o.AudioSampleRate);
    generic("ab", o.AudioBitrate);
    generic("abt", o.AudioBitrateTolerance);
    task.ParseOption("alang", o.AudioLanguage);
    task.SetAudioSyncMethod(o.AudioSync);
    text("atag", o.AudioTag);

    if (o.DisableVideo) task.ParseOption("vn", "");
    text("r", o.FrameRate);
    text("aspect", o.FrameAspectRatio);
    const std::pair<const char*, int> crops[] = {{"croptop", o.CropTop},
                                                 {"cropbottom", o.CropBottom},
                                                 {"cropleft", o.CropLeft},
                                                 {"cropright", o.CropRight}};
    for (const auto& [name, value] : crops) {
        if (value > 0) task.ParseOption(name, std::to_string(value));
    }
    generic("g", o.GOPSize);
    generic("vb", o.VideoBitrate);
    generic("maxrate", o.VideoMaxRate);
    generic("minrate", o.VideoMinRate);
    generic("bt", o.VideoBitrateTolerance);
    generic("bufsize", o.VideoBufSize);
    task.SetVideoSyncMethod(o.VideoSync);
    text("vtag", o.VideoTag);
    task.ParseOption("vlang", o.VideoLanguage);

    if (o.DisableSubtitle) task.ParseOption("sn", "");
    task.ParseOption("slang", o.SubtitleLanguage);

    task.ParseOption("isync", o.InputSync ? "1" : "0");
    if (o.CopyTimestamp) task.ParseOption("copyts", "");
    task.SetStartTime(o.StartTime);
    task.SetRecordingTime(o.Duration);

    const TStreamInfo& info = o.StreamInfo;
    if (info.Timestamp >= 0) task.Settings.RecTimestamp = TimestampToUnixSeconds(info.Timestamp);
    if (info.Year > 0) task.AddMetadata("year", std::to_string(info.Year));
    if (info.Track > 0) task.AddMetadata("track", std::to_string(info.Track));
    const std::pair<const char*, const std::string*> tags[] = {
        {"title", &info.Title},     {"author", &info.Author}, {"copyright", &info.Copyright},
        {"comment", &info.Comment}, {"album", &info.Album},   {"genre", &info.Genre}};
    for (const auto& [key, value] : tags) {
        if (!value->empty()) task.AddMetadata(key, *value);
    }
}

}  // namespace

void ApplyInputRecord(DORudov& task, const std::string& fileName, const TInputOptions* options) {
    if (options != nullptr) {
        TInputOptions copy = *options;
        if (copy.FileName.empty()) copy.FileName = fileName;
        ApplyOptionText(task, ParseOptionText(copy.ExtOptions), true);
        if (!copy.FileFormat.empty()) task.ParseOption("f", copy.FileFormat);
        task.SetStartTime(copy.StartTime);
        task.SetProgramId(copy.ProgramID);
        task.InputOptions.emplace_back(std::move(copy));
    } else {
        task.InputOptions.emplace_back(std::nullopt);
    }
}

bool AddOutputFromRecord(DORudov& task, const std::string& fileName, const TOutputOptions* options,
                         const TEngineHookCallback& hook) {
    const size_t slot = static_cast<size_t>(task.OutputFileCount());
    if (task.OutputOptions.size() <= slot) task.OutputOptions.resize(slot + 1);

    // The def_ values (record fields, else the first such option line) and the
    // stream entries (every such option line, in order) for the new streams.
    std::map<std::string, std::string> defaults;
    std::vector<TOptionLine> streamEntries;
    std::vector<TOptionLine> lines;
    auto defaultOf = [&](const std::string& name) {
        auto it = defaults.find("def_" + name);
        return it == defaults.end() ? std::string() : it->second;
    };
    auto take = [&](const std::string& name) {
        for (auto it = streamEntries.begin(); it != streamEntries.end(); ++it) {
            if (it->Name == name) {
                const std::string value = it->Value;
                streamEntries.erase(it);
                task.ParseOption(name, value);
                return;
            }
        }
        task.ParseOption(name, defaultOf(name));
    };

    bool join = false;
    if (options != nullptr) {
        TOutputOptions copy = *options;
        if (copy.FileName.empty()) copy.FileName = fileName;
        task.OutputOptions[slot] = copy;
        lines = ParseOptionText(copy.ExtOptions);

        auto setDefault = [&](const char* name, const std::string& value) {
            if (!value.empty()) defaults[std::string("def_") + name] = value;
        };
        setDefault("acodec", copy.AudioCodec);
        setDefault("vcodec", copy.VideoCodec);
        setDefault("scodec", copy.SubtitleCodec);
        setDefault("apre", copy.AudioPreset);
        setDefault("vpre", copy.VideoPreset);
        setDefault("spre", copy.SubtitlePreset);
        setDefault("s", copy.FrameSize);
        setDefault("vf", copy.VideoFilters);
        static const char* const kStreamOptions[] = {"acodec", "vcodec", "scodec",   "apre", "vpre",
                                                     "spre",   "s",      "vfilters", "vf"};
        for (const TOptionLine& line : lines) {
            if (line.Value.empty()) continue;
            if (std::find_if(std::begin(kStreamOptions), std::end(kStreamOptions),
                             [&](const char* n) { return line.Name == n; }) ==
                std::end(kStreamOptions)) {
                continue;
            }
            const std::string name = line.Name == "vfilters" ? "vf" : line.Name;
            defaults.try_emplace("def_" + name, line.Value);
            streamEntries.push_back({name, line.Value});
        }

        if (copy.TargetType >= 1 && copy.TargetType <= 3) {
            static const char* const kTargets[] = {"vcd", "svcd", "dvd"};
            task.ApplyTarget(kTargets[copy.TargetType - 1], NormText(copy.TargetNorm),
                             copy.TargetDefaultNorm == 1 ? "pal" : "ntsc");
        }
        for (const char* name : {"acodec", "vcodec", "scodec"}) {
            const std::string value = defaultOf(name);
            if (!value.empty()) task.ParseOption(name, value);
        }
        for (const char* kind : {"apre", "vpre", "spre"}) {
            const std::string value = defaultOf(kind);
            if (!value.empty()) task.ApplyPreset(kind, value);
        }
        ApplyOptionText(task, lines, false);
        ApplyOutputOptions(task, copy);
        if (const std::string size = defaultOf("s"); !size.empty()) task.ParseOption("s", size);
        if (const std::string vf = defaultOf("vf"); !vf.empty()) task.ParseOption("vf", vf);
        if (copy.VideoHook) task.HookCallback = hook;
        join = copy.Join;
    } else {
        task.OutputOptions[slot].reset();
    }

    if (task.AddOutputFile(fileName, join) < 0) {
        task.OutputOptions[slot].reset();
        return false;
    }

    if (options != nullptr) {
        for (const TOptionLine& line : lines) {
            if (line.Name == "newaudio") {
                take("acodec");
                take("apre");
            } else if (line.Name == "newvideo") {
                take("vcodec");
                take("vpre");
                take("s");
                take("vf");
            } else if (line.Name == "newsubtitle") {
                take("scodec");
                take("spre");
            } else {
                continue;
            }
            task.ParseOption(line.Name, line.Value);
        }
    }
    return true;
}

}  // namespace zorvex
