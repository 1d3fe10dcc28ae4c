// The engine's option table: every option name the converter component can hand
// over, what its handler does, and the direct setters the component uses.

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "media/cpu_cores.h"
#include "media/engine/engine.h"
#include "media/engine/option_values.h"
#include "media/ffapi.h"
#include "media/log.h"
#include "media/text.h"
#include "media/util.h"

namespace zorvex {

using option_values::CStrtod;
using option_values::Flag;
using option_values::InvalidValueText;
using option_values::ParseTime;
using option_values::ReadIndex;
using option_values::StrToFloat;
using option_values::StrToFloatDef;
using option_values::StrToInt;
using option_values::StrToInt64;
using option_values::StrToIntDef;
using text::Fmt;
using text::StartsWith;
using text::Trim;

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw FFmpegException(message);
}

void Log(const TCustomFFmpeg& e, TLogLevel level, const std::string& message) {
    Logger().Log(&e, level, message);
}

}  // namespace

// The handlers reach the engine's private helpers through this friend.
struct OptionHandlers {
    using Handler = void (*)(TCustomFFmpeg& e, const std::string& name, const std::string& value);
    struct Entry {
        const char* Name;
        Handler Run;
    };

    static TEngineSettings& S(TCustomFFmpeg& e) { return e.Settings; }

