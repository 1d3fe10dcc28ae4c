// Transcode setup: the run's working records, the mapping of every output
// stream to an input stream, the copy or encode parameters of each output
// stream, two-pass statistics files, decoders and encoders (opened under
// CodecLock), metadata, chapters, the output headers and the mapping report.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "media/cpu_cores.h"
#include "media/engine/encoder_rules.h"
#include "media/engine/picture_geometry.h"
#include "media/engine/transcoder.h"
#include "media/loader.h"
#include "media/log.h"
#include "media/output_check.h"
#include "media/text.h"

namespace zorvex {

using text::Fmt;

namespace {

constexpr std::size_t kMaxLogNameBytes = 1023;

// Where the two-pass statistics of an output live when no "passlogfile" is
// given: a folder of their own per output file, so that tasks converting to
// different outputs at the same time never share a statistics file, while the
// second pass of an output finds what its first pass wrote.
std::string DefaultPassLogPrefix(const std::string& outputName) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path absolute = fs::absolute(outputName, ec);
    if (ec) absolute = outputName;
    const std::string key = absolute.lexically_normal().string();
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a: the same in every build
    for (unsigned char c : key) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    fs::path base;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache == '/') {
        base = cache;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        base = fs::path(home) / ".cache";
    } else {
        base = fs::temp_directory_path() / Fmt("zorvex-%u", static_cast<unsigned>(::getuid()));
    }
    const fs::path folder =
        base / "zorvex" / "2pass" / Fmt("%016llx", static_cast<unsigned long long>(hash));
    fs::create_directories(folder, ec);
    return (folder / "ffmpeg2pass").string();
}

bool KnowsPrivateOption(const AVCodecContext* c, const char* name) {
    return c->priv_data != nullptr && ff::av_opt_find(c->priv_data, name, nullptr, 0, 0) != nullptr;
}

}  // namespace

Transcoder::Transcoder(TCustomFFmpeg& engine)
    : e_(engine), s_(engine.Settings), codecThreads_(engine.CodecThreads()) {}

Transcoder::~Transcoder() {
    CloseEncoders();
    CloseDecoders();
}

const char* Transcoder::TypeName(AVMediaType type) const {
    switch (type) {
        case AVMEDIA_TYPE_VIDEO:
            return "Video";
        case AVMEDIA_TYPE_AUDIO:
            return "Audio";
        case AVMEDIA_TYPE_DATA:
            return "Data";
        case AVMEDIA_TYPE_SUBTITLE:
            return "Subtitle";
        case AVMEDIA_TYPE_ATTACHMENT:
            return "Attachment";
        default:
            return "Unknown";
    }
}

void Transcoder::RunTranscode() {
    decoded_.reset(ff::av_frame_alloc());
    filtered_.reset(ff::av_frame_alloc());
    audioFrame_.reset(ff::av_frame_alloc());
    encoded_.reset(ff::av_packet_alloc());
    if (!decoded_ || !filtered_ || !audioFrame_ || !encoded_)
        throw FFmpegException("av_mallocz fail");

    // The component's handlers reach the hooks and the preview of this run.
    TCustomFFmpeg* engine = &e_;
    if (e_.HookCallback) {
        e_.Hooks.SetCustomHook(
            [engine](TBitmap& bitmap, int frameNumber, std::int64_t pts, bool& update, bool& stop) {
                engine->HookCallback(engine, bitmap, frameNumber, pts, update, stop);
            });
    }
    if (e_.PreviewCallback) {
        e_.Preview.SetBitmapHandler(
            [engine](const TBitmap& bitmap, int frameNumber, std::int64_t pts) {
                engine->PreviewCallback(engine, bitmap, frameNumber, pts);
            });
    } else {
        e_.Preview.SetBitmapHandler(nullptr);
    }

    // An output that starts later than its input ends sooner too.
    if (s_.RecordingTime == UnlimitedTime && s_.StartTime > 0 && s_.ExpectedDuration > 0) {
        s_.ExpectedDuration = std::max<std::int64_t>(s_.ExpectedDuration - s_.StartTime, 0);
    }

    BuildTables();
    MapStreams();
    SetupStreams();
    OpenEncoders();
    OpenDecoders();
    InitInputTimestamps();
    CopyMetadata();
    CopyChapters();
    if (!WriteHeaders()) return;  // stopped while waiting for a pipe's reader
    WriteMappingReport();
    MainLoop();
    EndOfRun();
}

