#include "app/core/formats/format_settings.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "app/core/formats/format_catalogue.h"
#include "media/engine/engine.h"
#include "media/log.h"

namespace zorvex::app {
namespace {

constexpr std::int32_t kNotSet = -1000;

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

// Whole decimal number; nullopt-like false when the text is not one.
bool ParseInt(std::string_view text, std::int64_t& value) {
    if (text.empty()) return false;
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// "12.2" -> 12200, "4.75" -> 4750, "128" -> 128000: exact, no binary fractions.
std::int32_t ThousandsOf(std::string_view text) {
    const auto dot = text.find('.');
    std::int64_t whole = 0;
    if (!ParseInt(text.substr(0, dot), whole)) return kNotSet;
    std::int64_t value = whole * 1000;
    if (dot != std::string_view::npos) {
        std::string_view fraction = text.substr(dot + 1);
        std::int64_t scale = 100;
        for (std::size_t i = 0; i < fraction.size(); ++i) {
            const char c = fraction[i];
            if (c < '0' || c > '9') return kNotSet;
            if (i < 3) {
                value += (c - '0') * scale;
                scale /= 10;
            } else if (i == 3 && c >= '5') {
                value += 1;  // round at the fourth digit
            }
        }
    }
    return value > INT32_MAX ? kNotSet : static_cast<std::int32_t>(value);
}

// Digits of a time box; saturates so that absurd entries compare as huge rather
// than wrapping around.
std::int64_t BoxValue(const std::string& text) {
    constexpr std::int64_t kCap = 1'000'000'000'000LL;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') continue;
        value = std::min(kCap, value * 10 + (c - '0'));
    }
    return value;
}

struct VideoEncoderEffect {
    const char* codec;
    const char* tag;
    const char* container;
};

const std::map<std::string, VideoEncoderEffect, std::less<>>& VideoEncoders() {
    static const std::map<std::string, VideoEncoderEffect, std::less<>> table = {
        {"Divx 5 视频压缩器", {"mpeg4", "DX50", ""}},
        {"MPEG4 视频压缩器", {"mpeg4", "", ""}},
        {"MPEG4视频压缩器", {"mpeg4", "", ""}},
        {"XviD 视频压缩器1", {"mpeg4", "XVID", ""}},
        {"XviD 视频压缩器2", {"libxvid", "", ""}},
        {"Divx 视频压缩器", {"msmpeg4", "", ""}},
        {"Mjpeg 视频压缩器", {"mjpeg", "", ""}},
        {"H264/AVC高清视频压缩器", {"libx264", "", ""}},
        {"RM视频压缩器1", {"rv10", "", ""}},
        {"RM视频压缩器2", {"rv20", "", ""}},
        {"WMV视频压缩器", {"wmv2", "", ""}},
        {"ASF视频压缩器", {"msmpeg4", "", "asf"}},
        {"MPEG视频压缩器", {"mpeg1video", "", ""}},
        {"FLASH格式视频压缩器", {"", "", ""}},
        {"FLV格式视频压缩器", {"", "", ""}},
        {"QuickTime视频压缩器", {"", "", ""}},
        {"VOB视频压缩器", {"", "", ""}},
        {"该格式无视频", {"", "", ""}},
    };
    return table;
}

struct DiscEncoder {
    const char* target;
    const char* norm;
};

const std::map<std::string, DiscEncoder, std::less<>>& DiscEncoders() {
    static const std::map<std::string, DiscEncoder, std::less<>> table = {
        {"PAL_VCD视频压缩器", {"vcd", "PAL"}},   {"NTSC_VCD视频压缩器", {"vcd", "NTSC"}},
        {"PAL_SVCD视频压缩器", {"svcd", "PAL"}}, {"NTSC_SVCD视频压缩器", {"svcd", "NTSC"}},
        {"PAL_DVD视频压缩器", {"dvd", "PAL"}},   {"NTSC_DVD视频压缩器", {"dvd", "NTSC"}},
    };
    return table;
}

const std::map<std::string, std::string, std::less<>>& AudioEncoders() {
    static const std::map<std::string, std::string, std::less<>> table = {
        {"MP3音频编码器", "libmp3lame"},
        {"Flac音频编码器", "flac"},
        {"AAC音频编码器", "libfaac"},
        {"AC3音频编码器", "ac3"},
        {"自动音频编码器", "AUTO"},
        {"WMV音频编码器", "wmav2"},
        {"WMA音频编码器", "wmav2"},
        {"ASF音频编码器1", "wmav2"},
        {"ASF音频编码器2", "wmav1"},
        {"OGG音频编码器", "libvorbis"},
        {"AMR音频编码器", "libopencore_amrnb"},
        {"WAVE音频编码器", ""},
        {"RM音频编码器", ""},
        {"MP2音频编码器", ""},
        {"VOB音频编码器", ""},
    };
    return table;
}

void ApplyDiscTarget(const DiscEncoder& disc, const SettingsSelection& selection,
                     TFormatSettings& s) {
    s.FmtTarget = disc.target;
    s.FmtNorm = disc.norm;
    // The target decides what these would have set.
    s.FmtChannels.clear();
    s.FmtSampleRate.clear();
    s.FmtFrameSize.clear();
    s.FmtFrameRate.clear();
    s.FmtAspect.clear();
    s.FmtContainer.clear();
    s.FmtVideoTag.clear();
    s.FmtVideoCodec.clear();
    s.FmtAudioCodec.clear();
    s.FmtVolume = "256";
    s.FmtVideoBitRate = kNotSet;
    s.FmtAudioBitRate = kNotSet;
    s.FmtOutputFile = OutputPathFor(selection.outputFolder, s.FmtOutputFile,
                                    std::string("_") + disc.norm + ".mpg");
}

void AppendFilter(std::string& chain, const char* filter) {
    if (!chain.empty()) chain += ',';
    chain += filter;
}

// The encoder the libraries have for a name, told in the log when it differs.
std::string EncoderToUse(const std::string& name) {
    std::string available = AvailableEncoderName(name);
    if (available != name) {
        Logger().LogFmt(nullptr, llInfo, "Encoder %s is not available; using %s instead.",
                        name.c_str(), available.c_str());
    }
    return available;
}

const std::string& Caption(const SettingsSelection& selection, ChoiceKind kind) {
    return selection.captions[Index(kind)];
}

}  // namespace

void ResetFormatSettings(TFormatSettings& settings) {
    TFormatSettings fresh;
    fresh.FmtSourceFile = std::move(settings.FmtSourceFile);
    fresh.FmtCutMode = std::move(settings.FmtCutMode);
    settings = std::move(fresh);
}

const char* ConfirmMessage(ConfirmResult result) {
    switch (result) {
        case ConfirmResult::StopAfterDuration:
            return "截取时间设置错误，不允许停止时间大于时间长度！";
        case ConfirmResult::StopNotAfterStart:
            return "截取时间设置错误，不允许起始时间大于等于停止时间！";
        case ConfirmResult::Confirmed:
            break;
    }
    return "";
}

std::string VolumeForCaption(const std::string& caption) {
    static const std::map<std::string, std::string, std::less<>> table = {
        {"无声音", "0"},          {"音量降低90%", "26"},   {"音量降低80%", "51"},
        {"音量降低70%", "77"},    {"音量降低60%", "102"},  {"音量降低50%", "128"},
        {"音量降低40%", "154"},   {"音量降低30%", "179"},  {"音量降低20%", "205"},
        {"音量降低10%", "230"},   {"音量保持不变", "256"}, {"音量增加10%", "282"},
        {"音量增加20%", "307"},   {"音量增加30%", "333"},  {"音量增加40%", "358"},
        {"音量增加50%", "384"},   {"音量增加60%", "410"},  {"音量增加70%", "435"},
        {"音量增加80%", "461"},   {"音量增加90%", "486"},  {"音量增加1倍", "512"},
        {"音量增加1.5倍", "640"}, {"音量增加2倍", "768"},  {"音量增加3倍", "1024"},
        {"音量增加4倍", "1280"},  {"音量增加5倍", "1536"}, {"音量增加6倍", "1792"},
        {"音量增加7倍", "2048"},
    };
    auto it = table.find(caption);
    return it == table.end() ? std::string() : it->second;
}

ConfirmResult ConfirmFormatSettings(SettingsSelection& sel, TFormatSettings& s) {
    // Every confirmation starts afresh, so a second one after a refused cut range
    // gives the same result as the first.
    s.FmtVideoTag.clear();
    s.FmtFilters.clear();
    s.FmtOutputFile = sel.proposedOutputFile;

    // The order matters: a disc encoder below replaces the picture and sound
    // settings read before it with what its disc needs.
    const std::string& channels = Caption(sel, ChoiceKind::Channels);
    if (channels == "立体声") s.FmtChannels = "2";
    if (channels == "单声道") s.FmtChannels = "1";

    const std::string& rate = Caption(sel, ChoiceKind::SampleRate);
    s.FmtSampleRate = rate == "自动音频采样率" ? "AUTO" : rate;

    // Captions are in kbit/s, with "12.2" among the AMR rates.
    const std::string& audioBitRate = Caption(sel, ChoiceKind::AudioBitRate);
    s.FmtAudioBitRate = audioBitRate == "自动音频比特率" ? kNotSet : ThousandsOf(audioBitRate);

    // A note after the size ("320*240 (PSP...)") travels along; the size in
    // front is what counts.
    const std::string& size = Caption(sel, ChoiceKind::FrameSize);
    s.FmtFrameSize = (size == "保持原分辨率" || size == "无") ? "" : size;
    const std::string& frameRate = Caption(sel, ChoiceKind::FrameRate);
    s.FmtFrameRate = (frameRate == "保持原帧速率" || frameRate == "无") ? "" : frameRate;

    const std::string& scaling = Caption(sel, ChoiceKind::Scaling);
    if (scaling == "普通视频4:3模式") s.FmtAspect = "4:3";
    if (scaling == "宽屏视频16:9模式") s.FmtAspect = "16:9";
    if (scaling == "无") s.FmtAspect.clear();

    // The video bit rate is the number before "kbps".
    const std::string& videoBitRate = Caption(sel, ChoiceKind::VideoBitRate);
    if (videoBitRate == "无") {
        s.FmtVideoBitRate = kNotSet;
    } else {
        std::int64_t kbps = 0;
        const std::string number =
            Trim(std::string_view(videoBitRate).substr(0, videoBitRate.find("kbps")));
        s.FmtVideoBitRate = ParseInt(number, kbps) && kbps * 1000 <= INT32_MAX
                                ? static_cast<std::int32_t>(kbps * 1000)
                                : kNotSet;
    }

    // A disc encoder hands everything above to the disc target.
    const std::string& encoder = Caption(sel, ChoiceKind::VideoEncoder);
    if (auto it = VideoEncoders().find(encoder); it != VideoEncoders().end()) {
        s.FmtVideoCodec = it->second.codec;
        if (*it->second.tag) s.FmtVideoTag = it->second.tag;
        if (*it->second.container) s.FmtContainer = it->second.container;
    } else if (auto disc = DiscEncoders().find(encoder); disc != DiscEncoders().end()) {
        ApplyDiscTarget(disc->second, sel, s);
    }

    // The filters run in this fixed order whatever order they were ticked in.
    if (sel.hflip) AppendFilter(s.FmtFilters, "hflip");
    if (sel.vflip) AppendFilter(s.FmtFilters, "vflip");
    if (sel.negate) AppendFilter(s.FmtFilters, "negate");

    if (auto it = AudioEncoders().find(Caption(sel, ChoiceKind::AudioEncoder));
        it != AudioEncoders().end()) {
        s.FmtAudioCodec = it->second;
    }

    // "Vedio" is how the catalogue spells the picture kind.
    s.FmtTarget = sel.discTarget;
    if (sel.mediaKind == "Music") s.FmtAudioOnly = true;
    if (sel.mediaKind == "Vedio") s.FmtAudioOnly = false;

    if (std::string volume = VolumeForCaption(Caption(sel, ChoiceKind::Volume)); !volume.empty()) {
        s.FmtVolume = volume;
    }

    // Empty time boxes count as zero.
    if (!sel.cutChecked) {
        s.FmtCutStart = 0;
        s.FmtCutMode = "NoSelect";
        return ConfirmResult::Confirmed;
    }
    for (std::string& box : sel.timeBoxes) {
        if (box.empty()) box = "00";
    }
    const std::int64_t startMs =
        (BoxValue(sel.timeBoxes[tbStartHours]) * 3600 +
         BoxValue(sel.timeBoxes[tbStartMinutes]) * 60 + BoxValue(sel.timeBoxes[tbStartSeconds])) *
        1000;
    const std::int64_t stopMs =
        (BoxValue(sel.timeBoxes[tbStopHours]) * 3600 + BoxValue(sel.timeBoxes[tbStopMinutes]) * 60 +
         BoxValue(sel.timeBoxes[tbStopSeconds])) *
        1000;
    // An unknown length (the source could not be read) admits no cut.
    std::int64_t durationSeconds = 0;
    if (!ParseInt(sel.sourceDuration, durationSeconds)) durationSeconds = 0;
    if (stopMs > durationSeconds * 1000) return ConfirmResult::StopAfterDuration;
    if (stopMs <= startMs) return ConfirmResult::StopNotAfterStart;
    s.FmtCutStart = startMs;
    s.FmtCutLength = stopMs - startMs;
    s.FmtCutMode = "Select";
    return ConfirmResult::Confirmed;
}

void ApplyFormatSettings(const TFormatSettings& s, bool addedAlone, TInputOptions& input) {
    if (addedAlone && s.FmtCutMode == "Select") input.StartTime = s.FmtCutStart * 1000;
}

void ApplyFormatSettings(const TFormatSettings& s, bool addedAlone, TOutputOptions& out) {
    std::int64_t number = 0;
    if (!s.FmtChannels.empty() && ParseInt(s.FmtChannels, number)) {
        out.AudioChannels = static_cast<int>(number);
    }
    if (!s.FmtSampleRate.empty() && s.FmtSampleRate != "AUTO" &&
        ParseInt(s.FmtSampleRate, number)) {
        out.AudioSampleRate = static_cast<int>(number);
    }
    if (!s.FmtFrameSize.empty()) out.FrameSize = s.FmtFrameSize;
    if (!s.FmtFrameRate.empty()) out.FrameRate = s.FmtFrameRate;
    if (!s.FmtTarget.empty()) {
        out.TargetType = s.FmtTarget == "vcd"    ? 1
                         : s.FmtTarget == "svcd" ? 2
                         : s.FmtTarget == "dvd"  ? 3
                                                 : 0;
        out.TargetNorm = s.FmtNorm == "PAL" ? 1 : s.FmtNorm == "NTSC" ? 2 : 0;
    }
    if (addedAlone) {
        if (s.FmtCutMode == "Select") {
            out.Duration = s.FmtCutLength * 1000;
        } else {
            out.StartTime = 0;
        }
    }
    if (s.FmtVolume != "256" && ParseInt(s.FmtVolume, number))
        out.AudioVolume = static_cast<int>(number);
    out.DisableVideo = s.FmtAudioOnly;
    if (!s.FmtAspect.empty()) out.FrameAspectRatio = s.FmtAspect;
    if (s.FmtVideoBitRate > 0) out.VideoBitrate = s.FmtVideoBitRate;
    if (s.FmtAudioBitRate > 0) out.AudioBitrate = s.FmtAudioBitRate;
    if (!s.FmtContainer.empty()) out.FileFormat = s.FmtContainer;
    if (!s.FmtFilters.empty()) out.VideoFilters = s.FmtFilters;
    if (!s.FmtVideoTag.empty()) out.VideoTag = s.FmtVideoTag;
    if (!s.FmtVideoCodec.empty()) {
        out.VideoCodec = EncoderToUse(s.FmtVideoCodec);
        if (s.FmtVideoCodec == "libx264") out.VideoPreset = "libx264-default";
        // DivX and XviD tags only in AVI files.
        if (s.FmtVideoCodec == "mpeg4" &&
            !(s.FmtExtTag == ".avi" && (out.VideoTag == "DX50" || out.VideoTag == "XVID"))) {
            out.VideoTag.clear();
        }
    }
    if (!s.FmtAudioCodec.empty() && s.FmtAudioCodec != "AUTO") {
        out.AudioCodec = EncoderToUse(s.FmtAudioCodec);
    }
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string OutputPathFor(const std::string& folder, const std::string& path,
                          const std::string& newExtension) {
    std::string name = FileNameOf(path);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    std::string result = folder;
    if (!result.empty() && result.back() != '/') result += '/';
    return result + name + newExtension;
}

}  // namespace zorvex::app
