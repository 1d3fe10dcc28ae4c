// Presets: named lists of codec option assignments, built in for libx264 or
// read from a file. They act through the codec choice and the generic option
// store exactly as the options they stand for; the old libx264 keys of the
// built-in texts (flags2=+bpyramid, partitions=+parti8x8, directpred, cqp) are
// translated to today's libx264 options by the generic option store.
#include "media/engine/presets.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "media/engine/engine.h"
#include "media/text.h"

namespace zorvex {

using text::Fmt;
using text::Lower;
using text::Trim;

namespace {

// One of the 26 speed presets: the keys that differ between them.
struct SpeedPreset {
    const char* Name;
    const char* Coder;
    const char* Flags;
    const char* Partitions;
    const char* MeMethod;
    const char* Subq;
    const char* MeRange;
    const char* ScThreshold;
    const char* BStrategy;
    const char* Bf;
    const char* Refs;
    const char* DirectPred;
    const char* Trellis;
    const char* Flags2;
    const char* WPredP;
};

// clang-format off
constexpr SpeedPreset kSpeedPresets[] = {
    {"default", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "7", "16", "40", "1", "3", "3", "1", "1", "+mixed_refs+wpred+dct8x8+fastpskip", "2"},
    {"fast", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "1", "3", "2", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2"},
    {"fast_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2"},
    {"faster", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "4", "16", "40", "1", "3", "2", "1", "1", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip", "1"},
    {"faster_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "1"},
    {"fastfirstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "3", "0", "-bpyramid-wpred-mixed_refs-dct8x8+fastpskip", "2"},
    {"hq", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "umh", "8", "16", "40", "2", "3", "4", "3", "1", "+wpred+mixed_refs+dct8x8+fastpskip", "2"},
    {"max", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40", "2", "3", "16", "3", "2", "+wpred+mixed_refs+dct8x8-fastpskip", "2"},
    {"medium", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "7", "16", "40", "1", "3", "3", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2"},
    {"medium_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2"},
    {"normal", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "1", "3", "2", "3", "0", "+wpred+dct8x8+fastpskip", "2"},
    {"placebo", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "2"},
    {"placebo_firstpass", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "2"},
    {"slow", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "umh", "8", "16", "40", "2", "3", "5", "3", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2"},
    {"slow_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2"},
    {"slower", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "umh", "9", "16", "40", "2", "3", "8", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2"},
    {"slower_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2"},
    {"slowfirstpass", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "2", "3", "1", "3", "0", "+wpred+dct8x8+fastpskip", "2"},
    {"superfast", "1", "+loop", "+parti8x8+parti4x4-partp8x8-partb8x8", "dia", "1", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "0"},
    {"superfast_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "1", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "0"},
    {"ultrafast", "0", "-loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "0", "16", "0", "0", "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "0"},
    {"ultrafast_firstpass", "0", "-loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "0", "16", "0", "0", "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "0"},
    {"veryfast", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "0"},
    {"veryfast_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "0"},
    {"veryslow", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "umh", "10", "24", "40", "2", "8", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2"},
    {"veryslow_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "24", "40", "2", "8", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2"},
};

// The six lossless presets; nullptr marks a line the preset does not have.
struct LosslessPreset {
    const char* Name;
    const char* Coder;
    const char* Partitions;
    const char* MeMethod;
    const char* Subq;
    const char* Refs;
    const char* Flags2;
    const char* WPredP;
};
constexpr LosslessPreset kLosslessPresets[] = {
    {"lossless_fast", "0", "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8", "hex", "3", nullptr, "+fastpskip", "0"},
    {"lossless_max", "1", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "esa", "8", "16", "+mixed_refs+dct8x8+fastpskip", "2"},
    {"lossless_medium", "1", "-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "hex", "5", nullptr, "+fastpskip", "2"},
    {"lossless_slow", "1", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "6", "2", "+dct8x8+fastpskip", "2"},
    {"lossless_slower", "1", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "8", "4", "+mixed_refs+dct8x8+fastpskip", "2"},
    {"lossless_ultrafast", "0", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia", "0", nullptr, "+fastpskip", nullptr},
};

// The short presets, in full.
constexpr std::pair<const char*, const char*> kShortPresets[] = {
    {"baseline", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0"},
    {"main", "flags2=-dct8x8"},
    {"ipod320", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nlevel=13\nmaxrate=768000\nbufsize=3000000\nwpredp=0"},
    {"ipod640", "coder=0\nbf=0\nrefs=1\nflags2=-wpred-dct8x8\nlevel=30\nmaxrate=10000000\nbufsize=10000000\nwpredp=0"},
};

// The order of the built-in table.
constexpr const char* kPresetOrder[] = {
    "baseline", "default", "fast", "fast_firstpass", "faster", "faster_firstpass",
    "fastfirstpass", "hq", "ipod320", "ipod640", "lossless_fast", "lossless_max",
    "lossless_medium", "lossless_slow", "lossless_slower", "lossless_ultrafast", "main", "max",
    "medium", "medium_firstpass", "normal", "placebo", "placebo_firstpass", "slow",
    "slow_firstpass", "slower", "slower_firstpass", "slowfirstpass", "superfast",
    "superfast_firstpass", "ultrafast", "ultrafast_firstpass", "veryfast", "veryfast_firstpass",
    "veryslow", "veryslow_firstpass",
};
// clang-format on

std::string Lines(std::initializer_list<std::pair<const char*, const char*>> items) {
    std::string text;
    for (const auto& [key, value] : items) {
        if (value == nullptr) continue;
        if (!text.empty()) text += '\n';
        text += key;
        text += '=';
        text += value;
    }
    return text;
}

std::string SpeedText(const SpeedPreset& p) {
    return Lines({{"coder", p.Coder},
                  {"flags", p.Flags},
                  {"cmp", "+chroma"},
                  {"partitions", p.Partitions},
                  {"me_method", p.MeMethod},
                  {"subq", p.Subq},
                  {"me_range", p.MeRange},
                  {"g", "250"},
                  {"keyint_min", "25"},
                  {"sc_threshold", p.ScThreshold},
                  {"i_qfactor", "0.71"},
                  {"b_strategy", p.BStrategy},
                  {"qcomp", "0.6"},
                  {"qmin", "10"},
                  {"qmax", "51"},
                  {"qdiff", "4"},
                  {"bf", p.Bf},
                  {"refs", p.Refs},
                  {"directpred", p.DirectPred},
                  {"trellis", p.Trellis},
                  {"flags2", p.Flags2},
                  {"wpredp", p.WPredP}});
}

std::string LosslessText(const LosslessPreset& p) {
    return Lines({{"coder", p.Coder},
                  {"flags", "+loop"},
                  {"cmp", "+chroma"},
                  {"partitions", p.Partitions},
                  {"me_method", p.MeMethod},
                  {"subq", p.Subq},
                  {"me_range", "16"},
                  {"g", "250"},
                  {"keyint_min", "25"},
                  {"sc_threshold", "40"},
                  {"i_qfactor", "0.71"},
                  {"b_strategy", "1"},
                  {"qcomp", "0.6"},
                  {"qmin", "10"},
                  {"qmax", "51"},
                  {"qdiff", "4"},
                  {"refs", p.Refs},
                  {"directpred", "1"},
                  {"flags2", p.Flags2},
                  {"cqp", "0"},
                  {"wpredp", p.WPredP}});
}

std::vector<std::pair<std::string, std::string>> BuildPresets() {
    std::vector<std::pair<std::string, std::string>> table;
    for (const char* name : kPresetOrder) {
        std::string text;
        for (const auto& p : kSpeedPresets) {
            if (std::string(p.Name) == name) text = SpeedText(p);
        }
        for (const auto& p : kLosslessPresets) {
            if (std::string(p.Name) == name) text = LosslessText(p);
        }
        for (const auto& [n, t] : kShortPresets) {
            if (std::string(n) == name) text = t;
        }
        table.emplace_back(std::string("libx264-") + name, text);
    }
    return table;
}

const std::string* FindBuiltInPreset(const std::string& name) {
    const std::string wanted = Lower(name);
    for (const auto& [presetName, text] : BuiltInPresets()) {
        if (Lower(presetName) == wanted) return &text;
    }
    return nullptr;
}

// Preset files are a few hundred bytes; reading stops well past any real one,
// so that naming a large file cannot take the memory.
constexpr std::streamsize kMaxPresetFileBytes = 1 << 20;

// Only a readable regular file is a preset file: a device, a pipe or a folder
// named by the option is not opened at all.
bool ReadPresetFile(const std::string& path, std::string& text) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(static_cast<size_t>(std::min<std::streamsize>(st.st_size, kMaxPresetFileBytes)),
                '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return true;
}

bool OptionNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// A key holds only the characters of option names; the first other character
// before the "=" is where the line stops being an option line. npos when the
// key is sound.
size_t KeySyntaxError(const std::string& line) {
    const size_t keyEnd = std::min(line.find('='), line.size());
    for (size_t i = 0; i < keyEnd; ++i) {
        if (!OptionNameChar(line[i])) return i;
    }
    return std::string::npos;
}

// The part of a bad line a syntax error quotes: up to and including the
// character where it went wrong, never beyond, so that a file that is no
// preset at all (a password file named by mistake or on purpose) is not
// echoed into the message.
std::string SyntaxErrorQuote(const std::string& line) {
    const size_t bad = KeySyntaxError(line);
    if (bad != std::string::npos) return line.substr(0, bad + 1);
    if (!line.empty() && line[0] == '=') return "=";
    return line;  // a bare name, or a name and "=" with nothing after it
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& BuiltInPresets() {
    static const std::vector<std::pair<std::string, std::string>> table = BuildPresets();
    return table;
}

void TCustomFFmpeg::ApplyPreset(const std::string& kind, const std::string& name) {
    RequireLibraries();
    if (kind.empty() || name.empty()) return;
    std::string presetName = name;
    const std::string* builtIn = nullptr;
    if (kind[0] != 'f') {
        builtIn = FindBuiltInPreset(name);
        if (builtIn == nullptr) {
            const TEngineSettings& s = Settings;
            const std::string* codec = nullptr;
            if (kind[0] == 'v' && !s.VideoCodecName.empty())
                codec = &s.VideoCodecName;
            else if (kind[0] == 'a' && !s.AudioCodecName.empty())
                codec = &s.AudioCodecName;
            else if (!s.SubtitleCodecName.empty())
                codec = &s.SubtitleCodecName;
            if (codec != nullptr) {
                presetName = *codec + "-" + name;
                builtIn = FindBuiltInPreset(presetName);
            }
        }
    }
    std::string text;
    if (builtIn != nullptr) {
        text = *builtIn;
    } else if (!ReadPresetFile(name, text)) {
        throw FFmpegException(Fmt("Preset \"%s\" not found", name.c_str()));
    }

    text = Trim(text);
    std::string normalized;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            normalized += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            normalized += text[i];
        }
    }
    std::istringstream lines(normalized);
    std::string raw;
    while (std::getline(lines, raw)) {
        const std::string line = Trim(raw);
        if (line.empty()) continue;
        const size_t eq = line.find('=');
        const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (key.empty() || value.empty() || KeySyntaxError(line) != std::string::npos) {
            throw FFmpegException(Fmt("%s: Invalid syntax: \"%s\"", presetName.c_str(),
                                      SyntaxErrorQuote(line).c_str()));
        }
        const std::string lowerKey = Lower(key);
        if (lowerKey == "vcodec") {
            SetCodecChoice(Settings.VideoCodecName, Settings.VideoStreamCopy, value);
        } else if (lowerKey == "acodec") {
            SetCodecChoice(Settings.AudioCodecName, Settings.AudioStreamCopy, value);
        } else if (lowerKey == "scodec") {
            SetCodecChoice(Settings.SubtitleCodecName, Settings.SubtitleStreamCopy, value);
        } else if (!SetGenericOption(key, value)) {
            throw FFmpegException(
                Fmt("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                    presetName.c_str(), line.c_str(), key.c_str(), value.c_str()));
        }
    }
}

}  // namespace zorvex
