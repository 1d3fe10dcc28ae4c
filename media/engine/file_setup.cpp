// Input and output file setup: opening an input (forced format and decoders,
// program selection, stream analysis, seeking, taking over its picture and
// sound parameters) and creating an output with its video, audio and subtitle
// streams. Nothing is written to disk here: the run opens the output.
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "media/engine/engine.h"
#include "media/engine/input_integrity.h"
#include "media/ffapi.h"
#include "media/loader.h"
#include "media/log.h"
#include "media/text.h"
#include "media/util.h"

namespace zorvex {

using text::Fmt;

namespace {

struct FormatContextFree {
    void operator()(AVFormatContext* c) const { ff::avformat_free_context(c); }
};

const char* KindName(bool encoder) {
    return encoder ? "encoder" : "decoder";
}

std::string IsoTime(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
    return text;
}

bool ClassKnows(const AVClass* const* cls, const char* name) {
    return cls != nullptr && *cls != nullptr &&
           ff::av_opt_find(const_cast<const AVClass**>(cls), name, nullptr, 0,
                           AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

// Subtitle kinds by codec properties.
bool IsTextSubtitle(AVCodecID id) {
    const AVCodecDescriptor* d = ff::avcodec_descriptor_get(id);
    return d != nullptr && (d->props & AV_CODEC_PROP_TEXT_SUB) != 0;
}
bool IsBitmapSubtitle(AVCodecID id) {
    const AVCodecDescriptor* d = ff::avcodec_descriptor_get(id);
    return d != nullptr && (d->props & AV_CODEC_PROP_BITMAP_SUB) != 0;
}

// Where the output will be written must be writable; the file itself is not
// created or truncated here.
int CheckWritable(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    if (fs::is_directory(target, ec)) return AVERROR(EISDIR);
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) return AVERROR(ENOENT);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return AVERROR(errno);
    if (fs::exists(target, ec) && ::access(path.c_str(), W_OK) != 0) return AVERROR(errno);
    return 0;
}

// Parameters for the demuxers that take them (raw audio and video, images,
// capture devices); other demuxers leave them unused.
Dictionary DemuxerParameters(const TEngineSettings& s) {
    Dictionary parameters;
    SetLocalProtocolWhitelist(parameters.Out());
    if (s.AudioSampleRate > 0)
        parameters.Set("sample_rate", std::to_string(s.AudioSampleRate).c_str());
    if (s.AudioChannels > 0) {
        AVChannelLayout layout{};
        ff::av_channel_layout_default(&layout, s.AudioChannels);
        char text[128] = "";
        if (ff::av_channel_layout_describe(&layout, text, sizeof text) > 0) {
            parameters.Set("ch_layout", text);
        }
        ff::av_channel_layout_uninit(&layout);
    }
    if (s.FrameWidth > 0 && s.FrameHeight > 0) {
        parameters.Set("video_size", Fmt("%dx%d", s.FrameWidth, s.FrameHeight).c_str());
    }
    if (s.FramePixFmt >= 0) {
        if (const char* pix = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(s.FramePixFmt))) {
            parameters.Set("pixel_format", pix);
        }
    }
    if (s.FrameRate.num > 0 && s.FrameRate.den > 0) {
        parameters.Set("framerate", Fmt("%d/%d", s.FrameRate.num, s.FrameRate.den).c_str());
    }
    if (s.VideoChannel != 0) parameters.Set("channel", std::to_string(s.VideoChannel).c_str());
    if (!s.VideoStandard.empty()) parameters.Set("standard", s.VideoStandard.c_str());
    if (s.LoopInput) parameters.Set("loop", "1");
    return parameters;
}

// Keeps only the streams of the chosen program; false when the file has no
// program of that id.
bool SelectProgram(AVFormatContext* context, int programId) {
    for (unsigned i = 0; i < context->nb_streams; ++i) context->streams[i]->discard = AVDISCARD_ALL;
    bool found = false;
    for (unsigned p = 0; p < context->nb_programs; ++p) {
        AVProgram* program = context->programs[p];
        if (program->id == programId) {
            found = true;
            for (unsigned j = 0; j < program->nb_stream_indexes; ++j) {
                const unsigned index = program->stream_index[j];
                if (index < context->nb_streams)
                    context->streams[index]->discard = AVDISCARD_DEFAULT;
            }
        } else {
            program->discard = AVDISCARD_ALL;
        }
    }
    return found;
}

}  // namespace

// ---------------------------------------------------------------------------
// Codec choice

std::string AvailableEncoderName(const std::string& name) {
    struct Replacement {
        const char* name;
        const char* replacement;
        bool goneFromLibraries;  // no library of the FFmpeg generation we load has it
    };
    static const Replacement kReplacements[] = {
        {"libfaac", "aac", true},
    };
    for (const Replacement& r : kReplacements) {
        if (name != r.name) continue;
        const bool missing = Loader().LibraryLoaded(liAvcodec)
                                 ? ff::avcodec_find_encoder_by_name(r.name) == nullptr
                                 : r.goneFromLibraries;
        return missing ? r.replacement : name;
    }
    return name;
}

bool TCustomFFmpeg::FindCodec(const std::string& name, AVMediaType type, bool encoder,
                              int strictness, AVCodecID& id, const AVCodec** codecOut) {
    id = AV_CODEC_ID_NONE;
    if (codecOut != nullptr) *codecOut = nullptr;
    if (name.empty()) return true;
    const AVCodec* codec = encoder ? ff::avcodec_find_encoder_by_name(name.c_str())
                                   : ff::avcodec_find_decoder_by_name(name.c_str());
    if (codec == nullptr && encoder) {
        const std::string replacement = AvailableEncoderName(name);
        if (replacement != name) codec = ff::avcodec_find_encoder_by_name(replacement.c_str());
        if (codec != nullptr && !substitutionLogged_) {
            substitutionLogged_ = true;
            Logger().Log(this, llInfo,
                         Fmt("Encoder '%s' is not available, using '%s' instead", name.c_str(),
                             replacement.c_str()));
        }
    }
    if (codec == nullptr) {
        SetLastError(Fmt("Unknown %s '%s'", KindName(encoder), name.c_str()));
        return false;
    }
    if (codec->type != type) {
        SetLastError(Fmt("Invalid %s type '%s'", KindName(encoder), name.c_str()));
        return false;
    }
    if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) != 0 &&
        strictness > FF_COMPLIANCE_EXPERIMENTAL) {
        std::string message = Fmt(
            "%s '%s' is experimental and might produce bad results.\r\nAdd '-strict experimental' "
            "if you want to use it.",
            KindName(encoder), codec->name);
        const AVCodec* other =
            encoder ? ff::avcodec_find_encoder(codec->id) : ff::avcodec_find_decoder(codec->id);
        if (other != nullptr && (other->capabilities & AV_CODEC_CAP_EXPERIMENTAL) == 0) {
            message +=
                Fmt("\r\nOr use the non experimental %s '%s'.", KindName(encoder), other->name);
        }
        SetLastError(message);
        return false;
    }
    id = codec->id;
    if (codecOut != nullptr) *codecOut = codec;
    return true;
}