    static void DoNothing(TCustomFFmpeg& e, const std::string& name, const std::string&) {
        Log(e, llInfo, "Do nothing: option - " + name);
    }
    static void LogLevel(TCustomFFmpeg&, const std::string&, const std::string& value) {
        try {
            Logger().SetLogLevelText(value);
        } catch (const std::invalid_argument& x) {
            Fail(x.what());
        }
    }
    static void Format(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        if (value.empty()) return;
        if (value == "pgmyuv") {
            S(e).FormatName = "image2";
            S(e).PgmyuvCompat = true;
            Log(e, llInfo, "pgmyuv format is deprecated, use image2");
        } else {
            S(e).FormatName = value;
        }
    }
    static void Map(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        auto& maps = S(e).StreamMaps;
        if (static_cast<int>(maps.size()) >= e.MaxFiles() * MaxStreams) {
            Fail(Fmt("Too many stream maps (at most %d)", e.MaxFiles() * MaxStreams));
        }
        const char* p = value.c_str();
        long long file = 0, stream = 0, syncFile = 0, syncStream = 0;
        bool ok = ReadIndex(p, file);
        if (*p != '\0') ++p;
        ok = ReadIndex(p, stream) && ok;
        if (*p != '\0') {
            ++p;
            ok = ReadIndex(p, syncFile) && ok;
            if (*p != '\0') ++p;
            ok = ReadIndex(p, syncStream) && ok;
        } else {
            syncFile = file;
            syncStream = stream;
        }
        // Indexes are checked against the inputs when the run starts; here only
        // what no input could ever satisfy is refused.
        if (!ok || file < 0 || stream < 0 || syncFile < 0 || syncStream < 0 ||
            file >= e.MaxFiles() || syncFile >= e.MaxFiles()) {
            Fail(Fmt("Invalid stream map \"%s\"", value.c_str()));
        }
        maps.push_back({static_cast<int>(file), static_cast<int>(stream),
                        static_cast<int>(syncFile), static_cast<int>(syncStream)});
    }
    static void MapMetaData(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        auto& maps = S(e).MetaDataMaps;
        if (static_cast<int>(maps.size()) >= e.MaxFiles()) {
            Fail(Fmt("Too many metadata maps (at most %d)", e.MaxFiles()));
        }
        const char* p = value.c_str();
        long long out = 0, in = 0;
        bool ok = ReadIndex(p, out);
        if (*p != '\0') ++p;
        ok = ReadIndex(p, in) && ok;
        if (!ok || out < 0 || in < 0 || out >= e.MaxFiles() || in >= e.MaxFiles()) {
            Fail(Fmt("Invalid metadata map \"%s\"", value.c_str()));
        }
        maps.push_back({static_cast<int>(out), static_cast<int>(in)});
    }
    static void RecordingTime(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        const std::int64_t t = ParseTime(name, value, true);
        S(e).RecordingTime = t;
        S(e).ExpectedDuration = t;
    }
    static void LimitFilesize(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        S(e).LimitFilesize = StrToInt64(value);
    }
    static void StartTime(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        S(e).StartTime = ParseTime(name, value, true);
    }
    static void InputOffset(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        S(e).InputTimeOffset = ParseTime(name, value, true);
    }
    static void InputScale(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        const char* p = value.c_str();
        long long stream = 0;
        const bool ok = ReadIndex(p, stream);
        if (*p != '\0') ++p;
        const double scale = CStrtod(p, nullptr);
        if (!ok || stream < 0 || stream >= MaxStreams) {
            Fail(Fmt("stream index over MAX_STREAMS(%d)", MaxStreams));
        }
        const int file = e.InputFileCount();  // the next input file
        if (file >= e.MaxFiles()) Fail(Fmt("max input files %d reached", e.MaxFiles()));
        e.InputTsScale[static_cast<size_t>(file)][static_cast<size_t>(stream)] = scale;
    }
    static void Timestamp(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        S(e).RecTimestamp = std::llround(static_cast<double>(ParseTime(name, value, false)) / 1e6);
    }
    static void Metadata(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        const size_t eq = value.find('=');
        if (eq == std::string::npos) Fail("Missing =");
        S(e).Metadata.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    }
    static void DataFrames(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        S(e).MaxFrames[skData] = StrToInt(value);
    }
    static void TimeLimit(TCustomFFmpeg& e, const std::string&, const std::string&) {
        e.WarnOption("Warning: -timelimit not implemented on Windows");
    }
    static void Dump(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).PktDump = Flag(v);
    }
    static void Hex(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).HexDump = Flag(v);
    }
    static void RateEmu(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).RateEmu = Flag(v);
    }
    static void LoopInput(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).LoopInput = Flag(v);
    }
    static void LoopOutput(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).LoopOutput = StrToInt(v);
    }
    static void Verbose(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).Verbose = StrToInt(v);
    }
    static void Target(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        const std::string v = Trim(value);
        std::string norm = "auto", type = v;
        for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
            if (StartsWith(v, prefix)) {
                norm = std::string(prefix, std::strlen(prefix) - 1);
                type = v.substr(std::strlen(prefix));
            }
        }
        e.ApplyTarget(type, norm, "ntsc");
    }
    // A count of codec threads, or "auto" (also 0) for the automatic rule.
    static void Threads(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        const std::string v = Trim(value);
        const int count = v == "auto" ? 0 : StrToInt(v);
        if (count < 0 || count > MaxCodecThreads) {
            Fail(Fmt("threads must be auto or a number from 0 to %d", MaxCodecThreads));
        }
        S(e).ThreadCount = count;
    }
    static void VideoSync(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).VideoSyncMethod = StrToInt(v);
    }
    static void AudioSync(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).AudioSyncMethod = StrToInt(v);
    }
    static void DriftThreshold(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).AudioDriftThreshold = StrToFloat(v);
    }
    static void GlobalHeader(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).VideoGlobalHeader = StrToInt(v);
    }
    static void CopyTs(TCustomFFmpeg& e, const std::string&, const std::string&) {
        S(e).CopyTs = true;
    }
    static void Shortest(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).Shortest = Flag(v);
    }
    static void DtsDelta(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).DtsDeltaThreshold = StrToFloat(v);
    }
    static void ProgramId(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).ProgramId = StrToInt(v);
    }
    static void ExitOnError(TCustomFFmpeg& e, const std::string&, const std::string&) {
        S(e).ExitOnError = true;
    }
    static void CopyInitial(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).CopyInitialNonKeyframes = StrToInt(v);
    }
    static void BitRate(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        if (Trim(name).empty()) return;
        if (Trim(value).empty()) {
            e.WarnOption(InvalidValueText(name, value));
            return;
        }
        if (!e.SetGenericOption(name, value)) return;  // refused: warned there
        std::int64_t bits = 0;
        ff::av_opt_get_int(e.CodecOptions[name[0] == 'a' ? skAudio : skVideo].get(), "b", 0, &bits);
        if (bits < 1000) {
            e.WarnOption(
                "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not "
                "kbits/s");
        }
    }
    static void VideoFrames(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).MaxFrames[skVideo] = StrToInt(v);
    }
    static void FrameRate(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        if (value.empty()) return;
        AVRational rate{0, 0};
        if (ff::av_parse_video_rate(&rate, value.c_str()) < 0 || rate.num == 0 || rate.den == 0) {
            Fail("Incorrect frame rate");
        }
        S(e).FrameRate = rate;
        S(e).Requested.FrameRate = rate;
    }
    static void FrameSize(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        if (value.empty()) return;
        int width = 0, height = 0;
        if (ff::av_parse_video_size(&width, &height, value.c_str()) < 0) {
            // Width, one separator of any kind, height; what follows the height is
            // a description ("480*272  (PSP ...)") and is ignored.
            const char* p = value.c_str();
            char* end = nullptr;
            const long w = std::strtol(p, &end, 10);
            p = end;
            if (*p != '\0') ++p;
            const long h = std::strtol(p, &end, 10);
            width = w > 0 && w <= INT_MAX ? static_cast<int>(w) : 0;
            height = h > 0 && h <= INT_MAX ? static_cast<int>(h) : 0;
        }
        if (width <= 0 || height <= 0 || ff::av_image_check_size(width, height, 0, nullptr) < 0) {
            Fail("Incorrect frame size");
        }
        S(e).FrameWidth = width;
        S(e).FrameHeight = height;
        S(e).Requested.Width = width;
        S(e).Requested.Height = height;
    }
    static void Aspect(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        if (value.empty()) return;
        double ratio = 0;
        const size_t colon = value.find(':');
        if (colon == std::string::npos) {
            ratio = StrToFloatDef(value, 0);
        } else {
            const int x = StrToIntDef(value.substr(0, colon), 0);
            const int y = StrToIntDef(value.substr(colon + 1), 0);
            ratio = y > 0 ? static_cast<double>(x) / y : 0;
        }
        if (!(ratio > 0)) Fail("Incorrect aspect ratio specification.");
        S(e).FrameAspectRatio = static_cast<float>(ratio);
        S(e).Requested.DisplayAspect = ratio;
    }
    static void PixFmt(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        if (value == "list") {
            char line[128];
            for (int i = -1; i < 0 || ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(i)); ++i) {
                ff::av_get_pix_fmt_string(line, sizeof line, static_cast<AVPixelFormat>(i));
                Log(e, llInfo, Trim(line));
            }
            return;
        }
        const AVPixelFormat format = ff::av_get_pix_fmt(value.c_str());
        if (format == AV_PIX_FMT_NONE)
            Fail(Fmt("Unknown pixel format requested: %s", value.c_str()));
        S(e).FramePixFmt = format;
        S(e).Requested.PixelFormat = format;
    }
    static void Crop(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        const int band = StrToInt(value);
        if (band <= 0) return;
        TEngineSettings& s = S(e);
        const bool vertical = name == "croptop" || name == "cropbottom";
        if (vertical && band >= s.FrameHeight) {
            Fail(
                "Vertical crop dimensions are outside the range of the original image.\n"
                "Remember to crop first and scale second.");
        }
        if (!vertical && band >= s.FrameWidth) {
            Fail(
                "Horizontal crop dimensions are outside the range of the original image.\n"
                "Remember to crop first and scale second.");
        }
        const char* which = name == "croptop"      ? "CropTop"
                            : name == "cropbottom" ? "CropBottom"
                            : name == "cropleft"   ? "CropLeft"
                                                   : "CropRight";
        e.WarnOption(Fmt("%s is deprecated in favor of the crop avfilter", which));
        if (name == "croptop")
            s.CropTop = band;
        else if (name == "cropbottom")
            s.CropBottom = band;
        else if (name == "cropleft")
            s.CropLeft = band;
        else
            s.CropRight = band;
        if (vertical)
            s.FrameHeight -= band;
        else
            s.FrameWidth -= band;
    }
    static void Pad(TCustomFFmpeg&, const std::string&, const std::string&) {
        Fail("Please use vfilters=pad");
    }
    static void Intra(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).IntraOnly = Flag(v);
    }
    static void VideoOff(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).VideoDisable = Flag(v);
    }
    static void VideoDiscard(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).VideoDiscard = StrToInt(v);
    }
    static void Qscale(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        const float q = StrToFloat(value);
        if (!(q > 0.0f && q <= 255.0f)) Fail("qscale must be > 0.0 and <= 255");
        S(e).VideoQscale = q;
    }
    static void RcOverride(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).RcOverride = v;
    }
    static void VideoCodec(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        e.SetCodecChoice(S(e).VideoCodecName, S(e).VideoStreamCopy, v);
    }
    static void AudioCodec(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        e.SetCodecChoice(S(e).AudioCodecName, S(e).AudioStreamCopy, v);
    }
    static void SubtitleCodec(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        e.SetCodecChoice(S(e).SubtitleCodecName, S(e).SubtitleStreamCopy, v);
    }
    static void MeThreshold(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).MeThreshold = StrToInt(v);
    }
    static void SameQuality(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).SameQuality = Flag(v);
    }
    static void Pass(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        const int pass = StrToInt(value);
        if (pass != 1 && pass != 2) Fail("pass number can be only 1 or 2");
        S(e).DoPass = pass;
    }
    static void PassLogFile(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).PassLogPrefix = v;
    }
    static void Deinterlace(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).Deinterlace = Flag(v);
    }
    static void Psnr(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).DoPsnr = Flag(v);
    }
    static void Vstats(TCustomFFmpeg& e, const std::string&, const std::string&) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        // The folder is known only once the output is: the file goes beside it.
        S(e).VstatsFilename =
            Fmt("vstats_%02d%02d%02d.log", local.tm_hour, local.tm_min, local.tm_sec);
        S(e).VstatsBesideOutput = true;
    }
    static void VstatsFile(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).VstatsFilename = v;
        S(e).VstatsBesideOutput = false;
    }
    static void VideoHook(TCustomFFmpeg& e, const std::string&, const std::string& value) {
        if (!e.Hooks.AddFrameHookOption(value)) Fail(e.Hooks.LastError());
    }
    static void Filters(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        if (!v.empty()) S(e).VideoFilters = v;
    }
    static void Matrix(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        // The whole text is checked before the matrix changes, so a bad value never
        // leaves a half-filled matrix behind.
        TQuantMatrix m{};
        const char* p = value.c_str();
        for (int i = 0; i < 64; ++i) {
            char* end = nullptr;
            const long coefficient = std::strtol(p, &end, 10);
            if (coefficient < 1 || coefficient > 255) {
                Fail(Fmt("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
            }
            m[static_cast<size_t>(i)] = static_cast<std::uint16_t>(coefficient);
            p = std::strchr(p, ',');
            if (p == nullptr && i < 63) {
                Fail(Fmt("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
            }
            if (p != nullptr) ++p;
        }
        (name == "intra_matrix" ? S(e).IntraMatrix : S(e).InterMatrix) = m;
    }
    static void TopField(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).TopFieldFirst = StrToInt(v);
    }
    static void DcPrecision(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).IntraDcPrecision = StrToInt(v);
    }
    static void Tag(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        if (value.empty()) return;
        const char* kind = name[0] == 'v' ? "video" : name[0] == 'a' ? "audio" : "subtitle";
        if (value.size() != 4) Fail(Fmt("%s tag parameter must be 4 chars", kind));
        std::uint32_t tag = 0;
        for (int i = 3; i >= 0; --i)
            tag = (tag << 8) | static_cast<unsigned char>(value[static_cast<size_t>(i)]);
        (name[0] == 'v'   ? S(e).VideoCodecTag
         : name[0] == 'a' ? S(e).AudioCodecTag
                          : S(e).SubtitleCodecTag) = tag;
    }
    static TOutputFile& LastOutput(TCustomFFmpeg& e) {
        if (e.OutputFiles.empty()) Fail("At least one output file must be specified");
        return *e.OutputFiles.back();
    }
    static void NewVideo(TCustomFFmpeg& e, const std::string&, const std::string&) {
        e.new_video_stream(LastOutput(e));
    }
    static void NewAudio(TCustomFFmpeg& e, const std::string&, const std::string&) {
        e.new_audio_stream(LastOutput(e));
    }
    static void NewSubtitle(TCustomFFmpeg& e, const std::string&, const std::string&) {
        e.new_subtitle_stream(LastOutput(e));
    }
    static void VideoLanguage(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).VideoLanguage = v;
    }
    static void QpHist(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).QpHist = Flag(v);
    }
    static void ForceFps(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).ForceFps = Flag(v);
    }
    static void StreamId(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        const size_t colon = value.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == value.size()) {
            Fail(Fmt("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
                     value.c_str(), name.c_str()));
        }
        const int index = StrToInt(value.substr(0, colon));
        const int id = StrToInt(value.substr(colon + 1));
        if (index < 0 || index >= MaxStreams)
            Fail(Fmt("stream index over MAX_STREAMS(%d)", MaxStreams));
        S(e).StreamIdMap[static_cast<size_t>(index)] = id;
    }
    static void AudioFrames(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).MaxFrames[skAudio] = StrToInt(v);
    }
    static void AudioQuality(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).AudioQscale = StrToFloat(v);
    }
    static void SampleRate(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        e.SetAudioSampleRate(StrToInt(v));
    }
    static void Channels(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        e.SetAudioChannels(StrToInt(v));
    }
    static void AudioOff(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).AudioDisable = Flag(v);
    }
    static void Volume(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).AudioVolume = StrToInt(v);
    }
    static void AudioLanguage(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).AudioLanguage = v;
    }
    static void SampleFmt(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        if (value == "list") {
            char line[128];
            for (int i = -1; i < AV_SAMPLE_FMT_NB; ++i) {
                ff::av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(i));
                Log(e, llInfo, Trim(line));
            }
            return;
        }
        S(e).AudioSampleFmt = ff::av_get_sample_fmt(value.c_str());
        if (S(e).AudioSampleFmt < 0) e.WarnOption(InvalidValueText(name, value));
    }
    static void SubtitleOff(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).SubtitleDisable = Flag(v);
    }
    static void SubtitleLanguage(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).SubtitleLanguage = v;
    }
    static void VideoChannel(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).VideoChannel = StrToInt(v);
    }
    static void TvStandard(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).VideoStandard = v;
    }
    static void InputSync(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).InputSync = Flag(v);
    }
    static void MuxDelay(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).MuxMaxDelay = StrToFloat(v);
    }
    static void MuxPreload(TCustomFFmpeg& e, const std::string&, const std::string& v) {
        S(e).MuxPreload = StrToFloat(v);
    }
    static void Bsf(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        if (value.empty() || value[0] == '=') return;
        const std::string filter = Trim(value.substr(0, value.find('=')));
        if (ff::av_bsf_get_by_name(filter.c_str()) == nullptr) {
            Fail("Unknown bitstream filter " + Trim(value));
        }
        auto& chain = name[0] == 'v'   ? S(e).VideoBsf
                      : name[0] == 'a' ? S(e).AudioBsf
                                       : S(e).SubtitleBsf;
        chain.push_back(filter);
    }
    static void Preset(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
        e.ApplyPreset(name, value);
    }

    static constexpr Entry kTable[] = {
        {"L", DoNothing},
        {"h", DoNothing},
        {"version", DoNothing},
        {"formats", DoNothing},
        {"codecs", DoNothing},
        {"bsfs", DoNothing},
        {"protocols", DoNothing},
        {"filters", DoNothing},
        {"loglevel", LogLevel},
        {"f", Format},
        {"i", DoNothing},
        {"y", DoNothing},
        {"map", Map},
        {"map_meta_data", MapMetaData},
        {"t", RecordingTime},
        {"fs", LimitFilesize},
        {"ss", StartTime},
        {"itsoffset", InputOffset},
        {"itsscale", InputScale},
        {"timestamp", Timestamp},
        {"metadata", Metadata},
        {"dframes", DataFrames},
        {"benchmark", DoNothing},
        {"timelimit", TimeLimit},
        {"dump", Dump},
        {"hex", Hex},
        {"re", RateEmu},
        {"loop_input", LoopInput},
        {"loop_output", LoopOutput},
        {"v", Verbose},
        {"target", Target},
        {"threads", Threads},
        {"vsync", VideoSync},
        {"async", AudioSync},
        {"adrift_threshold", DriftThreshold},
        {"vglobal", GlobalHeader},
        {"copyts", CopyTs},
        {"shortest", Shortest},
        {"dts_delta_threshold", DtsDelta},
        {"programid", ProgramId},
        {"xerror", ExitOnError},
        {"copyinkf", CopyInitial},
        {"b", BitRate},
        {"vb", BitRate},
        {"vframes", VideoFrames},
        {"r", FrameRate},
        {"s", FrameSize},
        {"aspect", Aspect},
        {"pix_fmt", PixFmt},
        {"croptop", Crop},
        {"cropbottom", Crop},
        {"cropleft", Crop},
        {"cropright", Crop},
        {"padtop", Pad},
        {"padbottom", Pad},
        {"padleft", Pad},
        {"padright", Pad},
        {"padcolor", Pad},
        {"intra", Intra},
        {"vn", VideoOff},
        {"vdt", VideoDiscard},
        {"qscale", Qscale},
        {"rc_override", RcOverride},
        {"vcodec", VideoCodec},
        {"me_threshold", MeThreshold},
        {"sameq", SameQuality},
        {"pass", Pass},
        {"passlogfile", PassLogFile},
        {"deinterlace", Deinterlace},
        {"psnr", Psnr},
        {"vstats", Vstats},
        {"vstats_file", VstatsFile},
        {"vhook", VideoHook},
        {"vfilters", Filters},
        {"vf", Filters},
        {"intra_matrix", Matrix},
        {"inter_matrix", Matrix},
        {"top", TopField},
        {"dc", DcPrecision},
        {"vtag", Tag},
        {"newvideo", NewVideo},
        {"vlang", VideoLanguage},
        {"qphist", QpHist},
        {"force_fps", ForceFps},
        {"streamid", StreamId},
        {"ab", BitRate},
        {"aframes", AudioFrames},
        {"aq", AudioQuality},
        {"ar", SampleRate},
        {"ac", Channels},
        {"an", AudioOff},
        {"acodec", AudioCodec},
        {"atag", Tag},
        {"vol", Volume},
        {"newaudio", NewAudio},
        {"alang", AudioLanguage},
        {"sample_fmt", SampleFmt},
        {"sn", SubtitleOff},
        {"scodec", SubtitleCodec},
        {"newsubtitle", NewSubtitle},
        {"slang", SubtitleLanguage},
        {"stag", Tag},
        {"vc", VideoChannel},
        {"tvstd", TvStandard},
        {"isync", InputSync},
        {"muxdelay", MuxDelay},
        {"muxpreload", MuxPreload},
        {"absf", Bsf},
        {"vbsf", Bsf},
        {"sbsf", Bsf},
        {"apre", Preset},
        {"vpre", Preset},
        {"spre", Preset},
        {"fpre", Preset},
    };
};