// The working records of the run: a state per input stream, each distinct
// output file once (join mode lists the same file for every input), and a state
// per stream of every output entry. Bad stream maps fail here, before anything
// is opened.
void Transcoder::BuildTables() {
    for (int f = 0; f < e_.InputFileCount(); ++f) {
        TInputFile& input = e_.InputFiles[static_cast<size_t>(f)];
        // "copyts" acts the same whether it came before or after the input.
        if (s_.CopyTs) input.TsOffset = input.CopyTsOffset;
        AVFormatContext* ic = input.Context.get();
        InputFileState file;
        file.FirstStream = static_cast<int>(ist_.size());
        file.StreamCount = static_cast<int>(ic->nb_streams);
        files_.push_back(file);
        for (unsigned i = 0; i < ic->nb_streams; ++i) {
            InputStreamState ist;
            ist.FileIndex = f;
            ist.StreamIndex = static_cast<int>(i);
            ist.Stream = ic->streams[i];
            if (s_.RateEmu) ist.RateStart = ff::av_gettime_relative();
            ist_.push_back(std::move(ist));
        }
    }

    int total = 0;
    for (int i = 0; i < e_.OutputFileCount(); ++i) {
        TOutputFile& output = *e_.OutputFiles[static_cast<size_t>(i)];
        if (output.Streams.empty()) {
            ff::av_dump_format(output.Context.get(), i, output.Context->url, 1);
            throw FFmpegException(Fmt("Output file #%d does not contain any stream", i));
        }
        total += static_cast<int>(output.Streams.size());
        if (std::find(outputs_.begin(), outputs_.end(), &output) == outputs_.end()) {
            outputs_.push_back(&output);
        }
    }
    groupSize_ = static_cast<int>(e_.OutputFiles[0]->Streams.size());

    if (!s_.StreamMaps.empty()) {
        if (static_cast<int>(s_.StreamMaps.size()) != total) {
            throw FFmpegException("Number of stream maps must match number of output streams");
        }
        auto exists = [&](int file, int stream) {
            return file >= 0 && file < static_cast<int>(files_.size()) && stream >= 0 &&
                   stream < files_[static_cast<size_t>(file)].StreamCount;
        };
        for (const TStreamMap& m : s_.StreamMaps) {
            if (!exists(m.FileIndex, m.StreamIndex)) {
                throw FFmpegException(
                    Fmt("Could not find input stream #%d.%d", m.FileIndex, m.StreamIndex));
            }
            if (!exists(m.SyncFileIndex, m.SyncStreamIndex)) {
                throw FFmpegException(
                    Fmt("Could not find sync stream #%d.%d", m.SyncFileIndex, m.SyncStreamIndex));
            }
        }
    }

    // One runtime record per stream of every distinct output file; one state per
    // stream of every output entry.
    ost_.reserve(static_cast<size_t>(total));
    for (int i = 0; i < e_.OutputFileCount(); ++i) {
        TOutputFile& output = *e_.OutputFiles[static_cast<size_t>(i)];
        for (int j = 0; j < static_cast<int>(output.Streams.size()); ++j) {
            OutputStreamRuntime* run = nullptr;
            for (const auto& r : runtimes_) {
                if (r->File == &output && r->StreamIndex == j) run = r.get();
            }
            if (run == nullptr) {
                auto r = std::make_unique<OutputStreamRuntime>();
                TOutputStream& out = output.Streams[static_cast<size_t>(j)];
                r->File = &output;
                r->Out = &out;
                r->Stream = out.Stream;
                r->Codec = out.Codec.get();
                r->Type = out.Stream->codecpar->codec_type;
                r->FileIndex = i;
                r->StreamIndex = j;
                r->TableIndex = static_cast<int>(ost_.size());
                run = r.get();
                runtimes_.push_back(std::move(r));
            }
            OutputStreamState os;
            os.FileIndex = i;
            os.StreamIndex = j;
            os.Run = run;
            ost_.push_back(os);
        }
    }
}

// Each output stream takes its source from the stream maps when they are
// given; otherwise an input stream of its type that no other output stream took
// yet, the one the file's analysis rates best first.
void Transcoder::MapStreams() {
    // The stream each file's analysis found best, per media type: the choice
    // among several streams of one type (the analysis frame counts themselves
    // are no longer public).
    auto bestOf = [&](int file, AVMediaType type) {
        return ff::av_find_best_stream(e_.InputFiles[static_cast<size_t>(file)].Context.get(), type,
                                       -1, -1, nullptr, 0);
    };
    for (size_t k = 0; k < ost_.size(); ++k) {
        OutputStreamState& os = ost_[k];
        const AVMediaType type = os.Run->Type;
        if (!s_.StreamMaps.empty()) {
            const TStreamMap& m = s_.StreamMaps[k];
            os.SourceIndex = files_[static_cast<size_t>(m.FileIndex)].FirstStream + m.StreamIndex;
            os.SyncIndex =
                files_[static_cast<size_t>(m.SyncFileIndex)].FirstStream + m.SyncStreamIndex;
            const InputStreamState& ist = ist_[static_cast<size_t>(os.SourceIndex)];
            if (ist.Stream->codecpar->codec_type != type) {
                const TOutputFile& output = *e_.OutputFiles[static_cast<size_t>(os.FileIndex)];
                ff::av_dump_format(output.Context.get(), os.FileIndex, output.Context->url, 1);
                throw FFmpegException(
                    Fmt("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", m.FileIndex,
                        m.StreamIndex, TypeName(ist.Stream->codecpar->codec_type), os.FileIndex,
                        os.StreamIndex, TypeName(type)));
            }
        } else {
            int chosen = -1;
            int bestScore = -1;
            for (size_t i = 0; i < ist_.size(); ++i) {
                const InputStreamState& ist = ist_[i];
                if (!ist.Discard || ist.Stream->discard == AVDISCARD_ALL ||
                    ist.Stream->codecpar->codec_type != type) {
                    continue;
                }
                if (s_.ProgramId != 0) {
                    const AVProgram* program = ff::av_find_program_from_stream(
                        e_.InputFiles[static_cast<size_t>(ist.FileIndex)].Context.get(), nullptr,
                        ist.StreamIndex);
                    bool inProgram = false;
                    for (; program != nullptr && !inProgram;
                         program = ff::av_find_program_from_stream(
                             e_.InputFiles[static_cast<size_t>(ist.FileIndex)].Context.get(),
                             const_cast<AVProgram*>(program), ist.StreamIndex)) {
                        inProgram = program->id == s_.ProgramId;
                    }
                    if (!inProgram) continue;
                }
                if (e_.JoinMode && ist.FileIndex != os.FileIndex) continue;
                const int score = bestOf(ist.FileIndex, type) == ist.StreamIndex ? 1 : 0;
                if (score > bestScore) {
                    bestScore = score;
                    chosen = static_cast<int>(i);
                }
            }
            if (chosen < 0 && s_.ProgramId == 0 && !e_.JoinMode) {
                for (size_t i = 0; i < ist_.size(); ++i) {
                    if (ist_[i].Stream->codecpar->codec_type == type &&
                        ist_[i].Stream->discard != AVDISCARD_ALL) {
                        chosen = static_cast<int>(i);
                    }
                }
            }
            if (chosen < 0) {
                const TOutputFile& output = *e_.OutputFiles[static_cast<size_t>(os.FileIndex)];
                ff::av_dump_format(output.Context.get(), os.FileIndex, output.Context->url, 1);
                throw FFmpegException(
                    Fmt("Could not find input stream matching output stream #%d.%d (%s)",
                        os.FileIndex, os.StreamIndex, TypeName(type)));
            }
            os.SourceIndex = chosen;
            os.SyncIndex = chosen;
        }
        InputStreamState& source = ist_[static_cast<size_t>(os.SourceIndex)];
        source.Discard = false;
        os.Active = !e_.JoinMode || os.FileIndex == 0;
    }
    // Only now, when the table no longer grows, are pointers into it taken.
    for (OutputStreamState& os : ost_) {
        ist_[static_cast<size_t>(os.SourceIndex)].Outputs.push_back(&os);
    }
}

