#include "media/engine/audio_converter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "media/log.h"

namespace zorvex {
namespace {

// Samples are scaled in blocks of a fixed length, which the compiler turns into
// vector code even where it vectorises only loops of a known trip count.
constexpr size_t kBlock = 64;

template <typename Sample, typename Op>
void ForEachSample(Sample* p, size_t count, Op op) {
    size_t i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        for (size_t j = 0; j < kBlock; ++j) p[i + j] = op(p[i + j]);
    }
    for (; i < count; ++i) p[i] = op(p[i]);
}

template <typename Sample, typename Wide>
void ScaleIntegers(Sample* p, size_t count, int volume) {
    constexpr Wide lo = std::numeric_limits<Sample>::min();
    constexpr Wide hi = std::numeric_limits<Sample>::max();
    const Wide v = volume;
    ForEachSample(p, count, [v](Sample s) {
        const Wide scaled = (static_cast<Wide>(s) * v + 128) >> 8;  // floor
        return static_cast<Sample>(scaled < lo ? lo : (scaled > hi ? hi : scaled));
    });
}

template <typename Sample>
void ScaleFloats(Sample* p, size_t count, int volume) {
    const Sample factor = static_cast<Sample>(volume) / 256;
    ForEachSample(p, count, [factor](Sample s) {
        const Sample scaled = s * factor;
        return scaled < -1 ? Sample(-1) : (scaled > 1 ? Sample(1) : scaled);
    });
}

void ScaleUnsigned8(std::uint8_t* p, size_t count, int volume) {
    ForEachSample(p, count, [volume](std::uint8_t s) {
        const int scaled = ((static_cast<int>(s) - 128) * volume + 128) >> 8;
        return static_cast<std::uint8_t>((scaled < -128 ? -128 : (scaled > 127 ? 127 : scaled)) +
                                         128);
    });
}

}  // namespace

ChannelLayout::ChannelLayout(const AVChannelLayout& layout) {
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC ||
        ff::av_channel_layout_copy(&layout_, &layout) < 0) {
        ff::av_channel_layout_default(&layout_, layout.nb_channels);
    }
}

ChannelLayout ChannelLayout::WithChannels(int channels) {
    ChannelLayout l;
    ff::av_channel_layout_default(&l.layout_, channels);
    return l;
}

// Only custom layouts own memory (their channel map); the others copy as plain
// values, so layouts can be made and dropped before the libraries are loaded.
ChannelLayout::ChannelLayout(const ChannelLayout& other) {
    *this = other;
}

ChannelLayout& ChannelLayout::operator=(const ChannelLayout& other) {
    if (this == &other) return *this;
    if (other.layout_.order == AV_CHANNEL_ORDER_CUSTOM) {
        ff::av_channel_layout_copy(&layout_, &other.layout_);
    } else {
        if (layout_.order == AV_CHANNEL_ORDER_CUSTOM) ff::av_channel_layout_uninit(&layout_);
        layout_ = other.layout_;
    }
    return *this;
}

ChannelLayout::~ChannelLayout() {
    if (layout_.order == AV_CHANNEL_ORDER_CUSTOM) ff::av_channel_layout_uninit(&layout_);
}

bool ChannelLayout::operator==(const ChannelLayout& other) const {
    return ff::av_channel_layout_compare(&layout_, &other.layout_) == 0;
}

std::string ChannelLayout::Describe() const {
    char text[128] = "";
    ff::av_channel_layout_describe(&layout_, text, sizeof text);
    return text;
}

