#include "media/output_check.h"

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "media/ffapi.h"
#include "media/ffptr.h"
#include "media/loader.h"

namespace zorvex {
namespace {

// What a disc target decides for the check (the engine's targets set the same).
struct TargetStreams {
    const char* muxer;
    const char* video;
    const char* audio;
    int sampleRate;
    int audioBitRate;
};

const TargetStreams* TargetOf(int type) {
    static const TargetStreams vcd{"vcd", "mpeg1video", "mp2", 44100, 224000};
    static const TargetStreams svcd{"svcd", "mpeg2video", "mp2", 44100, 224000};
    static const TargetStreams dvd{"dvd", "mpeg2video", "ac3", 48000, 448000};
    switch (type) {
        case 1:
            return &vcd;
        case 2:
            return &svcd;
        case 3:
            return &dvd;
        default:
            return nullptr;
    }
}

// A write-only I/O context that counts its bytes and keeps none. It can seek,
// so muxers that come back to patch their header write it as into a file.
class NullOutput {
public:
    NullOutput() {
        auto* buffer = static_cast<unsigned char*>(ff::av_malloc(kBufferSize));
        if (buffer == nullptr) return;
        io_ = ff::avio_alloc_context(buffer, kBufferSize, 1, this, nullptr, &Write, &Seek);
        if (io_ == nullptr) ff::av_free(buffer);
    }
    ~NullOutput() {
        if (io_ == nullptr) return;
        ff::av_freep(&io_->buffer);
        ff::avio_context_free(&io_);
    }
    NullOutput(const NullOutput&) = delete;
    NullOutput& operator=(const NullOutput&) = delete;
    AVIOContext* get() const { return io_; }

private:
    static constexpr int kBufferSize = 4096;
    static int Write(void* opaque, std::uint8_t*, int size) {
        auto* self = static_cast<NullOutput*>(opaque);
        self->position_ += size;
        if (self->position_ > self->size_) self->size_ = self->position_;
        return size;
    }
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
        auto* self = static_cast<NullOutput*>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
            case AVSEEK_SIZE:
                return self->size_;
            case SEEK_SET:
                self->position_ = offset;
                break;
            case SEEK_CUR:
                self->position_ += offset;
                break;
            case SEEK_END:
                self->position_ = self->size_ + offset;
                break;
            default:
                return AVERROR(EINVAL);
        }
        return self->position_;
    }

    AVIOContext* io_ = nullptr;
    std::int64_t position_ = 0;
    std::int64_t size_ = 0;
};

struct OutputContextDeleter {
    void operator()(AVFormatContext* c) const { ff::avformat_free_context(c); }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

// One stream of a trial: its parameters and time base.
struct TrialStream {
    const AVCodecParameters* parameters;
    AVRational timeBase;
};

// Writes a header (and an empty trailer) of the streams into nothing; the
// library's result.
int TrialHeader(const AVOutputFormat* format, const std::vector<TrialStream>& streams,
                int strictness) {
    AVFormatContext* raw = nullptr;
    int ret = ff::avformat_alloc_output_context2(&raw, format, nullptr, nullptr);
    if (ret < 0) return ret;
    OutputContextPtr oc(raw);
    NullOutput io;
    if (io.get() == nullptr) return AVERROR(ENOMEM);
    oc->pb = io.get();
    oc->strict_std_compliance = strictness;
    for (const TrialStream& s : streams) {
        AVStream* st = ff::avformat_new_stream(oc.get(), nullptr);
        if (st == nullptr) return AVERROR(ENOMEM);
        ret = ff::avcodec_parameters_copy(st->codecpar, s.parameters);
        if (ret < 0) return ret;
        st->codecpar->codec_tag = 0;
        st->time_base = s.timeBase;
    }
    ret = ff::avformat_write_header(oc.get(), nullptr);
    if (ret >= 0) ret = ff::av_write_trailer(oc.get());
    return ret;
}

struct EncoderPlan {
    const AVCodec* encoder = nullptr;
    int width = 352, height = 288;
    int sampleRate = 44100, channels = 2;
    int bitRate = 0;
};

// The supported rate nearest to the asked one, as the engine chooses it.
int NearestSampleRate(const AVCodec* encoder, int rate) {
    if (encoder->supported_samplerates == nullptr) return rate;
    int best = rate;
    long long bestDiff = LLONG_MAX;
    for (const int* p = encoder->supported_samplerates; *p != 0; ++p) {
        const long long diff = std::llabs(static_cast<long long>(*p) - rate);
        if (diff < bestDiff) {
            bestDiff = diff;
            best = *p;
        }
    }
    return best;
}

// The supported channel count nearest to the asked one (AMR takes mono only).
int NearestChannelCount(const AVCodec* encoder, int channels) {
    if (encoder->ch_layouts == nullptr) return channels;
    int best = channels;
    int bestDiff = INT_MAX;
    for (const AVChannelLayout* l = encoder->ch_layouts; l->nb_channels != 0; ++l) {
        const int diff = std::abs(l->nb_channels - channels);
        if (diff < bestDiff) {
            bestDiff = diff;
            best = l->nb_channels;
        }
    }
    return best;
}

AVPixelFormat PlainPixelFormat(const AVCodec* encoder) {
    if (encoder->pix_fmts == nullptr) return AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat* p = encoder->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == AV_PIX_FMT_YUV420P || *p == AV_PIX_FMT_YUVJ420P) return *p;
    }
    return encoder->pix_fmts[0];
}