void TCustomFFmpeg::SetCodecChoice(std::string& codecName, bool& streamCopy,
                                   const std::string& value) {
    if (value.empty()) return;
    codecName.clear();
    if (value == "copy")
        streamCopy = true;
    else
        codecName = value;
}

void TCustomFFmpeg::ParseOption(const std::string& name, const std::string& value) {
    RequireLibraries();
    EnsureGenericContexts();
    for (const auto& entry : OptionHandlers::kTable) {
        if (name == entry.Name) {
            entry.Run(*this, name, value);
            return;
        }
    }
    // An empty line has no effect; any other name nothing knows, or a value
    // refused, is reported rather than dropped in silence.
    if (Trim(name).empty()) return;
    const size_t warned = optionWarnings_.size();
    switch (TrySetGenericOption(name, value)) {
        case TGenericOutcome::Set:
            break;
        case TGenericOutcome::Unknown:
            WarnOption(Fmt("Unrecognized option '%s' ignored", name.c_str()));
            break;
        case TGenericOutcome::Refused:
            if (optionWarnings_.size() == warned) WarnOption(InvalidValueText(name, value));
            break;
    }
}

void TCustomFFmpeg::SetGenericIntOption(const std::string& name, std::int64_t n) {
    SetGenericOption(name, std::to_string(n));
}