AudioOutputFormat AudioOutputFormat::OfEncoder(const AVCodecContext* encoder) {
    AudioOutputFormat f;
    f.SampleFormat = encoder->sample_fmt;
    f.SampleRate = encoder->sample_rate;
    f.Layout = ChannelLayout(encoder->ch_layout);
    f.FrameSize = encoder->frame_size;
    const int caps = encoder->codec != nullptr ? encoder->codec->capabilities : 0;
    f.VariableFrameSize = (caps & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    f.SmallLastFrame = (caps & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    f.TimeBase = encoder->time_base;
    return f;
}

void ApplyVolume(std::uint8_t* const* planes, AVSampleFormat format, int samples, int channels,
                 int volume) {
    if (volume == 256 || samples <= 0 || channels <= 0) return;
    const bool planar = ff::av_sample_fmt_is_planar(format) != 0;
    const int planeCount = planar ? channels : 1;
    const size_t count = static_cast<size_t>(samples) * (planar ? 1 : channels);
    const AVSampleFormat packed = ff::av_get_packed_sample_fmt(format);
    for (int i = 0; i < planeCount; ++i) {
        std::uint8_t* p = planes[i];
        switch (packed) {
            case AV_SAMPLE_FMT_U8:
                ScaleUnsigned8(p, count, volume);
                break;
            case AV_SAMPLE_FMT_S16:
                ScaleIntegers<std::int16_t, std::int32_t>(reinterpret_cast<std::int16_t*>(p), count,
                                                          volume);
                break;
            case AV_SAMPLE_FMT_S32:
                ScaleIntegers<std::int32_t, std::int64_t>(reinterpret_cast<std::int32_t*>(p), count,
                                                          volume);
                break;
            case AV_SAMPLE_FMT_S64:
                ScaleIntegers<std::int64_t, __int128>(reinterpret_cast<std::int64_t*>(p), count,
                                                      volume);
                break;
            case AV_SAMPLE_FMT_FLT:
                ScaleFloats(reinterpret_cast<float*>(p), count, volume);
                break;
            case AV_SAMPLE_FMT_DBL:
                ScaleFloats(reinterpret_cast<double*>(p), count, volume);
                break;
            default:
                return;
        }
    }
}

bool AudioConverter::Open(const AudioOutputFormat& output,
                          const AudioConversionSettings& settings) {
    Close();
    output_ = output;
    settings_ = settings;
    if (output_.SampleFormat == AV_SAMPLE_FMT_NONE || output_.SampleRate <= 0 ||
        output_.Layout.Channels() <= 0) {
        lastError_ = "Audio encoder format is unknown, stream cannot be encoded";
        return false;
    }
    if (output_.TimeBase.num <= 0 || output_.TimeBase.den <= 0) {
        output_.TimeBase = AVRational{1, output_.SampleRate};
    }
    fifo_.reset(ff::av_audio_fifo_alloc(output_.SampleFormat, output_.Layout.Channels(), 1024));
    if (!fifo_) {
        lastError_ = "av_fifo_alloc fail";
        return false;
    }
    open_ = true;
    return true;
}

void AudioConverter::Close() {
    open_ = false;
    resampler_.reset();
    fifo_.reset();
    inputFormat_ = AV_SAMPLE_FMT_NONE;
    inputRate_ = 0;
    inputLayout_ = ChannelLayout();
    nextSample_ = 0;
    anchored_ = false;
    atStart_ = true;
    flushed_ = false;
}

int AudioConverter::BufferedSamples() const {
    return fifo_ ? ff::av_audio_fifo_size(fifo_.get()) : 0;
}

bool AudioConverter::ReserveOutput(int samples) {
    if (samples <= outputCapacity_) return true;
    const int channels = output_.Layout.Channels();
    const int planes = ff::av_sample_fmt_is_planar(output_.SampleFormat) ? channels : 1;
    outputPlanes_.assign(static_cast<size_t>(planes), nullptr);
    outputBuffer_.reset();
    outputCapacity_ = 0;
    if (ff::av_samples_alloc(outputPlanes_.data(), nullptr, channels, samples, output_.SampleFormat,
                             0) < 0) {
        lastError_ = "Out of memory in do_audio_out";
        return false;
    }
    outputBuffer_.reset(outputPlanes_[0]);
    outputCapacity_ = samples;
    return true;
}

bool AudioConverter::Store(int samples) {
    if (samples <= 0) return true;
    ApplyVolume(outputPlanes_.data(), output_.SampleFormat, samples, output_.Layout.Channels(),
                settings_.Volume);
    if (ff::av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(outputPlanes_.data()),
                                samples) < samples) {
        lastError_ = "av_fifo_realloc2() failed";
        return false;
    }
    return true;
}

bool AudioConverter::DrainResampler() {
    if (!resampler_) return true;
    for (;;) {
        const int room = ff::swr_get_out_samples(resampler_.get(), 0) + 256;
        if (!ReserveOutput(room)) return false;
        const int n = ff::swr_convert(resampler_.get(), outputPlanes_.data(), room, nullptr, 0);
        if (n < 0) {
            lastError_ = FFmpegErrorText("swr_convert() failed", n);
            return false;
        }
        if (n == 0) return true;
        if (!Store(n)) return false;
    }
}

bool AudioConverter::MakeResampler(const AVFrame* frame) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const ChannelLayout layout(frame->ch_layout);
    SwrContext* swr = nullptr;
    // swr_alloc_set_opts2 only copies the layouts, despite its signature.
    int ret = ff::swr_alloc_set_opts2(&swr, const_cast<AVChannelLayout*>(&output_.Layout.get()),
                                      output_.SampleFormat, output_.SampleRate,
                                      const_cast<AVChannelLayout*>(&layout.get()), format,
                                      frame->sample_rate, 0, nullptr);
    resampler_.reset(swr);
    // Stretching against the input clock needs the resampler even at equal rates.
    if (ret >= 0 && settings_.SyncMethod > 1) {
        ret = ff::av_opt_set_int(swr, "flags", SWR_FLAG_RESAMPLE, 0);
    }
    if (ret >= 0) ret = ff::swr_init(swr);
    if (ret < 0) {
        resampler_.reset();
        char text[256];
        if (frame->sample_rate != output_.SampleRate || !(layout == output_.Layout)) {
            std::snprintf(text, sizeof text,
                          "Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                          layout.Channels(), frame->sample_rate, output_.Layout.Channels(),
                          output_.SampleRate);
        } else {
            const char* from = ff::av_get_sample_fmt_name(format);
            const char* to = ff::av_get_sample_fmt_name(output_.SampleFormat);
            std::snprintf(text, sizeof text, "Cannot convert %s sample format to %s sample format",
                          from != nullptr ? from : "unknown", to != nullptr ? to : "unknown");
        }
        lastError_ = text;
        return false;
    }
    inputFormat_ = format;
    inputRate_ = frame->sample_rate;
    inputLayout_ = layout;
    return true;
}