// The encoder opened as the engine would open it for the container; null
// with *error set when it refuses.
CodecContextPtr OpenEncoder(const EncoderPlan& plan, const AVOutputFormat* format, int* error) {
    CodecContextPtr c(ff::avcodec_alloc_context3(plan.encoder));
    if (!c) {
        *error = AVERROR(ENOMEM);
        return nullptr;
    }
    c->thread_count = 1;
    if (plan.encoder->type == AVMEDIA_TYPE_VIDEO) {
        c->width = plan.width;
        c->height = plan.height;
        c->time_base = AVRational{1, 25};
        c->framerate = AVRational{25, 1};
        c->pix_fmt = PlainPixelFormat(plan.encoder);
    } else {
        c->sample_rate = plan.sampleRate;
        ff::av_channel_layout_default(&c->ch_layout, plan.channels);
        c->sample_fmt =
            plan.encoder->sample_fmts ? plan.encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        c->time_base = AVRational{1, plan.sampleRate};
    }
    if (plan.bitRate > 0) c->bit_rate = plan.bitRate;
    if (format->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    std::lock_guard<std::recursive_mutex> lock(CodecLock());
    *error = ff::avcodec_open2(c.get(), plan.encoder, nullptr);
    if (*error < 0) return nullptr;
    return c;
}

std::string ErrorWords(int code) {
    char words[AV_ERROR_MAX_STRING_SIZE] = "";
    ff::av_strerror(code, words, sizeof words);
    return words;
}

// The encoder a name asks for: null when the stream is left out (copy, or
// nothing to write); *unknown when the libraries lack the name.
const AVCodec* EncoderFor(const std::string& name, const char* targetName, AVCodecID fallback,
                          bool* unknown) {
    if (name == "copy") return nullptr;
    const std::string wanted = name.empty() && targetName ? targetName : name;
    if (wanted.empty()) {
        return fallback == AV_CODEC_ID_NONE ? nullptr : ff::avcodec_find_encoder(fallback);
    }
    const AVCodec* encoder = ff::avcodec_find_encoder_by_name(wanted.c_str());
    if (encoder == nullptr) *unknown = true;
    return encoder;
}

// "352x288", "352*288 (...)": width, one separator, height.
void ParseSize(const std::string& text, int& width, int& height) {
    char* end = nullptr;
    const long w = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end == '\0') return;
    const long h = std::strtol(end + 1, nullptr, 10);
    if (w > 0 && h > 0 && w <= 16384 && h <= 16384) {
        width = static_cast<int>(w);
        height = static_cast<int>(h);
    }
}

using CheckKey = std::tuple<std::string, std::string, std::string, int, int, int, int, int>;

OutputCheck Check(const AVOutputFormat* format, const EncoderPlan* video,
                  const EncoderPlan* audio) {
    OutputCheck result;
    result.muxer = format->name;
    result.muxerDescription = format->long_name ? format->long_name : format->name;
    int error = 0;
    CodecContextPtr videoContext, audioContext;
    if (video) {
        videoContext = OpenEncoder(*video, format, &error);
        if (!videoContext) {
            // The engine fits a kept or chosen size to the encoder; only an
            // encoder that refuses a plain size refuses the output.
            EncoderPlan plain = *video;
            plain.width = 352;
            plain.height = 288;
            videoContext = OpenEncoder(plain, format, &error);
        }
        if (!videoContext) {
            result.verdict = OutputCheck::EncoderRefuses;
            result.encoder = video->encoder->name;
            result.bitRate = video->bitRate;
            result.reason = ErrorWords(error);
            return result;
        }
    }
    if (audio) {
        audioContext = OpenEncoder(*audio, format, &error);
        if (!audioContext) {
            result.verdict = OutputCheck::EncoderRefuses;
            result.audio = true;
            result.encoder = audio->encoder->name;
            result.sampleRate = audio->sampleRate;
            result.channels = audio->channels;
            result.bitRate = audio->bitRate;
            result.reason = ErrorWords(error);
            if (audio->bitRate > 0) {
                EncoderPlan ownRate = *audio;
                ownRate.bitRate = 0;
                int ignored = 0;
                result.bitRateAtFault = OpenEncoder(ownRate, format, &ignored) != nullptr;
            }
            return result;
        }
    }
    std::vector<TrialStream> videoStream, audioStream, both;
    std::vector<AVCodecParameters*> parameters;
    auto add = [&](const AVCodecContext* c, std::vector<TrialStream>& alone) {
        AVCodecParameters* p = ff::avcodec_parameters_alloc();
        parameters.push_back(p);
        if (p == nullptr || ff::avcodec_parameters_from_context(p, c) < 0) return false;
        alone.push_back({p, c->time_base});
        both.push_back({p, c->time_base});
        return true;
    };
    struct ParametersRelease {
        std::vector<AVCodecParameters*>& list;
        ~ParametersRelease() {
            for (AVCodecParameters*& p : list) ff::avcodec_parameters_free(&p);
        }
    } release{parameters};
    if ((videoContext && !add(videoContext.get(), videoStream)) ||
        (audioContext && !add(audioContext.get(), audioStream))) {
        return result;  // out of memory: unknown
    }
    error = TrialHeader(format, both, FF_COMPLIANCE_NORMAL);
    if (error >= 0) {
        result.verdict = OutputCheck::Fits;
        return result;
    }
    if (TrialHeader(format, both, FF_COMPLIANCE_EXPERIMENTAL) >= 0) {
        result.verdict = OutputCheck::NeedsExperimental;
        return result;
    }
    result.verdict = OutputCheck::ContainerRefuses;
    result.reason = ErrorWords(error);
    // The stream the container refuses on its own; the sound when only the
    // pair is refused.
    const bool videoAlone =
        videoStream.empty() || TrialHeader(format, videoStream, FF_COMPLIANCE_EXPERIMENTAL) >= 0;
    result.audio = audioContext && videoAlone;
    result.encoder = result.audio ? audio->encoder->name : video->encoder->name;
    return result;
}

}  // namespace