// ---------------------------------------------------------------------------
// Input files

// Decoders named before the input replace the ones its demuxer would choose.
bool TCustomFFmpeg::ForceInputDecoders(AVFormatContext* pending) {
    const TEngineSettings& s = Settings;
    const std::pair<const std::string*, AVMediaType> forced[] = {
        {&s.VideoCodecName, AVMEDIA_TYPE_VIDEO},
        {&s.AudioCodecName, AVMEDIA_TYPE_AUDIO},
        {&s.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE},
    };
    for (const auto& [name, type] : forced) {
        const int strictness = CodecOptions[static_cast<size_t>(type)]
                                   ? CodecOptions[static_cast<size_t>(type)]->strict_std_compliance
                                   : 0;
        AVCodecID id = AV_CODEC_ID_NONE;
        const AVCodec* decoder = nullptr;
        if (!FindCodec(*name, type, false, strictness, id, &decoder)) return false;
        if (type == AVMEDIA_TYPE_VIDEO) {
            pending->video_codec_id = id;
            pending->video_codec = decoder;
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            pending->audio_codec_id = id;
            pending->audio_codec = decoder;
        } else {
            pending->subtitle_codec_id = id;
            pending->subtitle_codec = decoder;
        }
    }
    return true;
}

// The input's picture and sound parameters become the settings the outputs
// added after it start from; the result holds the decoder named for each stream.
std::vector<const AVCodec*> TCustomFFmpeg::TakeOverInputStreams(AVFormatContext* context) {
    TEngineSettings& s = Settings;
    std::vector<const AVCodec*> codecs;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        AVStream* st = context->streams[i];
        const AVCodecParameters* par = st->codecpar;
        if (par->codec_type < AVMEDIA_TYPE_UNKNOWN || par->codec_type >= AVMEDIA_TYPE_NB) {
            throw FFmpegException("invalid codec_type");
        }
        switch (par->codec_type) {
            case AVMEDIA_TYPE_VIDEO: {
                s.Requested.Width = s.Requested.Height = 0;
                s.Requested.FrameRate = AVRational{0, 0};
                s.Requested.DisplayAspect = 0;
                s.Requested.PixelFormat = AV_PIX_FMT_NONE;
                s.FrameHeight = par->height;
                s.FrameWidth = par->width;
                const AVRational sar = st->sample_aspect_ratio.num != 0 ? st->sample_aspect_ratio
                                                                        : par->sample_aspect_ratio;
                float ratio = sar.num != 0 && sar.den != 0
                                  ? static_cast<float>(sar.num) / static_cast<float>(sar.den)
                                  : 0.0f;
                if (s.FrameWidth * s.FrameHeight != 0) {
                    ratio = ratio != 0.0f ? static_cast<float>(s.FrameWidth) * ratio /
                                                static_cast<float>(s.FrameHeight)
                                          : static_cast<float>(s.FrameWidth) /
                                                static_cast<float>(s.FrameHeight);
                } else if (ratio == 0.0f) {
                    ratio = 4.0f / 3.0f;
                }
                s.FrameAspectRatio = ratio;
                s.FramePixFmt = par->format >= 0 ? par->format : 0;
                std::int64_t lowres = 0;
                if (CodecOptions[skVideo])
                    ff::av_opt_get_int(CodecOptions[skVideo].get(), "lowres", 0, &lowres);
                if (lowres > 0 && lowres < 31) {
                    s.FrameWidth >>= lowres;
                    s.FrameHeight >>= lowres;
                }
                const AVRational rate = st->r_frame_rate;
                const AVRational codecBase = ff::av_stream_get_codec_timebase(st);
                // Codecs that count fields tick twice per frame.
                const int ticks = par->codec_id == AV_CODEC_ID_H264 ||
                                          par->codec_id == AV_CODEC_ID_MPEG2VIDEO ||
                                          par->codec_id == AV_CODEC_ID_MPEG1VIDEO
                                      ? 2
                                      : 1;
                if (s.Verbose >= 0 && codecBase.num != 0 && rate.num != 0 && rate.den != 0 &&
                    (codecBase.den != rate.num * ticks || codecBase.num != rate.den)) {
                    Logger().Log(
                        this, llInfo,
                        Fmt("Seems stream %d codec frame rate differs from container frame "
                            "rate: %2.2f (%d/%d) -> %2.2f (%d/%d)",
                            static_cast<int>(i), static_cast<double>(codecBase.den) / codecBase.num,
                            codecBase.den, codecBase.num, static_cast<double>(rate.num) / rate.den,
                            rate.num, rate.den));
                }
                s.FrameRate = rate;
                codecs.push_back(s.VideoCodecName.empty()
                                     ? nullptr
                                     : ff::avcodec_find_decoder_by_name(s.VideoCodecName.c_str()));
                if (s.VideoDisable)
                    st->discard = AVDISCARD_ALL;
                else if (s.VideoDiscard != 0)
                    st->discard = static_cast<AVDiscard>(s.VideoDiscard);
                break;
            }
            case AVMEDIA_TYPE_AUDIO:
                s.Requested.SampleRate = 0;
                s.Requested.Channels = 0;
                s.ChannelLayout =
                    par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? par->ch_layout.u.mask : 0;
                s.AudioChannels = par->ch_layout.nb_channels;
                s.AudioSampleRate = par->sample_rate;
                s.AudioSampleFmt = par->format;
                codecs.push_back(s.AudioCodecName.empty()
                                     ? nullptr
                                     : ff::avcodec_find_decoder_by_name(s.AudioCodecName.c_str()));
                if (s.AudioDisable) st->discard = AVDISCARD_ALL;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                codecs.push_back(s.SubtitleCodecName.empty() ? nullptr
                                                             : ff::avcodec_find_decoder_by_name(
                                                                   s.SubtitleCodecName.c_str()));
                if (s.SubtitleDisable) st->discard = AVDISCARD_ALL;
                break;
            default:
                codecs.push_back(nullptr);
                break;
        }
    }
    return codecs;
}

