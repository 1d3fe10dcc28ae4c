#include "tests/tools/format_expectations.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "app/core/formats/duration_reader.h"
#include "app/core/formats/format_settings.h"
#include "app/core/formats/settings_controller.h"
#include "tests/support/process.h"

namespace zorvex::test {
namespace {

struct ContainerFacts {
    const char* formatName;
    const char* video;  // the muxer's default video codec
    const char* audio;
};

// Keyed by forced container, disc target or file extension.
const std::map<std::string, ContainerFacts>& Containers() {
    static const char* kMov = "mov,mp4,m4a,3gp,3g2,mj2";
    static const std::map<std::string, ContainerFacts> table = {
        {"mpg", {"mpeg", "mpeg1video", "mp2"}},
        {"vob", {"mpeg", "mpeg2video", "mp2"}},
        {"vcd", {"mpeg", "mpeg1video", "mp2"}},
        {"svcd", {"mpeg", "mpeg2video", "mp2"}},
        {"dvd", {"mpeg", "mpeg2video", "ac3"}},
        {"mp4", {kMov, "h264", "aac"}},
        {"mov", {kMov, "h264", "aac"}},
        {"m4a", {kMov, "", "aac"}},
        {"mkv", {"matroska,webm", "h264", "vorbis"}},
        {"avi", {"avi", "mpeg4", "mp3"}},
        {"flv", {"flv", "flv1", "mp3"}},
        {"swf", {"swf", "flv1", "mp3"}},
        {"rm", {"rm", "rv10", "ac3"}},
        {"wmv", {"asf", "msmpeg4v3", "wmav2"}},
        {"asf", {"asf", "msmpeg4v3", "wmav2"}},
        {"wma", {"asf", "", "wmav2"}},
        {"mp3", {"mp3", "", "mp3"}},
        {"wav", {"wav", "", "pcm_s16le"}},
        {"ac3", {"ac3", "", "ac3"}},
        {"ogg", {"ogg", "", "vorbis"}},
        {"mp2", {"mp3", "", "mp2"}},
        {"flac", {"flac", "", "flac"}},
        {"amr", {"amr", "", "amr_nb"}},
    };
    return table;
}

// Encoder name -> the codec name ffprobe reports.
std::string CodecOf(const std::string& encoder) {
    static const std::map<std::string, std::string> table = {
        {"libx264", "h264"},   {"libxvid", "mpeg4"},    {"msmpeg4", "msmpeg4v3"},
        {"libmp3lame", "mp3"}, {"libvorbis", "vorbis"}, {"libopencore_amrnb", "amr_nb"},
        {"libfaac", "aac"},
    };
    auto it = table.find(encoder);
    return it == table.end() ? encoder : it->second;
}

const char* TargetName(int type) {
    return type == 1 ? "vcd" : type == 2 ? "svcd" : type == 3 ? "dvd" : "";
}

std::string Extension(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    return ext;
}

// "480*272  (PSP ...)": width, one separator, height, anything after.
bool ParseSize(const std::string& text, int& width, int& height) {
    char* end = nullptr;
    width = static_cast<int>(std::strtol(text.c_str(), &end, 10));
    if (end == text.c_str() || *end == '\0') return false;
    const char* rest = end + 1;
    height = static_cast<int>(std::strtol(rest, &end, 10));
    return end != rest;
}

double ParseRate(const std::string& text) {
    const auto slash = text.find('/');
    if (slash == std::string::npos) return std::atof(text.c_str());
    const double den = std::atof(text.c_str() + slash + 1);
    return den == 0 ? 0 : std::atof(text.substr(0, slash).c_str()) / den;
}

}  // namespace

TOutputOptions DefaultOutputRecord(int formatId, const std::string& source,
                                   const std::string& outputFolder) {
    app::FixedDurationReader reader(3'000'000);
    app::FormatSettingsController controller(reader, nullptr);
    app::TFormatSettings fmt;
    app::ResetFormatSettings(fmt);
    fmt.FmtSourceFile = source;
    controller.OfferCutRange(true);
    controller.Show(formatId, fmt, outputFolder);
    controller.Confirm();
    TOutputOptions out;
    InitOutputOptions(out);
    out.FileName = fmt.FmtOutputFile;
    app::ApplyFormatSettings(fmt, true, out);
    return out;
}

ProbeFacts ExpectedFacts(const TOutputOptions& r, const SourceClip& source) {
    const std::string target = TargetName(r.TargetType);
    const std::string key = !r.FileFormat.empty() ? r.FileFormat
                            : !target.empty()     ? target
                                                  : Extension(r.FileName);
    const ContainerFacts& container = Containers().at(key);
    ProbeFacts f;
    f.formatName = container.formatName;

    // Disc targets: PAL unless NTSC was asked for (the source runs at 25 fps).
    const bool ntsc = r.TargetNorm == 2;
    if (!r.DisableVideo) {
        f.videoCodec = !r.VideoCodec.empty() ? CodecOf(r.VideoCodec) : container.video;
        f.width = source.width;
        f.height = source.height;
        f.fps = source.fps;
        if (target == "vcd") {
            f.width = 352, f.height = ntsc ? 240 : 288;
        } else if (target == "svcd") {
            f.width = 480, f.height = ntsc ? 480 : 576;
        } else if (target == "dvd") {
            f.width = 720, f.height = ntsc ? 480 : 576;
        }
        if (!target.empty()) f.fps = ntsc ? 30000.0 / 1001 : 25;
        if (!r.FrameSize.empty()) ParseSize(r.FrameSize, f.width, f.height);
        if (!r.FrameRate.empty()) f.fps = ParseRate(r.FrameRate);
    }
    f.audioCodec = !r.AudioCodec.empty() ? CodecOf(r.AudioCodec) : container.audio;
    f.sampleRate = target.empty() ? source.sampleRate : target == "dvd" ? 48000 : 44100;
    if (r.AudioSampleRate > 0) f.sampleRate = r.AudioSampleRate;
    f.channels = target.empty() ? source.channels : 2;
    if (r.AudioChannels > 0) f.channels = r.AudioChannels;
    return f;
}

std::vector<std::string> FfmpegArguments(const TOutputOptions& r) {
    std::vector<std::string> a;
    auto add = [&a](std::string name, std::string value) {
        a.push_back(std::move(name));
        a.push_back(std::move(value));
    };
    if (r.TargetType >= 1 && r.TargetType <= 3) {
        const char* norm = r.TargetNorm == 1 ? "pal-" : r.TargetNorm == 2 ? "ntsc-" : "";
        add("-target", std::string(norm) + TargetName(r.TargetType));
    }
    if (!r.VideoCodec.empty()) add("-c:v", r.VideoCodec);
    if (!r.VideoTag.empty()) add("-tag:v", r.VideoTag);
    int width = 0, height = 0;
    if (!r.FrameSize.empty() && ParseSize(r.FrameSize, width, height)) {
        add("-s", std::to_string(width) + "x" + std::to_string(height));
    }
    if (!r.FrameRate.empty()) add("-r", r.FrameRate);
    if (!r.FrameAspectRatio.empty()) add("-aspect", r.FrameAspectRatio);
    if (r.VideoBitrate > 0) add("-b:v", std::to_string(r.VideoBitrate));
    if (!r.VideoFilters.empty()) add("-vf", r.VideoFilters);
    if (r.DisableVideo) a.push_back("-vn");
    if (!r.AudioCodec.empty()) add("-c:a", r.AudioCodec);
    if (r.AudioBitrate > 0) add("-b:a", std::to_string(r.AudioBitrate));
    if (r.AudioSampleRate > 0) add("-ar", std::to_string(r.AudioSampleRate));
    if (r.AudioChannels > 0) add("-ac", std::to_string(r.AudioChannels));
    if (r.AudioVolume >= 0) add("-af", "volume=" + std::to_string(r.AudioVolume / 256.0));
    if (!r.FileFormat.empty()) add("-f", r.FileFormat);
    if (r.Duration != NoPtsValue) add("-t", std::to_string(r.Duration / 1e6));
    return a;
}

ProbeFacts Probe(const std::string& file, std::string* err) {
    ProcessResult p = RunProcess(
        "/usr/bin/ffprobe",
        {"-v", "error", "-show_entries",
         "format=format_name:stream=codec_type,codec_name,width,height,r_frame_rate,sample_rate,"
         "channels",
         "-of", "compact=p=1:nk=0", file});
    ProbeFacts f;
    if (p.exitCode != 0) {
        if (err) *err = p.err;
        return f;
    }
    std::istringstream lines(p.out);
    std::string line;
    std::string formatName;
    while (std::getline(lines, line)) {
        std::map<std::string, std::string> fields;
        std::istringstream parts(line);
        std::string part, section;
        std::getline(parts, section, '|');
        while (std::getline(parts, part, '|')) {
            const auto eq = part.find('=');
            if (eq != std::string::npos) fields[part.substr(0, eq)] = part.substr(eq + 1);
        }
        if (section == "format") {
            formatName = fields["format_name"];
        } else if (section == "stream" && fields["codec_type"] == "video" && f.videoCodec.empty()) {
            f.videoCodec = fields["codec_name"];
            f.width = std::atoi(fields["width"].c_str());
            f.height = std::atoi(fields["height"].c_str());
            f.fps = ParseRate(fields["r_frame_rate"]);
        } else if (section == "stream" && fields["codec_type"] == "audio" && f.audioCodec.empty()) {
            f.audioCodec = fields["codec_name"];
            f.sampleRate = std::atoi(fields["sample_rate"].c_str());
            f.channels = std::atoi(fields["channels"].c_str());
        }
    }
    f.formatName = formatName;
    return f;
}

std::string Differences(const ProbeFacts& e, const ProbeFacts& a) {
    std::ostringstream out;
    auto check = [&out](const char* what, const auto& expected, const auto& actual) {
        if (!(expected == actual))
            out << what << " " << actual << " (expected " << expected << ") ";
    };
    check("container", e.formatName, a.formatName);
    check("video", e.videoCodec, a.videoCodec);
    if (!e.videoCodec.empty()) {
        check("width", e.width, a.width);
        check("height", e.height, a.height);
        if (std::abs(a.fps - e.fps) > e.fps * 0.01)
            out << "fps " << a.fps << " (expected " << e.fps << ") ";
    }
    check("audio", e.audioCodec, a.audioCodec);
    check("rate", e.sampleRate, a.sampleRate);
    check("channels", e.channels, a.channels);
    return out.str();
}

}  // namespace zorvex::test