bool AudioConverter::PrepareResampler(const AVFrame* frame) {
    if (frame->ch_layout.nb_channels <= 0 || frame->sample_rate <= 0 ||
        frame->format == AV_SAMPLE_FMT_NONE) {
        lastError_ = "Decoded audio has no sample format, rate or channels";
        return false;
    }
    if (resampler_ && frame->format == inputFormat_ && frame->sample_rate == inputRate_ &&
        ChannelLayout(frame->ch_layout) == inputLayout_) {
        return true;
    }
    // The stream changed its format: what the old resampler holds comes first.
    if (!DrainResampler()) return false;
    return MakeResampler(frame);
}

bool AudioConverter::Convert(const std::uint8_t** input, int inputSamples) {
    const int bound = ff::swr_get_out_samples(resampler_.get(), inputSamples);
    if (bound < 0) {
        lastError_ = FFmpegErrorText("swr_get_out_samples() failed", bound);
        return false;
    }
    // Room for the compensation's extra samples as well.
    const int room = bound + 256 + std::min(std::abs(settings_.SyncMethod), 4096);
    if (!ReserveOutput(room)) return false;
    const int n =
        ff::swr_convert(resampler_.get(), outputPlanes_.data(), room, input, inputSamples);
    if (n < 0) {
        lastError_ = FFmpegErrorText("swr_convert() failed", n);
        return false;
    }
    return Store(n);
}