bool TCustomFFmpeg::AddInputFile(const std::string& fileName) {
    RequireLibraries();
    EnsureGenericContexts();
    TEngineSettings& s = Settings;
    if (InputFileCount() >= maxFiles_) {
        SetLastError(Fmt("max input files %d reached", maxFiles_));
        return false;
    }
    const std::string ffName = ToFFmpegFileName(fileName);
    if (ffName.size() + 1 > MaxInputNameBytes) {
        SetLastError(FFmpegErrorText(fileName, AVERROR(ENAMETOOLONG)));
        return false;
    }

    // A forced format ("f" before the input) applies to this input only.
    const AVInputFormat* format = nullptr;
    if (!s.FormatName.empty()) {
        format = ff::av_find_input_format(s.FormatName.c_str());
        if (format == nullptr) {
            throw FFmpegException(Fmt("Unknown input format: \"%s\"", s.FormatName.c_str()));
        }
        s.FormatName.clear();
    }

    // Whatever happens from here, the pending names and channel are used up.
    struct Consume {
        TEngineSettings& s;
        ~Consume() {
            s.VideoChannel = 0;
            s.VideoCodecName.clear();
            s.AudioCodecName.clear();
            s.SubtitleCodecName.clear();
        }
    } consume{s};

    std::unique_ptr<AVFormatContext, FormatContextFree> pending(ff::avformat_alloc_context());
    if (!pending) throw FFmpegException("avformat_alloc_context failed");
    Dictionary parameters = DemuxerParameters(s);
    ApplyGenericOptions(pending.get(), FormatOptionsIndex, AV_OPT_FLAG_DECODING_PARAM);
    if (!ForceInputDecoders(pending.get())) return false;
    // Reads must not block on pipes and devices; the loop retries them.
    pending->flags |= AVFMT_FLAG_NONBLOCK;
    if (s.PgmyuvCompat) pending->video_codec_id = AV_CODEC_ID_PGMYUV;

    // The file as it is before the open, to see at the end whether it changed
    // while it was read.
    struct stat onDisk {};
    const bool regularFile = ::stat(fileName.c_str(), &onDisk) == 0 && S_ISREG(onDisk.st_mode);

    // FFmpeg frees the context itself when the open fails.
    AVFormatContext* raw = pending.release();
    const int opened = ff::avformat_open_input(&raw, ffName.c_str(), format, parameters.Out());
    if (opened < 0) {
        SetLastError(InputErrorText(fileName, opened));
        return false;
    }
    LockedInputContextPtr context(raw);

    if (s.ProgramId != 0) {
        if (!SelectProgram(context.get(), s.ProgramId)) {
            SetLastError("Specified program id not found");
            return false;
        }
        s.ProgramId = 0;
    }

    const int analysed = FindStreamInfoLocked(context.get());
    if (analysed < 0 && s.Verbose >= 0) {
        // A file that ends (or fails to read) before its streams are known is
        // cut off or broken; other failures keep FFmpeg's own reason.
        const bool damaged = InputErrorText(fileName, analysed) == DamagedFileText(fileName);
        const std::string message =
            damaged ? DamagedFileText(fileName)
                    : Fmt("%s: could not find codec parameters", fileName.c_str());
        Logger().Log(this, llVerbose, message);
        SetLastError(message);
        return false;
    }

    // The start time is relative to the file's own first time stamp; a failed
    // seek still converts, only from earlier on.
    const std::int64_t skipped = s.StartTime;
    std::int64_t target = s.StartTime;
    if (context->start_time != AV_NOPTS_VALUE) target += context->start_time;
    if (s.StartTime != 0) {
        if (ff::av_seek_frame(context.get(), -1, target, AVSEEK_FLAG_BACKWARD) < 0 &&
            s.Verbose > 0) {
            Logger().Log(this, llVerbose,
                         Fmt("%s: could not seek to position %0.3f", fileName.c_str(),
                             static_cast<double>(target) / 1000000.0));
        }
        s.StartTime = 0;
    }

    const std::vector<const AVCodec*> codecs = TakeOverInputStreams(context.get());

    // Progress is measured against what is left after the skipped start; the
    // longest input sets it.
    const std::int64_t remaining = context->duration != AV_NOPTS_VALUE
                                       ? std::max<std::int64_t>(context->duration - skipped, 0)
                                       : AV_NOPTS_VALUE;
    if (remaining != AV_NOPTS_VALUE && remaining > s.ExpectedDuration) {
        s.ExpectedDuration = remaining;
    }

    // The offset moves the file's time stamps to start at zero unless they are
    // copied as they are.
    TInputFile input;
    input.FileName = fileName;
    input.TsOffset = s.CopyTs ? s.InputTimeOffset : s.InputTimeOffset - target;
    input.CopyTsOffset = s.InputTimeOffset;
    if (regularFile) {
        input.SizeAtOpen = onDisk.st_size;
        input.ModifiedAtOpen = ModifiedNanoseconds(onDisk);
    }
    if (s.Verbose >= 0) ff::av_dump_format(context.get(), InputFileCount(), ffName.c_str(), 0);
    input.Context = std::move(context);
    InputFiles.push_back(std::move(input));
    InputCodecs.insert(InputCodecs.end(), codecs.begin(), codecs.end());
    return true;
}