// Copied streams take the source's parameters as they are; encoded ones get
// what their encoder needs from the source and the settings, and mark their
// source for decoding.
void Transcoder::SetupStreams() {
    for (const auto& r : runtimes_) {
        OutputStreamRuntime& rt = *r;
        InputStreamState& ist =
            ist_[static_cast<size_t>(ost_[static_cast<size_t>(rt.TableIndex)].SourceIndex)];
        ff::av_dict_copy(&rt.Stream->metadata, ist.Stream->metadata, AV_DICT_DONT_OVERWRITE);
        rt.StillPicture = (ist.Stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
        rt.Stream->disposition = ist.Stream->disposition;
        if (rt.Out->StreamCopy) {
            SetupCopy(rt, ist);
        } else {
            // The encoder writes its own name; an encoded cover picture becomes
            // an ordinary picture stream.
            ff::av_dict_set(&rt.Stream->metadata, "encoder", nullptr, 0);
            rt.Stream->disposition &=
                ~(AV_DISPOSITION_ATTACHED_PIC | AV_DISPOSITION_TIMED_THUMBNAILS);
            rt.Codec->chroma_sample_location = ist.Stream->codecpar->chroma_location;
            SetupEncode(rt, ist);
        }
    }
    for (const OutputStreamState& os : ost_) {
        if (os.Run->EncodingNeeded) ist_[static_cast<size_t>(os.SourceIndex)].DecodingNeeded = true;
    }
}

void Transcoder::SetupCopy(OutputStreamRuntime& rt, InputStreamState& ist) {
    const AVCodecParameters* in = ist.Stream->codecpar;
    AVCodecParameters* par = rt.Stream->codecpar;
    const AVOutputFormat* format = rt.File->Context->oformat;
    if (static_cast<std::int64_t>(in->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE > INT_MAX) {
        throw FFmpegException("icodec.extradata_size is invalid (too large)");
    }
    switch (in->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            if (e_.HookCallback || e_.Hooks.HasCustomHook()) {
                throw FFmpegException(
                    "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
            }
            if (e_.Hooks.HasFrameHooks()) {
                throw FFmpegException(
                    "-vcodec copy and -vhook are incompatible (frames are not decoded)");
            }
            if (e_.Preview.Flags() != 0) {
                throw FFmpegException(
                    "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
            }
            break;
        case AVMEDIA_TYPE_AUDIO:
            if (s_.AudioVolume != 256) {
                throw FFmpegException(
                    "-acodec copy and -vol are incompatible (frames are not decoded)");
            }
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            break;
        default:
            throw FFmpegException("invalid codec_type of output stream");
    }

    const std::uint32_t forcedTag = rt.Codec != nullptr ? rt.Codec->codec_tag : 0;
    if (ff::avcodec_parameters_copy(par, in) < 0) throw FFmpegException("av_mallocz fail");
    // The input's tag goes along where the output format reads it the same way.
    std::uint32_t tag = forcedTag;
    if (tag == 0) {
        const AVCodecTag* const* table = format->codec_tag;
        if (table == nullptr || ff::av_codec_get_id(table, in->codec_tag) == in->codec_id ||
            ff::av_codec_get_tag(table, in->codec_id) == 0) {
            tag = in->codec_tag;
        }
    }
    par->codec_tag = tag;
    if (in->codec_type == AVMEDIA_TYPE_AUDIO) {
        if ((par->block_align == 1 && par->codec_id == AV_CODEC_ID_MP3) ||
            par->codec_id == AV_CODEC_ID_AC3) {
            par->block_align = 0;
        }
    }
    if (in->codec_type == AVMEDIA_TYPE_VIDEO) {
        rt.Stream->sample_aspect_ratio = ist.Stream->sample_aspect_ratio.num != 0
                                             ? ist.Stream->sample_aspect_ratio
                                             : in->sample_aspect_ratio;
        // An asked aspect relabels the copied pictures: only the container says it.
        const double aspect = rt.Out->Requested.DisplayAspect;
        if (aspect > 0 && in->width > 0 && in->height > 0) {
            rt.Stream->sample_aspect_ratio = ff::av_d2q(aspect * in->height / in->width, 255);
            par->sample_aspect_ratio = rt.Stream->sample_aspect_ratio;
        }
        rt.Stream->avg_frame_rate = ist.Stream->avg_frame_rate;
        rt.Stream->r_frame_rate = ist.Stream->r_frame_rate;
    }
    rt.Stream->time_base = ist.Stream->time_base;  // a hint for the muxer
    rt.PacketTimeBase = ist.Stream->time_base;

    for (const std::string& name : rt.Out->Bsf) {
        if (!rt.Bsf.Add(name)) throw FFmpegException(rt.Bsf.LastError());
    }
    if (!rt.Bsf.Init(par, rt.PacketTimeBase, rt.Stream->index, "copy")) {
        throw FFmpegException(rt.Bsf.LastError());
    }
    if (!rt.Bsf.Empty()) {
        ff::avcodec_parameters_copy(par, rt.Bsf.OutputParameters());
        rt.Stream->time_base = rt.Bsf.OutputTimeBase();
    }
}

void Transcoder::SetupEncode(OutputStreamRuntime& rt, InputStreamState& ist) {
    AVCodecContext* c = rt.Codec;
    rt.EncodingNeeded = true;
    switch (rt.Type) {
        case AVMEDIA_TYPE_AUDIO:
            ChooseAudioParameters(rt, ist);
            rt.Audio = std::make_unique<AudioConverter>();
            break;
        case AVMEDIA_TYPE_VIDEO: {
            const SourcePicture picture = ChooseVideoParameters(rt, ist);
            if (c->pix_fmt == AV_PIX_FMT_NONE) {
                throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
            }
            const bool variable = (rt.File->Context->oformat->flags & AVFMT_VARIABLE_FPS) != 0;
            rt.Sync = std::make_unique<VideoSync>(s_.VideoSyncMethod, variable, s_.Verbose);
            // Without a decoder nothing about the picture is known; with one, a
            // picture of no size or format comes from a cut-off or broken stream.
            if (DecoderFor(ist) == nullptr) FailNoDecoder(ist);
            const AVCodecParameters* par = ist.Stream->codecpar;
            if (par->width <= 0 || par->height <= 0 || par->format < 0) {
                throw FFmpegException(
                    DamagedFileText(e_.InputFiles[static_cast<size_t>(ist.FileIndex)].FileName));
            }
            e_.SetLastError("");
            if (!ConfigureFilters(rt, ist, picture.Rotation)) {
                throw FFmpegException(e_.LastError().empty()
                                          ? std::string("Error opening filters!")
                                          : "Error opening filters: " + e_.LastError());
            }
            break;
        }
        case AVMEDIA_TYPE_SUBTITLE:
            rt.Subtitles = std::make_unique<SubtitleEncoder>();
            break;
        default:
            throw FFmpegException("invalid codec_type of output stream");
    }
    SetupTwoPass(rt);
}

SourcePicture Transcoder::ChooseVideoParameters(OutputStreamRuntime& rt,
                                                const InputStreamState& ist) {
    AVCodecContext* c = rt.Codec;
    const AVCodec* encoder = rt.Out->Encoder;
    const TStreamRequest& want = rt.Out->Requested;
    const AVCodecParameters* par = ist.Stream->codecpar;
    AVFormatContext* ic = e_.InputFiles[static_cast<size_t>(ist.FileIndex)].Context.get();

    SourcePicture picture;
    picture.Width = par->width;
    picture.Height = par->height;
    // Anamorphic sources often carry their sample aspect only in the container.
    picture.SampleAspect = ff::av_guess_sample_aspect_ratio(ic, ist.Stream, nullptr);
    picture.Rotation = RotationOf(ist.Stream);
    picture.CropTop = s_.CropTop;
    picture.CropBottom = s_.CropBottom;
    picture.CropLeft = s_.CropLeft;
    picture.CropRight = s_.CropRight;

    // 8-bit 4:2:0 unless a pixel format is asked for: 10-bit or 4:4:4 sources
    // would otherwise give profiles that players and devices refuse.
    if (want.PixelFormat != AV_PIX_FMT_NONE) {
        c->pix_fmt = want.PixelFormat;
        TCustomFFmpeg::ChoosePixelFormat(c, encoder);
    } else {
        c->pix_fmt = DefaultPixelFormat(encoder, static_cast<AVPixelFormat>(par->format),
                                        c->strict_std_compliance);
    }

    if (picture.ShownWidth() > 0 && picture.ShownHeight() > 0) {
        FrameRequest request;
        request.Width = want.Width;
        request.Height = want.Height;
        request.DisplayAspect = want.DisplayAspect;
        if (request.DisplayAspect <= 0 && !want.DisplayAspects.empty()) {
            // The admitted display shape nearest to the picture's.
            const double shape = picture.DisplayAspect();
            request.DisplayAspect = *std::min_element(
                want.DisplayAspects.begin(), want.DisplayAspects.end(), [&](double a, double b) {
                    return std::abs(std::log(a / shape)) < std::abs(std::log(b / shape));
                });
        }
        request.Rule = FrameSizeRuleOf(c->codec_id, c->pix_fmt);
        request.Aspects = AspectSupportOf(c->codec_id, rt.File->Context->oformat->name);
        const OutputFrame frame = ChooseOutputFrame(picture, request);
        if (want.Width > 0 && (frame.Width != want.Width || frame.Height != want.Height)) {
            Logger().LogFmt(&e_, llInfo, "%s takes no %dx%d picture; using %dx%d",
                            encoder != nullptr ? encoder->name : "The encoder", want.Width,
                            want.Height, frame.Width, frame.Height);
        }
        c->width = frame.Width;
        c->height = frame.Height;
        c->sample_aspect_ratio = frame.SampleAspect;
        Logger().LogFmt(&e_, llVerbose,
                        "Output stream #%d.%d: %dx%d picture shown as %.4f in a %dx%d frame of "
                        "sample aspect %d:%d",
                        rt.FileIndex, rt.StreamIndex, picture.ShownWidth(), picture.ShownHeight(),
                        picture.DisplayAspect(), frame.Width, frame.Height, frame.SampleAspect.num,
                        frame.SampleAspect.den);
    }

    // The RealMedia muxer takes no packet above 64 kB; a rate-control buffer of
    // 50 kB keeps every coded picture below that.
    if (std::strcmp(rt.File->Context->oformat->name, "rm") == 0 && c->rc_buffer_size == 0) {
        c->rc_buffer_size = 400000;
        c->rc_max_rate = std::max<std::int64_t>(c->bit_rate * 4, 4000000);
        c->rc_initial_buffer_occupancy = c->rc_buffer_size * 3 / 4;
    }

    AVRational rate = want.FrameRate;
    if (rate.num <= 0 || rate.den <= 0) rate = ist.Stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = ist.Stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
    if (!s_.ForceFps) rate = NearestFrameRate(encoder, rate, c->strict_std_compliance);
    c->framerate = rate;
    c->time_base = AVRational{rate.den, rate.num};
    return picture;
}

void Transcoder::ChooseAudioParameters(OutputStreamRuntime& rt, const InputStreamState& ist) {
    AVCodecContext* c = rt.Codec;
    const AVCodec* encoder = rt.Out->Encoder;
    const TStreamRequest& want = rt.Out->Requested;
    const AVCodecParameters* par = ist.Stream->codecpar;

    ChannelLayout layout(par->ch_layout);
    if (want.Channels > 0 && want.Channels != layout.Channels()) {
        layout = ChannelLayout::WithChannels(want.Channels);
    } else if (layout.Channels() <= 0) {
        layout = ChannelLayout::WithChannels(2);
    }
    const ChannelLayout taken = NearestChannelLayout(encoder, layout);
    if (taken.Channels() != layout.Channels()) {
        Logger().LogFmt(&e_, llInfo, "%s takes no %d channels; using %d (%s)",
                        encoder != nullptr ? encoder->name : "The encoder", layout.Channels(),
                        taken.Channels(), taken.Describe().c_str());
    }
    ff::av_channel_layout_uninit(&c->ch_layout);
    ff::av_channel_layout_copy(&c->ch_layout, &taken.get());

    c->sample_rate = want.SampleRate > 0 ? want.SampleRate : par->sample_rate;
    if (const int fixed = encoder != nullptr ? FixedSampleRateOf(encoder->id) : 0; fixed > 0) {
        c->sample_rate = fixed;
    }
    if (c->sample_rate <= 0) c->sample_rate = 44100;
    c->sample_fmt = static_cast<AVSampleFormat>(par->format);
    TCustomFFmpeg::ChooseSampleFormat(c, encoder);
    e_.ChooseSampleRate(c, encoder);
    c->time_base = AVRational{1, c->sample_rate};
}

void Transcoder::SetupTwoPass(OutputStreamRuntime& rt) {
    AVCodecContext* c = rt.Codec;
    if ((c->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) == 0) return;
    const std::string prefix =
        s_.PassLogPrefix.empty() ? DefaultPassLogPrefix(rt.File->FileName) : s_.PassLogPrefix;
    std::string name = Fmt("%s-%d.log", prefix.c_str(), rt.TableIndex);
    if (name.size() > kMaxLogNameBytes) name.resize(kMaxLogNameBytes);
    rt.PassLogName = name;
    // Encoders that keep their own statistics file (libx264) are told its name.
    const bool ownStatistics = KnowsPrivateOption(c, "stats");
    if (ownStatistics) ff::av_opt_set(c->priv_data, "stats", name.c_str(), 0);

    if ((c->flags & AV_CODEC_FLAG_PASS1) != 0) {
        if (ownStatistics) return;
        rt.PassLog = std::fopen(name.c_str(), "wb");
        if (rt.PassLog == nullptr) {
            throw FFmpegException(
                Fmt("Cannot write log file %s for pass-1 encoding", name.c_str()));
        }
        return;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        throw FFmpegException(Fmt(
            "Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw FFmpegException(Fmt(
            "Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
    }
    rt.StatsIn.reset(static_cast<char*>(ff::av_malloc(text.size() + 1)));
    if (!rt.StatsIn) {
        throw FFmpegException(
            Fmt("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
                name.c_str()));
    }
    std::copy(text.begin(), text.end(), rt.StatsIn.get());
    rt.StatsIn.get()[text.size()] = '\0';
    if (!ownStatistics) c->stats_in = rt.StatsIn.get();
}

// Opened before the headers are written: the muxers put the encoders' global
// headers and buffer figures into them.
void Transcoder::OpenEncoders() {
    for (const auto& r : runtimes_) {
        if (r->EncodingNeeded) OpenEncoder(*r);
    }
}

void Transcoder::OpenEncoder(OutputStreamRuntime& rt) {
    AVCodecContext* c = rt.Codec;
    const AVCodec* encoder = rt.Out->Encoder;
    const OutputStreamState& os = ost_[static_cast<size_t>(rt.TableIndex)];
    if (encoder == nullptr) {
        FailAfterReport(Fmt("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                            static_cast<int>(c->codec_id), os.FileIndex, os.StreamIndex,
                            TypeName(rt.Type)));
    }
    if (rt.Type == AVMEDIA_TYPE_SUBTITLE) {
        // Text subtitle encoders start from the decoder's style header.
        InputStreamState& ist = ist_[static_cast<size_t>(os.SourceIndex)];
        OpenDecoder(ist);
        const AVCodecContext* d = ist.Decoder.get();
        if (d->subtitle_header != nullptr && c->subtitle_header == nullptr) {
            c->subtitle_header =
                static_cast<std::uint8_t*>(ff::av_mallocz(d->subtitle_header_size + 1));
            if (c->subtitle_header == nullptr) throw FFmpegException("av_mallocz fail");
            std::copy_n(d->subtitle_header, d->subtitle_header_size, c->subtitle_header);
            c->subtitle_header_size = d->subtitle_header_size;
        }
        if (c->time_base.num <= 0 || c->time_base.den <= 0) c->time_base = AVRational{1, 1000};
    }
    // A fixed count, so that the bytes depend on it alone and not on the
    // machine. Libraries with threads of their own (x264, x265, vpx) give the
    // same stream for the same count; libavcodec's own encoders get slice
    // threads only, since its frame-threaded encoding shares the rate control
    // among frames encoded at once, in whatever order the threads ran. A
    // number the user chose is taken as it is; an automatic share of cores
    // becomes the encoder's own choice for that many cores.
    c->thread_count =
        s_.ThreadCount > 0 ? codecThreads_ : AutoEncoderThreads(encoder->name, codecThreads_);
    if ((encoder->capabilities & AV_CODEC_CAP_OTHER_THREADS) == 0) c->thread_type = FF_THREAD_SLICE;
    int ret;
    FFmpegErrorCapture reason;
    {
        std::lock_guard lock(CodecLock());
        ret = ff::avcodec_open2(c, encoder, nullptr);
    }
    if (ret < 0) {
        Logger().Log(&e_, llError, FFmpegErrorText(encoder->name, ret));
        FailAfterReport(reason.Append(
            Fmt("Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
                "parameters such as bit_rate, rate, width or height. Please check error log "
                "message to find out more detail information.",
                os.FileIndex, os.StreamIndex, TypeName(rt.Type))));
    }
    rt.EncoderOpen = true;
    extraSize_ += c->extradata_size;

    AVStream* st = rt.Stream;
    if (ff::avcodec_parameters_from_context(st->codecpar, c) < 0) {
        throw FFmpegException("av_mallocz fail");
    }
    // The encoder's buffer figures (CPB properties) go to the stream before the
    // header: the MPEG program-stream muxer sizes its buffers and its rate from
    // them, and without them it guesses and the stream underflows.
    for (int i = 0; i < c->nb_coded_side_data; ++i) {
        const AVPacketSideData& data = c->coded_side_data[i];
        std::uint8_t* copy = ff::av_stream_new_side_data(st, data.type, data.size);
        if (copy == nullptr) throw FFmpegException("av_mallocz fail");
        std::copy_n(data.data, data.size, copy);
    }
    st->time_base = c->time_base;  // a hint; the muxer decides at the header
    if (rt.Type == AVMEDIA_TYPE_VIDEO) {
        st->sample_aspect_ratio = c->sample_aspect_ratio;
        st->avg_frame_rate = c->framerate;
    }
    rt.PacketTimeBase = c->time_base;

    if (rt.Type == AVMEDIA_TYPE_AUDIO) {
        AudioConversionSettings settings;
        settings.Volume = s_.AudioVolume;
        settings.SyncMethod = s_.AudioSyncMethod;
        settings.DriftThreshold = s_.AudioDriftThreshold;
        settings.Verbose = s_.Verbose;
        if (!rt.Audio->Open(AudioOutputFormat::OfEncoder(c), settings)) {
            throw FFmpegException(rt.Audio->LastError());
        }
    }

    for (const std::string& name : rt.Out->Bsf) {
        if (!rt.Bsf.Add(name)) throw FFmpegException(rt.Bsf.LastError());
    }
    if (!rt.Bsf.Init(st->codecpar, c->time_base, st->index, encoder->name)) {
        throw FFmpegException(rt.Bsf.LastError());
    }
    if (!rt.Bsf.Empty()) {
        ff::avcodec_parameters_copy(st->codecpar, rt.Bsf.OutputParameters());
        st->time_base = rt.Bsf.OutputTimeBase();
    }
}

// Only sources that feed an encoder are decoded; copied streams never open a
// decoder.
void Transcoder::OpenDecoders() {
    for (InputStreamState& ist : ist_) {
        if (ist.DecodingNeeded) OpenDecoder(ist);
    }
}

const AVCodec* Transcoder::DecoderFor(const InputStreamState& ist) const {
    const size_t index = static_cast<size_t>(&ist - ist_.data());
    const AVCodec* decoder = index < e_.InputCodecs.size() ? e_.InputCodecs[index] : nullptr;
    return decoder != nullptr ? decoder : ff::avcodec_find_decoder(ist.Stream->codecpar->codec_id);
}

void Transcoder::FailNoDecoder(const InputStreamState& ist) {
    FailAfterReport(Fmt("No decoder for stream #%d of %s", ist.StreamIndex,
                        e_.InputFiles[static_cast<size_t>(ist.FileIndex)].FileName.c_str()));
}

void Transcoder::OpenDecoder(InputStreamState& ist) {
    if (ist.DecoderOpen) return;
    const AVCodecParameters* par = ist.Stream->codecpar;
    const AVCodec* decoder = DecoderFor(ist);
    if (decoder == nullptr) FailNoDecoder(ist);
    ist.Decoder.reset(ff::avcodec_alloc_context3(decoder));
    if (!ist.Decoder || ff::avcodec_parameters_to_context(ist.Decoder.get(), par) < 0) {
        throw FFmpegException("av_mallocz fail");
    }
    AVCodecContext* d = ist.Decoder.get();
    d->pkt_timebase = ist.Stream->time_base;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        d->framerate = ist.Stream->avg_frame_rate.num != 0 ? ist.Stream->avg_frame_rate
                                                           : ist.Stream->r_frame_rate;
    }
    // Frame threads leave the decoded pictures as they are with one thread.
    d->thread_count = codecThreads_;
    e_.ApplyDecoderOptions(d);
    int ret;
    FFmpegErrorCapture reason;
    {
        std::lock_guard lock(CodecLock());
        ret = ff::avcodec_open2(d, decoder, nullptr);
    }
    if (ret < 0) {
        ist.Decoder.reset();
        Logger().Log(&e_, llError, FFmpegErrorText(decoder->name, ret));
        FailAfterReport(
            reason.Append(Fmt("Error while opening decoder for input stream #%d.%d (%s)",
                              ist.FileIndex, ist.StreamIndex, TypeName(par->codec_type))));
    }
    ist.DecoderOpen = true;
}

// Every input stream starts at zero less the delay of its reordered frames, so
// that the first picture gets the time at which it is shown.
void Transcoder::InitInputTimestamps() {
    for (InputStreamState& ist : ist_) {
        const AVRational rate = ist.Stream->avg_frame_rate;
        ist.CurrentTs = 0;
        if (rate.num != 0 && rate.den != 0) {
            ist.CurrentTs = -std::llround(static_cast<double>(ist.Stream->codecpar->video_delay) *
                                          1000000.0 * rate.den / rate.num);
        }
        ist.NextTs = NoPtsValue;
        ist.AtStart = true;
    }
}

// Metadata maps add an input's tags to an output without replacing the tags it
// already has; a map naming a missing file fails the task.
void Transcoder::CopyMetadata() {
    for (const TMetaDataMap& m : s_.MetaDataMaps) {
        if (m.OutputFile < 0 || m.OutputFile >= e_.OutputFileCount()) {
            FailAfterReport(Fmt("Invalid output file index %d map_meta_data(%d,%d)", m.OutputFile,
                                m.OutputFile, m.InputFile));
        }
        if (m.InputFile < 0 || m.InputFile >= e_.InputFileCount()) {
            FailAfterReport(Fmt("Invalid input file index %d map_meta_data(%d,%d)", m.InputFile,
                                m.OutputFile, m.InputFile));
        }
        AVFormatContext* oc = e_.OutputFiles[static_cast<size_t>(m.OutputFile)]->Context.get();
        const AVFormatContext* ic = e_.InputFiles[static_cast<size_t>(m.InputFile)].Context.get();
        ff::av_dict_copy(&oc->metadata, ic->metadata, AV_DICT_DONT_OVERWRITE);
    }
}

// Chapters, cut to the part of the input that is converted (in join mode the
// first input's only).
void Transcoder::CopyChapters() {
    const int inputs = e_.JoinMode ? std::min(1, e_.InputFileCount()) : e_.InputFileCount();
    for (int f = 0; f < inputs; ++f) {
        const TInputFile& input = e_.InputFiles[static_cast<size_t>(f)];
        const AVFormatContext* ic = input.Context.get();
        if (ic->nb_chapters == 0) continue;
        for (TOutputFile* output : outputs_) {
            AVFormatContext* oc = output->Context.get();
            for (unsigned k = 0; k < ic->nb_chapters; ++k) {
                const AVChapter* in = ic->chapters[k];
                const AVRational micro{1, 1000000};
                const std::int64_t offset =
                    ff::av_rescale_q(s_.StartTime - input.TsOffset, micro, in->time_base);
                const std::int64_t limit =
                    s_.RecordingTime == UnlimitedTime
                        ? INT64_MAX
                        : ff::av_rescale_q(s_.RecordingTime, micro, in->time_base);
                if (in->end < offset) continue;
                if (limit != INT64_MAX && in->start > limit + offset) break;
                auto* chapter = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
                if (chapter == nullptr) throw FFmpegException("av_mallocz fail");
                chapter->id = in->id;
                chapter->time_base = in->time_base;
                chapter->start = std::max<std::int64_t>(0, in->start - offset);
                chapter->end = std::min(limit, in->end - offset);
                ff::av_dict_copy(&chapter->metadata, in->metadata, 0);
                auto* list = static_cast<AVChapter**>(
                    ff::av_realloc(oc->chapters, sizeof(AVChapter*) * (oc->nb_chapters + 1)));
                if (list == nullptr) {
                    ff::av_dict_free(&chapter->metadata);
                    ff::av_free(chapter);
                    throw FFmpegException("av_realloc fail");
                }
                oc->chapters = list;
                oc->chapters[oc->nb_chapters++] = chapter;
            }
        }
    }
}

// The outputs are opened only once every stream is set up, so a task that
// fails earlier creates no file.
bool Transcoder::WriteHeaders() {
    for (size_t i = 0; i < outputs_.size(); ++i) {
        TOutputFile& output = *outputs_[i];
        if (!OpenOutputByteStream(e_, output)) return false;
        // A pair the container writes only as experimental (FLAC in MP4) is
        // what the settings window let through: write it so.
        AVFormatContext* oc = output.Context.get();
        if (oc->strict_std_compliance > FF_COMPLIANCE_EXPERIMENTAL && HeaderNeedsExperimental(oc)) {
            oc->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
        }
        FFmpegErrorCapture reason;
        const int ret = ff::avformat_write_header(oc, nullptr);
        if (ret < 0) {
            Logger().Log(&e_, llError, FFmpegErrorText(output.FileName, ret));
            FailAfterReport(
                reason.Append(Fmt("Could not write header for output file #%d "
                                  "(incorrect codec parameters ?)",
                                  static_cast<int>(i))));
        }
    }
    headersWritten_ = true;
    return true;
}

// Which input stream feeds which output stream; also written before a setup
// failure, to show what had been mapped.
void Transcoder::WriteMappingReport() {
    const int entries = e_.JoinMode ? 1 : e_.OutputFileCount();
    for (int i = 0; i < entries; ++i) {
        AVFormatContext* oc = e_.OutputFiles[static_cast<size_t>(i)]->Context.get();
        ff::av_dump_format(oc, i, oc->url, 1);
    }
    if (s_.Verbose < 0) return;
    Logger().Log(&e_, llVerbose, "Stream mapping:");
    for (const OutputStreamState& os : ost_) {
        if (os.SourceIndex < 0) continue;
        const InputStreamState& source = ist_[static_cast<size_t>(os.SourceIndex)];
        Logger().Log(&e_, llVerbose,
                     Fmt("  Stream #%d.%d -> #%d.%d (%s)", source.FileIndex, source.StreamIndex,
                         e_.JoinMode ? 0 : os.FileIndex, os.StreamIndex, TypeName(os.Run->Type)));
        if (os.SyncIndex != os.SourceIndex && os.SyncIndex >= 0) {
            const InputStreamState& sync = ist_[static_cast<size_t>(os.SyncIndex)];
            Logger().Log(&e_, llVerbose,
                         Fmt(" [sync #%d.%d (%s)]", sync.FileIndex, sync.StreamIndex,
                             TypeName(sync.Stream->codecpar->codec_type)));
        }
    }
}

void Transcoder::FailAfterReport(const std::string& message) {
    WriteMappingReport();
    Logger().Log(&e_, llError, message);
    throw FFmpegException(message);
}

void Transcoder::CloseEncoders() {
    for (const auto& r : runtimes_) {
        OutputStreamRuntime& rt = *r;
        if (rt.PassLog != nullptr) {
            std::fclose(rt.PassLog);
            rt.PassLog = nullptr;
        }
        if (!rt.EncoderOpen) continue;
        std::lock_guard lock(CodecLock());
        rt.Codec->stats_in = nullptr;
        rt.StatsIn.reset();
        ff::avcodec_close(rt.Codec);
        rt.EncoderOpen = false;
    }
}

void Transcoder::CloseDecoders() {
    for (InputStreamState& ist : ist_) {
        if (!ist.Decoder) continue;
        std::lock_guard lock(CodecLock());
        ist.Decoder.reset();
        ist.DecoderOpen = false;
    }
}

}  // namespace zorvex
