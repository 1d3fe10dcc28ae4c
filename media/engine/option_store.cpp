// The generic option store: every option name the option table does not know
// is checked against the FFmpeg codec, format and scaler classes, kept in the
// order given and replayed onto each context the run opens.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "media/engine/engine.h"
#include "media/engine/option_values.h"
#include "media/engine/transcoder.h"
#include "media/ffapi.h"
#include "media/log.h"
#include "media/text.h"

namespace zorvex {

using text::Trim;

namespace {

// Names that act on video only, as they did when they were video options; today
// the codec context offers them to audio too, where they would give the audio
// encoder the video bit rate.
bool VideoOnlyName(const std::string& name) {
    return name == "b" || name == "maxrate" || name == "minrate" || name == "bufsize";
}

const AVOption* FindInClass(const AVClass* const* cls, const char* name) {
    if (cls == nullptr || *cls == nullptr) return nullptr;
    return ff::av_opt_find(const_cast<const AVClass**>(cls), name, nullptr, 0,
                           AV_OPT_SEARCH_FAKE_OBJ);
}

// 1: the encoder's class took the value; 0: it does not know the name;
// -1: it knows the name but refused the value.
int TryEncoderOption(const AVCodec* codec, const std::string& name, const std::string& value) {
    if (codec == nullptr || FindInClass(&codec->priv_class, name.c_str()) == nullptr) return 0;
    CodecContextPtr scratch(ff::avcodec_alloc_context3(codec));
    if (!scratch || scratch->priv_data == nullptr) return 0;
    return ff::av_opt_set(scratch->priv_data, name.c_str(), value.c_str(), 0) >= 0 ? 1 : -1;
}

int TryMuxerOption(const AVOutputFormat* format, const std::string& name,
                   const std::string& value) {
    if (format == nullptr || FindInClass(&format->priv_class, name.c_str()) == nullptr) return 0;
    AVFormatContext* scratch = nullptr;
    if (ff::avformat_alloc_output_context2(&scratch, format, nullptr, nullptr) < 0 ||
        scratch == nullptr) {
        return 0;
    }
    int result = 0;
    if (scratch->priv_data != nullptr) {
        result = ff::av_opt_set(scratch->priv_data, name.c_str(), value.c_str(), 0) >= 0 ? 1 : -1;
    }
    ff::avformat_free_context(scratch);
    return result;
}

// Splits a flags value ("+a-b", "a+b") into signed terms; sign is '+', '-' or 0.
std::vector<std::pair<char, std::string>> FlagTerms(const std::string& value) {
    std::vector<std::pair<char, std::string>> terms;
    size_t i = 0;
    while (i < value.size()) {
        char sign = 0;
        if (value[i] == '+' || value[i] == '-') sign = value[i++];
        size_t j = i;
        while (j < value.size() && value[j] != '+' && value[j] != '-') ++j;
        terms.emplace_back(sign, value.substr(i, j - i));
        i = j;
    }
    return terms;
}

std::string JoinTerms(const std::vector<std::pair<char, std::string>>& terms) {
    std::string out;
    for (const auto& [sign, name] : terms) {
        if (sign != 0) out += sign;
        out += name;
    }
    return out;
}

// Applies one signed term to a bit set: '+' sets, '-' clears, no sign replaces.
void ApplyTerm(std::uint32_t& bits, char sign, std::uint32_t bit) {
    if (sign == '+')
        bits |= bit;
    else if (sign == '-')
        bits &= ~bit;
    else
        bits = bit;
}

// Old libx264 "flags2" bits and their defaults before any preset.
struct LegacyFlag {
    const char* OldName;
    std::uint32_t Bit;
};
constexpr LegacyFlag kLegacyFlags2[] = {
    {"bpyramid", 1}, {"mixed_refs", 2}, {"wpred", 4},
    {"dct8x8", 8},   {"fastpskip", 16}, {"mbtree", 32},
};

// Old "partitions" bits and today's libx264 partition names.
struct LegacyPartition {
    const char* OldName;
    const char* NewName;
    std::uint32_t Bit;
};
constexpr LegacyPartition kLegacyPartitions[] = {
    {"parti4x4", "i4x4", 1}, {"parti8x8", "i8x8", 2},  {"partp4x4", "p4x4", 4},
    {"partp8x8", "p8x8", 8}, {"partb8x8", "b8x8", 16},
};

}  // namespace

bool TCustomFFmpeg::ApplyLegacyOption(const std::string& name, const std::string& value,
                                      bool& handled) {
    auto set = [this](const char* option, const std::string& text) {
        return SetGenericOptionCore(option, text) == TGenericOutcome::Set;
    };
    handled = false;
    if (name == "directpred") {  // libx264's direct prediction mode, same numbers
        handled = true;
        return set("direct-pred", value);
    }
    if (name == "cqp") {  // constant quantiser, today libx264's "qp"
        handled = true;
        return set("qp", value);
    }
    if (name == "partitions") {
        const auto terms = FlagTerms(value);
        std::uint32_t bits = Settings.LegacyPartitions;
        for (const auto& [sign, term] : terms) {
            const LegacyPartition* known = nullptr;
            for (const auto& p : kLegacyPartitions) {
                if (term == p.OldName) known = &p;
            }
            if (known == nullptr) return false;  // today's syntax: not handled here
            ApplyTerm(bits, sign, known->Bit);
        }
        handled = true;
        std::string list;
        for (const auto& p : kLegacyPartitions) {
            if ((bits & p.Bit) == 0) continue;
            if (!list.empty()) list += ',';
            list += p.NewName;
        }
        if (!set("partitions", list.empty() ? "none" : list)) return false;
        Settings.LegacyPartitions = bits;
        return true;
    }
    if (name == "flags2") {
        auto terms = FlagTerms(value);
        std::uint32_t bits = Settings.LegacyFlags2;
        bool any = false;
        std::vector<std::pair<char, std::string>> generic;
        for (const auto& [sign, term] : terms) {
            const LegacyFlag* known = nullptr;
            for (const auto& f : kLegacyFlags2) {
                if (term == f.OldName) known = &f;
            }
            if (known != nullptr) {
                any = true;
                ApplyTerm(bits, sign, known->Bit);
            } else {
                if (sign == 0) bits = 0;  // an absolute value without any of the old bits
                generic.emplace_back(sign, term);
            }
        }
        if (!any) return false;
        handled = true;
        bool ok = generic.empty() || set("flags2", JoinTerms(generic));
        auto on = [&](std::uint32_t bit) { return (bits & bit) != 0 ? "1" : "0"; };
        ok = set("b-pyramid", (bits & 1) != 0 ? "normal" : "none") && ok;
        ok = set("mixed-refs", on(2)) && ok;
        ok = set("weightb", on(4)) && ok;
        ok = set("8x8dct", on(8)) && ok;
        ok = set("fast-pskip", on(16)) && ok;
        ok = set("mbtree", on(32)) && ok;
        if (ok) Settings.LegacyFlags2 = bits;
        return ok;
    }
    if (name == "flags") {
        auto terms = FlagTerms(value);
        std::optional<bool> loop, scanOffset;
        std::vector<std::pair<char, std::string>> generic;
        for (const auto& [sign, term] : terms) {
            if (term == "scan_offset") {
                scanOffset = sign != '-';
                continue;  // today a private option of the MPEG-2 encoder
            }
            if (term == "loop") loop = sign != '-';
            generic.emplace_back(sign, term);
        }
        if (!loop && !scanOffset) return false;
        handled = true;
        bool ok = generic.empty() || set("flags", JoinTerms(generic));
        if (scanOffset) ok = set("scan_offset", *scanOffset ? "1" : "0") && ok;
        // libx264 no longer reads the loop-filter flag; its deblocking switch does
        // the same. Encoders without it keep the generic flag alone.
        if (loop) set("deblock", *loop ? "true" : "false");
        return ok;
    }
    return false;
}

bool TCustomFFmpeg::SetPrivateOption(const std::string& name, const std::string& value,
                                     bool& rejected) {
    rejected = false;
    auto record = [&](AVMediaType type) {
        PrivateOptions.push_back({type, name, value});
        return true;
    };
    // The encoders named so far, then the named container.
    const std::pair<AVMediaType, const std::string*> named[] = {
        {AVMEDIA_TYPE_VIDEO, &Settings.VideoCodecName},
        {AVMEDIA_TYPE_AUDIO, &Settings.AudioCodecName},
        {AVMEDIA_TYPE_SUBTITLE, &Settings.SubtitleCodecName},
    };
    for (const auto& [type, codecName] : named) {
        if (codecName->empty()) continue;
        const AVCodec* codec = ff::avcodec_find_encoder_by_name(codecName->c_str());
        const int r = TryEncoderOption(codec, name, value);
        if (r > 0) return record(codec->type);
        if (r < 0) {
            rejected = true;
            return false;
        }
    }
    if (!Settings.FormatName.empty()) {
        const int r = TryMuxerOption(
            ff::av_guess_format(Settings.FormatName.c_str(), nullptr, nullptr), name, value);
        if (r > 0) return record(AVMEDIA_TYPE_UNKNOWN);
        if (r < 0) {
            rejected = true;
            return false;
        }
    }
    // Nothing named knows it yet: any encoder, then any muxer, that takes the
    // value. It reaches the stream or file whose encoder or muxer knows the name.
    void* it = nullptr;
    while (const AVCodec* codec = ff::av_codec_iterate(&it)) {
        if (!ff::av_codec_is_encoder(codec)) continue;
        const int r = TryEncoderOption(codec, name, value);
        if (r > 0) return record(codec->type);
        rejected = rejected || r < 0;
    }
    it = nullptr;
    while (const AVOutputFormat* format = ff::av_muxer_iterate(&it)) {
        const int r = TryMuxerOption(format, name, value);
        if (r > 0) return record(AVMEDIA_TYPE_UNKNOWN);
        rejected = rejected || r < 0;
    }
    return false;
}

bool TCustomFFmpeg::SetGenericOption(const std::string& name, const std::string& value) {
    return TrySetGenericOption(name, value) == TGenericOutcome::Set;
}

TCustomFFmpeg::TGenericOutcome TCustomFFmpeg::TrySetGenericOption(const std::string& name,
                                                                  const std::string& value) {
    if (Trim(name).empty()) return TGenericOutcome::Unknown;
    EnsureGenericContexts();
    if (!CodecOptions[0]) return TGenericOutcome::Unknown;
    // Nothing is set from an empty value; the caller tells an empty value for a
    // known name from a name nothing knows.
    if (Trim(value).empty()) {
        return KnowsGenericOption(name) ? TGenericOutcome::Refused : TGenericOutcome::Unknown;
    }

    bool handled = false;
    const bool legacyOk = ApplyLegacyOption(name, value, handled);
    if (handled) return legacyOk ? TGenericOutcome::Set : TGenericOutcome::Refused;
    return SetGenericOptionCore(name, value);
}

bool TCustomFFmpeg::KnowsGenericOption(const std::string& name) {
    // The old libx264 names are translated (ApplyLegacyOption).
    if (name == "directpred" || name == "cqp") return true;
    for (void* context : {static_cast<void*>(CodecOptions[0].get()),
                          static_cast<void*>(FormatOptions), static_cast<void*>(ScalerOptions)}) {
        if (ff::av_opt_find(context, name.c_str(), nullptr, 0, 0) != nullptr) return true;
    }
    if (name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
        const int k = name[0] == 'a' ? 1 : name[0] == 'v' ? 0 : 3;
        if (ff::av_opt_find(CodecOptions[k].get(), name.c_str() + 1, nullptr, 0, 0) != nullptr) {
            return true;
        }
    }
    void* it = nullptr;
    while (const AVCodec* codec = ff::av_codec_iterate(&it)) {
        if (ff::av_codec_is_encoder(codec) && FindInClass(&codec->priv_class, name.c_str()))
            return true;
    }
    it = nullptr;
    while (const AVOutputFormat* format = ff::av_muxer_iterate(&it)) {
        if (FindInClass(&format->priv_class, name.c_str()) != nullptr) return true;
    }
    return false;
}

void TCustomFFmpeg::WarnOption(const std::string& message) {
    optionWarnings_.push_back(message);
    Logger().Log(this, llWarning, message);
}

TCustomFFmpeg::TGenericOutcome TCustomFFmpeg::SetGenericOptionCore(const std::string& name,
                                                                   const std::string& value) {
    static constexpr int kTypeFlags[5] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                          AV_OPT_FLAG_SUBTITLE_PARAM, 0};
    const AVOption* found = nullptr;
    int ret = 0;
    std::uint8_t contexts = 0;
    const bool videoOnly = VideoOnlyName(name);
    for (int k = 0; k < 5; ++k) {
        if (videoOnly && k != 0) continue;
        const AVOption* o =
            ff::av_opt_find(CodecOptions[0].get(), name.c_str(), nullptr, kTypeFlags[k], 0);
        if (o == nullptr) continue;
        found = o;
        ret = ff::av_opt_set(CodecOptions[k].get(), name.c_str(), value.c_str(), 0);
        if (ret < 0) break;
        contexts |= static_cast<std::uint8_t>(1u << k);
    }
    if (found == nullptr) {
        found = ff::av_opt_find(FormatOptions, name.c_str(), nullptr, 0, 0);
        if (found != nullptr) {
            ret = ff::av_opt_set(FormatOptions, name.c_str(), value.c_str(), 0);
            if (ret >= 0) contexts = 1u << FormatOptionsIndex;
        }
    }
    if (found == nullptr) {
        found = ff::av_opt_find(ScalerOptions, name.c_str(), nullptr, 0, 0);
        if (found != nullptr) {
            ret = ff::av_opt_set(ScalerOptions, name.c_str(), value.c_str(), 0);
            if (ret >= 0) contexts = 1u << ScalerOptionsIndex;
        }
    }
    std::string canonical = found != nullptr ? found->name : name;
    if (found == nullptr && name.size() > 1 &&
        (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
        // "vb" sets "b" of the video context, "abt" sets "bt" of the audio context.
        const int k = name[0] == 'a' ? 1 : name[0] == 'v' ? 0 : 3;
        const std::string rest = name.substr(1);
        found = ff::av_opt_find(CodecOptions[k].get(), rest.c_str(), nullptr, 0, 0);
        if (found != nullptr) {
            canonical = found->name;
            ret = ff::av_opt_set(CodecOptions[k].get(), rest.c_str(), value.c_str(), 0);
            if (ret >= 0) contexts = static_cast<std::uint8_t>(1u << k);
        }
    }
    if (found == nullptr || ret < 0) {
        // Options that moved into an encoder's or muxer's private class (libx264's
        // "partitions", the MPEG muxers' "muxrate") are checked against that class.
        bool rejected = false;
        if (SetPrivateOption(name, value, rejected)) return TGenericOutcome::Set;
        if (found == nullptr && !rejected) return TGenericOutcome::Unknown;
        WarnOption(option_values::InvalidValueText(name, value));
        return TGenericOutcome::Refused;
    }
    SetOptionNames.push_back({canonical, value, contexts});
    if (CodecOptions[0]->debug != 0 || FormatOptions->debug != 0) Logger().SetLogLevel(llDebug);
    return TGenericOutcome::Set;
}

void TCustomFFmpeg::ApplyGenericOptions(void* target, int source, int flags) {
    if (target == nullptr) return;
    void* from = nullptr;
    if (source >= 0 && source < 5)
        from = CodecOptions[static_cast<size_t>(source)].get();
    else if (source == FormatOptionsIndex)
        from = FormatOptions;
    else if (source == ScalerOptionsIndex)
        from = ScalerOptions;
    if (from == nullptr) return;
    // The values are replayed in the order they were given, so relative flag
    // values ("+loop") act on the target's own defaults.
    for (const TSetOption& o : SetOptionNames) {
        if ((o.Contexts & (1u << source)) == 0) continue;
        const AVOption* opt = ff::av_opt_find(from, o.Name.c_str(), nullptr, 0, 0);
        if (opt == nullptr || (opt->flags & flags) != flags) continue;
        ff::av_opt_set(target, o.Name.c_str(), o.Value.c_str(), 0);
    }
}

void TCustomFFmpeg::ApplyDecoderOptions(AVCodecContext* decoder) {
    if (decoder == nullptr) return;
    if (decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        ApplyGenericOptions(decoder, skVideo, AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
    } else if (decoder->codec_type == AVMEDIA_TYPE_AUDIO) {
        ApplyGenericOptions(decoder, skAudio, AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
    }
}

void TCustomFFmpeg::ApplyPrivateCodecOptions(AVCodecContext* context, const AVCodec* encoder) {
    if (context == nullptr || encoder == nullptr || context->priv_data == nullptr) return;
    for (const TPrivateOption& o : PrivateOptions) {
        if (o.Type != encoder->type ||
            FindInClass(&encoder->priv_class, o.Name.c_str()) == nullptr) {
            continue;
        }
        if (ff::av_opt_set(context->priv_data, o.Name.c_str(), o.Value.c_str(), 0) < 0) {
            Logger().Log(this, llWarning, option_values::InvalidValueText(o.Name, o.Value));
        }
    }
}

void TCustomFFmpeg::ApplyPrivateFormatOptions(AVFormatContext* context) {
    if (context == nullptr || context->oformat == nullptr || context->priv_data == nullptr) return;
    for (const TPrivateOption& o : PrivateOptions) {
        if (o.Type != AVMEDIA_TYPE_UNKNOWN ||
            FindInClass(&context->oformat->priv_class, o.Name.c_str()) == nullptr) {
            continue;
        }
        if (ff::av_opt_set(context->priv_data, o.Name.c_str(), o.Value.c_str(), 0) < 0) {
            Logger().Log(this, llWarning, option_values::InvalidValueText(o.Name, o.Value));
        }
    }
}

}  // namespace zorvex