// ---------------------------------------------------------------------------
// Output files

TCustomFFmpeg::TInputKinds TCustomFFmpeg::check_audio_video_sub_inputs(bool firstOnly) const {
    TInputKinds kinds;
    const size_t count = firstOnly ? std::min<size_t>(1, InputFiles.size()) : InputFiles.size();
    for (size_t f = 0; f < count; ++f) {
        const AVFormatContext* ic = InputFiles[f].Context.get();
        for (unsigned i = 0; i < ic->nb_streams; ++i) {
            const AVCodecParameters* par = ic->streams[i]->codecpar;
            switch (par->codec_type) {
                case AVMEDIA_TYPE_VIDEO:
                    kinds.Video = true;
                    break;
                case AVMEDIA_TYPE_AUDIO:
                    kinds.Audio = true;
                    break;
                case AVMEDIA_TYPE_SUBTITLE:
                    kinds.Subtitle = true;
                    kinds.TextSubtitle = kinds.TextSubtitle || IsTextSubtitle(par->codec_id);
                    kinds.BitmapSubtitle = kinds.BitmapSubtitle || IsBitmapSubtitle(par->codec_id);
                    break;
                case AVMEDIA_TYPE_UNKNOWN:
                case AVMEDIA_TYPE_DATA:
                case AVMEDIA_TYPE_ATTACHMENT:
                    break;
                default:
                    throw FFmpegException("invalid codec_type of input file");
            }
        }
    }
    return kinds;
}