OutputCheck CheckOutput(const TOutputOptions& record) {
    OutputCheck unknown;
    if (!Loader().LibrarySetLoaded(ConverterLibrarySet)) return unknown;
    const TargetStreams* target = TargetOf(record.TargetType);
    const AVOutputFormat* format = nullptr;
    if (target) {
        format = ff::av_guess_format(target->muxer, nullptr, nullptr);
    } else if (!record.FileFormat.empty()) {
        format = ff::av_guess_format(record.FileFormat.c_str(), nullptr, nullptr);
    } else {
        format = ff::av_guess_format(nullptr, record.FileName.c_str(), nullptr);
    }
    if (format == nullptr) return unknown;

    bool unknownName = false;
    EncoderPlan video, audio;
    if (!record.DisableVideo) {
        video.encoder = EncoderFor(record.VideoCodec, target ? target->video : nullptr,
                                   format->video_codec, &unknownName);
        ParseSize(record.FrameSize, video.width, video.height);
        if (record.VideoBitrate > 0) video.bitRate = record.VideoBitrate;
    }
    if (!record.DisableAudio) {
        audio.encoder = EncoderFor(record.AudioCodec, target ? target->audio : nullptr,
                                   format->audio_codec, &unknownName);
        if (target) {
            audio.sampleRate = target->sampleRate;
            audio.bitRate = target->audioBitRate;
        }
        if (record.AudioSampleRate > 0) audio.sampleRate = record.AudioSampleRate;
        if (record.AudioChannels > 0) audio.channels = record.AudioChannels;
        if (record.AudioBitrate > 0) audio.bitRate = record.AudioBitrate;
        if (audio.encoder) {
            audio.sampleRate = NearestSampleRate(audio.encoder, audio.sampleRate);
            audio.channels = NearestChannelCount(audio.encoder, audio.channels);
        }
    }
    if (unknownName) return unknown;  // the conversion names the missing encoder itself

    const CheckKey key{format->name,
                       video.encoder ? video.encoder->name : "",
                       audio.encoder ? audio.encoder->name : "",
                       video.encoder ? video.width * 100000 + video.height : 0,
                       video.bitRate,
                       audio.sampleRate,
                       audio.channels,
                       audio.bitRate};
    static std::mutex cacheLock;
    static std::map<CheckKey, OutputCheck> cache;
    {
        std::lock_guard<std::mutex> lock(cacheLock);
        if (auto it = cache.find(key); it != cache.end()) return it->second;
    }
    const OutputCheck result =
        Check(format, video.encoder ? &video : nullptr, audio.encoder ? &audio : nullptr);
    std::lock_guard<std::mutex> lock(cacheLock);
    cache.emplace(key, result);
    return result;
}

bool HeaderNeedsExperimental(const AVFormatContext* oc) {
    if (oc == nullptr || oc->oformat == nullptr) return false;
    std::vector<TrialStream> streams;
    for (unsigned i = 0; i < oc->nb_streams; ++i) {
        streams.push_back({oc->streams[i]->codecpar, oc->streams[i]->time_base});
    }
    return TrialHeader(oc->oformat, streams, FF_COMPLIANCE_NORMAL) == AVERROR_EXPERIMENTAL &&
           TrialHeader(oc->oformat, streams, FF_COMPLIANCE_EXPERIMENTAL) >= 0;
}

}  // namespace zorvex