void TCustomFFmpeg::SetAudioSampleRate(int n) {
    if (n <= 0) return;
    Settings.AudioSampleRate = n;
    Settings.Requested.SampleRate = n;
}

void TCustomFFmpeg::SetAudioChannels(int n) {
    if (n <= 0) return;
    Settings.AudioChannels = n;
    Settings.Requested.Channels = n;
}

void TCustomFFmpeg::SetAudioVolume(int n) {
    if (n >= 0) Settings.AudioVolume = n;
}

void TCustomFFmpeg::SetAudioSyncMethod(int n) {
    Settings.AudioSyncMethod = n;
}

void TCustomFFmpeg::SetVideoSyncMethod(int n) {
    Settings.VideoSyncMethod = n;
}

void TCustomFFmpeg::SetMuxMaxDelay(float seconds) {
    if (seconds > 0) Settings.MuxMaxDelay = seconds;
}

void TCustomFFmpeg::SetMuxPreload(float seconds) {
    if (seconds > 0) Settings.MuxPreload = seconds;
}

void TCustomFFmpeg::SetStartTime(std::int64_t t) {
    if (t != AV_NOPTS_VALUE) Settings.StartTime = t;
}

void TCustomFFmpeg::SetRecordingTime(std::int64_t t) {
    if (t == AV_NOPTS_VALUE) return;
    Settings.RecordingTime = t;
    Settings.ExpectedDuration = t;
}

void TCustomFFmpeg::SetProgramId(int n) {
    if (n >= 0) Settings.ProgramId = n;
}

void TCustomFFmpeg::AddMetadata(const std::string& key, const std::string& value) {
    Settings.Metadata.emplace_back(key, value);
}

void TCustomFFmpeg::SetVerbose(int n) {
    Settings.Verbose = n;
}

}  // namespace zorvex