int TCustomFFmpeg::AddOutputFile(const std::string& fileName, bool join) {
    RequireLibraries();
    EnsureGenericContexts();
    TEngineSettings& s = Settings;
    auto fail = [&](std::string message) {
        SetLastError(std::move(message));
        return -1;
    };
    if (JoinMode) return fail("Cannot join more than one output file.");
    if (OutputFileCount() >= maxFiles_) return fail(Fmt("max output files %d reached", maxFiles_));
    const std::string ffName = ToFFmpegFileName(fileName);
    if (ffName.size() + 1 > MaxOutputNameBytes || NameTooLong(fileName)) {
        return fail(FFmpegErrorText(fileName, AVERROR(ENAMETOOLONG)));
    }
    if (const std::string refusal =
            DestinationRefusal(fileName, ResolveOutputDestination(fileName));
        !refusal.empty()) {
        return fail(refusal);
    }
    for (const TInputFile& input : InputFiles) {
        std::error_code ec;
        if (std::filesystem::equivalent(fileName, input.FileName, ec)) {
            return fail(Fmt("Output file '%s' is the same file as input '%s'", fileName.c_str(),
                            input.FileName.c_str()));
        }
    }

    // Format.
    const AVOutputFormat* format = nullptr;
    if (!s.FormatName.empty()) {
        format = ff::av_guess_format(s.FormatName.c_str(), nullptr, nullptr);
        if (format == nullptr) {
            // The refused name is used up too, so that it cannot fail the outputs
            // added after this one.
            const std::string name = std::move(s.FormatName);
            s.FormatName.clear();
            return fail(
                Fmt("Requested output format '%s' is not a suitable output format", name.c_str()));
        }
    } else {
        format = ff::av_guess_format(nullptr, ffName.c_str(), nullptr);
        if (format == nullptr) {
            return fail(Fmt("Unable to find a suitable output format for '%s'", fileName.c_str()));
        }
    }
    s.FormatName.clear();

    auto output = std::make_shared<TOutputFile>();
    output->FileName = fileName;
    output->UsesFilters = !s.VideoFilters.empty();
    AVFormatContext* raw = nullptr;
    if (ff::avformat_alloc_output_context2(&raw, format, nullptr, ffName.c_str()) < 0 ||
        raw == nullptr) {
        throw FFmpegException("avformat_alloc_context failed");
    }
    output->Context.reset(raw);

    // Which streams.
    // Audio formats that carry a cover picture (mp3, flac) name PNG as their video
    // codec; they get no video stream unless one is asked for.
    const bool coverOnly =
        format->video_codec == AV_CODEC_ID_PNG && format->audio_codec != AV_CODEC_ID_NONE;
    bool useVideo = s.VideoStreamCopy || (format->video_codec != AV_CODEC_ID_NONE && !coverOnly) ||
                    !s.VideoCodecName.empty();
    bool useAudio =
        s.AudioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE || !s.AudioCodecName.empty();
    bool useSubtitle = s.SubtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE ||
                       !s.SubtitleCodecName.empty();
    if (!InputFiles.empty()) {
        TInputKinds kinds;
        try {
            kinds = check_audio_video_sub_inputs(join);
        } catch (const std::exception& x) {
            return fail(Fmt("check_audio_video_sub_inputs fail: %s", x.what()));
        }
        useVideo = useVideo && kinds.Video;
        useAudio = useAudio && kinds.Audio;
        useSubtitle = useSubtitle && kinds.Subtitle;
        if (useSubtitle && !s.SubtitleStreamCopy && s.SubtitleCodecName.empty()) {
            // Without a named encoder the container's own subtitle encoder is used,
            // when it can take the subtitles the inputs hold (text or pictures).
            const AVCodec* encoder = ff::avcodec_find_encoder(format->subtitle_codec);
            const bool fits =
                encoder != nullptr && ((IsTextSubtitle(encoder->id) && kinds.TextSubtitle) ||
                                       (IsBitmapSubtitle(encoder->id) && kinds.BitmapSubtitle));
            if (!fits) {
                useSubtitle = false;
                Logger().Log(this, llInfo,
                             Fmt("Subtitles are not kept: the %s format cannot take the subtitles "
                                 "of the input",
                                 format->name));
            }
        }
    }
    if (s.AudioDisable) useAudio = false;
    if (s.VideoDisable) useVideo = false;
    if (s.SubtitleDisable) useSubtitle = false;

    // Streams in the order video, audio, subtitle.
    const char* stage = nullptr;
    try {
        if (useVideo) {
            stage = "new_video_stream";
            new_video_stream(*output);
        }
        if (useAudio) {
            stage = "new_audio_stream";
            new_audio_stream(*output);
        }
        if (useSubtitle) {
            stage = "new_subtitle_stream";
            new_subtitle_stream(*output);
        }
    } catch (const std::exception& x) {
        return fail(Fmt("%s fail: %s", stage, x.what()));
    }

    AVFormatContext* oc = output->Context.get();
    if (s.RecTimestamp != 0) {
        ff::av_dict_set(&oc->metadata, "creation_time", IsoTime(s.RecTimestamp).c_str(), 0);
    }
    for (auto it = s.Metadata.rbegin(); it != s.Metadata.rend(); ++it) {
        ff::av_dict_set(&oc->metadata, it->first.c_str(), it->second.c_str(), 0);
    }
    s.Metadata.clear();

    if ((format->flags & AVFMT_NEEDNUMBER) != 0 && !ff::av_filename_number_test(ffName.c_str())) {
        return fail(FFmpegErrorText(fileName, AVERROR(EDOM)));
    }
    if ((format->flags & AVFMT_NOFILE) == 0) {
        const int writable = CheckWritable(fileName);
        if (writable < 0) return fail(FFmpegErrorText(fileName, writable));
    }

    // Multiplexer parameters.
    oc->max_delay = static_cast<int>(s.MuxMaxDelay * 1000000);
    if (oc->priv_data != nullptr) {
        if (ClassKnows(&format->priv_class, "preload")) {
            ff::av_opt_set_int(oc->priv_data, "preload",
                               static_cast<std::int64_t>(s.MuxPreload * 1000000), 0);
        }
        if (ClassKnows(&format->priv_class, "loop")) {
            ff::av_opt_set_int(oc->priv_data, "loop", s.LoopOutput, 0);
        }
    }
    oc->flags |= AVFMT_FLAG_NONBLOCK;
    ApplyGenericOptions(oc, FormatOptionsIndex, AV_OPT_FLAG_ENCODING_PARAM);
    ApplyPrivateFormatOptions(oc);
    s.StreamIdMap.fill(0);

    OutputFiles.push_back(output);
    if (join && InputFileCount() > 1) {
        JoinMode = true;
        std::int64_t total = 0;
        for (const TInputFile& input : InputFiles) {
            if (input.Context->duration != AV_NOPTS_VALUE) total += input.Context->duration;
        }
        s.ExpectedDuration = total != 0 ? total : -1;
        for (int i = 1; i < InputFileCount(); ++i) OutputFiles.push_back(output);
    }
    return OutputFileCount();
}

bool TCustomFFmpeg::RenameOutputFile(int index, const std::string& fileName) {
    if (index < 0 || index >= OutputFileCount()) {
        SetLastError(Fmt("No output file #%d", index));
        return false;
    }
    TOutputFile& output = *OutputFiles[static_cast<size_t>(index)];
    const auto extension = [](const std::string& name) {
        std::string ext = std::filesystem::path(name).extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return ext;
    };
    // The container was chosen by the first name; a muxer that opens files by
    // their name itself (image sequences, segments) keeps the name it was given.
    const AVOutputFormat* format = output.Context ? output.Context->oformat : nullptr;
    if (JoinMode || extension(fileName) != extension(output.FileName) ||
        fileName.size() + 1 > MaxOutputNameBytes || NameTooLong(fileName) ||
        (format != nullptr && (format->flags & AVFMT_NOFILE) != 0)) {
        SetLastError(
            Fmt("%s cannot take the place of %s", fileName.c_str(), output.FileName.c_str()));
        return false;
    }
    output.FileName = fileName;
    return true;
}

}  // namespace zorvex
