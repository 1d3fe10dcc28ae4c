// Disc targets: the codec, container, picture size, frame rate, bit rates and
// multiplexer settings of video CD, super video CD, DVD and DV outputs in the
// PAL, NTSC or FILM norm.
#include <cmath>

#include "media/engine/engine.h"
#include "media/ffapi.h"
#include "media/log.h"
#include "media/text.h"

namespace zorvex {

using text::Fmt;

namespace {

enum class Norm { Pal, Ntsc, Film };

// The frame rate per norm.
const char* TargetFrameRate(Norm norm) {
    switch (norm) {
        case Norm::Pal:
            return "25";
        case Norm::Ntsc:
            return "30000/1001";
        case Norm::Film:
            return "24000/1001";
    }
    return "25";
}

// r = rate * 1000, rounded: 25000 is PAL, 29970 and 23976 are NTSC.
std::optional<Norm> NormOfRate(std::int64_t num, std::int64_t den) {
    if (num == 0 || den == 0) return std::nullopt;
    const long long r = std::llround(static_cast<double>(num) * 1000.0 / static_cast<double>(den));
    if (r == 25000) return Norm::Pal;
    if (r == 29970 || r == 23976) return Norm::Ntsc;
    return std::nullopt;
}

}  // namespace

void TCustomFFmpeg::ApplyTarget(const std::string& type, const std::string& norm,
                                const std::string& defaultNorm) {
    RequireLibraries();
    TEngineSettings& s = Settings;
    Norm n;
    if (norm == "pal") {
        n = Norm::Pal;
    } else if (norm == "ntsc") {
        n = Norm::Ntsc;
    } else if (norm == "film") {
        n = Norm::Film;
    } else {
        if (s.FrameRate.den == 0) throw FFmpegException("frame_rate is invalid.");
        std::optional<Norm> detected = NormOfRate(s.FrameRate.num, s.FrameRate.den);
        for (const TInputFile& input : InputFiles) {
            if (detected) break;
            for (unsigned i = 0; i < input.Context->nb_streams && !detected; ++i) {
                const AVStream* st = input.Context->streams[i];
                if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
                detected = NormOfRate(st->r_frame_rate.num, st->r_frame_rate.den);
            }
        }
        if (detected)
            n = *detected;
        else if (defaultNorm == "film")
            n = Norm::Film;
        else if (defaultNorm == "ntsc")
            n = Norm::Ntsc;
        else
            n = Norm::Pal;
        if (s.Verbose > 0) {
            Logger().Log(this, llVerbose,
                         Fmt("Assuming %s for target.", n == Norm::Pal ? "PAL" : "NTSC"));
        }
    }
    const bool pal = n == Norm::Pal;
    auto option = [&](const char* name, const std::string& value) { ParseOption(name, value); };
    auto generic = [&](const char* name, const char* value) { SetGenericOption(name, value); };
    auto assumeAspect = [&](const char* ratio) {
        if (s.FrameAspectRatio != 0) return;
        Logger().Log(this, llInfo, Fmt("Assuming %s for aspect ratio", ratio));
        option("aspect", ratio);
    };

    // Disc players show a video CD as 4:3, a super video CD or DVD as 4:3 or
    // 16:9, whatever the picture's size.
    constexpr double kStandard = 4.0 / 3.0, kWide = 16.0 / 9.0;
    if (type == "vcd") {
        s.Requested.DisplayAspects = {kStandard};
    } else if (type == "svcd" || type == "dvd") {
        s.Requested.DisplayAspects = {kStandard, kWide};
    }
    if (type == "vcd") {
        option("vcodec", "mpeg1video");
        option("acodec", "mp2");
        option("f", "vcd");
        option("s", pal ? "352x288" : "352x240");
        option("r", TargetFrameRate(n));
        generic("g", pal ? "15" : "18");
        generic("b", "1150000");
        generic("maxrate", "1150000");
        generic("minrate", "1150000");
        generic("bufsize", "327680");  // 40 KiB VBV buffer, in bits
        generic("ab", "224000");
        SetAudioSampleRate(44100);
        SetAudioChannels(2);
        generic("packetsize", "2324");
        generic("muxrate", "1411200");  // 75 sectors of 2352 bytes per second
        s.MuxPreload = 0.44f;
        assumeAspect("4:3");
    } else if (type == "svcd") {
        option("vcodec", "mpeg2video");
        option("acodec", "mp2");
        option("f", "svcd");
        option("s", pal ? "480x576" : "480x480");
        option("r", TargetFrameRate(n));
        generic("g", pal ? "15" : "18");
        generic("b", "2040000");
        generic("maxrate", "2516000");
        generic("minrate", "0");
        generic("bufsize", "1835008");  // 224 KiB
        generic("flags", "+scan_offset");
        generic("ab", "224000");
        SetAudioSampleRate(44100);
        generic("packetsize", "2324");
        if (s.AudioChannels == 1) SetAudioChannels(2);
        assumeAspect("4:3");
    } else if (type == "dvd") {
        option("vcodec", "mpeg2video");
        option("acodec", "ac3");
        option("f", "dvd");
        option("s", pal ? "720x576" : "720x480");
        option("r", TargetFrameRate(n));
        generic("g", pal ? "15" : "18");
        generic("b", "6000000");
        generic("maxrate", "9000000");
        generic("minrate", "0");
        generic("bufsize", "1835008");
        generic("packetsize", "2048");
        generic("muxrate", "10080000");  // DVD maximum multiplex rate
        generic("ab", "448000");
        SetAudioSampleRate(48000);
        if (s.AudioChannels == 1) SetAudioChannels(2);
        assumeAspect("16:9");
    } else if (type == "dv" || type == "dv50") {
        option("f", "dv");
        option("s", pal ? "720x576" : "720x480");
        option("pix_fmt", type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        option("r", TargetFrameRate(n));
        SetAudioSampleRate(48000);
        SetAudioChannels(2);
    } else {
        throw FFmpegException("Unknown target type");
    }
}

}  // namespace zorvex