bool AudioConverter::Push(const AVFrame* frame, std::int64_t syncPosition) {
    if (!open_) {
        lastError_ = "Audio conversion is not open";
        return false;
    }
    if (frame == nullptr || frame->nb_samples <= 0) return true;
    if (flushed_) {
        lastError_ = "Audio pushed after the end of the stream";
        return false;
    }
    if (!PrepareResampler(frame)) return false;

    const bool planar = ff::av_sample_fmt_is_planar(inputFormat_) != 0;
    const int channels = inputLayout_.Channels();
    const int bytesPerSample = ff::av_get_bytes_per_sample(inputFormat_);
    std::vector<const std::uint8_t*> input(static_cast<size_t>(planar ? channels : 1));
    for (size_t i = 0; i < input.size(); ++i) input[i] = frame->extended_data[i];
    int inputSamples = frame->nb_samples;

    if (syncPosition != NoPtsValue) {
        const double rate = output_.SampleRate;
        const double position = static_cast<double>(syncPosition) / 1000000.0;
        // Samples already on their way to the encoder: buffered, and held back by
        // the resampler's filter.
        const std::int64_t pending =
            BufferedSamples() + ff::swr_get_delay(resampler_.get(), output_.SampleRate);
        if (settings_.SyncMethod != 0) {
            const double delta = position * rate - static_cast<double>(nextSample_ + pending);
            if (std::fabs(delta) > 50) {
                if (atStart_ || std::fabs(delta) > settings_.DriftThreshold * rate) {
                    const auto inputDelta =
                        static_cast<std::int64_t>(delta * inputRate_ / output_.SampleRate);
                    if (inputDelta < 0) {
                        const int drop =
                            static_cast<int>(std::min<std::int64_t>(-inputDelta, inputSamples));
                        if (settings_.Verbose > 2) {
                            Logger().LogFmt(this, llVerbose, "discarding %d audio samples",
                                            static_cast<int>(-delta));
                        }
                        const size_t skip =
                            static_cast<size_t>(drop) * bytesPerSample * (planar ? 1 : channels);
                        for (auto& plane : input) plane += skip;
                        inputSamples -= drop;
                        if (inputSamples == 0) return true;  // still at the start
                        atStart_ = false;
                    } else {
                        if (settings_.Verbose > 2) {
                            Logger().LogFmt(this, llVerbose, "adding %d audio samples of silence",
                                            static_cast<int>(delta));
                        }
                        const int ret = ff::swr_inject_silence(
                            resampler_.get(),
                            static_cast<int>(std::min<std::int64_t>(inputDelta, INT32_MAX)));
                        if (ret < 0) {
                            lastError_ = FFmpegErrorText("swr_inject_silence() failed", ret);
                            return false;
                        }
                        atStart_ = false;
                    }
                } else if (settings_.SyncMethod > 1) {
                    const int limit = settings_.SyncMethod;
                    const int compensation = std::clamp(static_cast<int>(delta), -limit, limit);
                    if (settings_.Verbose > 2) {
                        Logger().LogFmt(
                            this, llVerbose,
                            "compensating audio timestamp drift:%f compensation:%d in:%d", delta,
                            compensation, output_.SampleRate);
                    }
                    const int ret = ff::swr_set_compensation(resampler_.get(), compensation,
                                                             output_.SampleRate);
                    if (ret < 0) {
                        lastError_ = FFmpegErrorText("swr_set_compensation() failed", ret);
                        return false;
                    }
                }
            }
        } else {
            // The samples follow the input clock; the timestamps never go back, so
            // the muxer always receives increasing ones.
            const std::int64_t head = std::llround(position * rate) - pending;
            if (!anchored_ || head > nextSample_) nextSample_ = head;
            anchored_ = true;
        }
    }
    return Convert(input.data(), inputSamples);
}

bool AudioConverter::Flush() {
    if (!open_) {
        lastError_ = "Audio conversion is not open";
        return false;
    }
    if (flushed_) return true;
    flushed_ = true;
    return DrainResampler();
}

int AudioConverter::Pull(AVFrame* frame) {
    if (!open_) return 0;
    const int available = BufferedSamples();
    int take = 0;
    int padding = 0;
    if (output_.FixedFrameSize()) {
        if (available >= output_.FrameSize) {
            take = output_.FrameSize;
        } else if (flushed_ && available > 0) {
            take = available;
            if (!output_.SmallLastFrame) padding = output_.FrameSize - available;
        }
    } else {
        take = available;
    }
    if (take == 0) return 0;

    frame->format = output_.SampleFormat;
    frame->sample_rate = output_.SampleRate;
    frame->nb_samples = take + padding;
    int ret = ff::av_channel_layout_copy(&frame->ch_layout, &output_.Layout.get());
    if (ret >= 0) ret = ff::av_frame_get_buffer(frame, 0);
    if (ret < 0) {
        lastError_ = "Out of memory in do_audio_out";
        return -1;
    }
    if (ff::av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), take) <
        take) {
        lastError_ = "Cannot read the audio buffer";
        return -1;
    }
    if (padding > 0) {
        ff::av_samples_set_silence(frame->extended_data, take, padding, output_.Layout.Channels(),
                                   output_.SampleFormat);
    }
    frame->pts = ff::av_rescale_q(nextSample_, AVRational{1, output_.SampleRate}, output_.TimeBase);
    nextSample_ += take + padding;
    return 1;
}

}  // namespace zorvex
