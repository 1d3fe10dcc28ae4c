// Audio conversion of one encoded audio output stream: decoded frames of any
// sample format, rate and channel layout become frames of the encoder's format,
// with the volume applied, the input clock followed ("async") and the samples
// cut into the encoder's frame size, each frame stamped in the encoder's time
// base.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/ffptr.h"
#include "media/util.h"

namespace zorvex {

// An AVChannelLayout that owns what it holds.
class ChannelLayout {
public:
    ChannelLayout() = default;
    // A layout whose channel order is unspecified becomes the default layout of
    // its channel count, so that it can be remixed.
    explicit ChannelLayout(const AVChannelLayout& layout);
    static ChannelLayout WithChannels(int channels);
    ChannelLayout(const ChannelLayout& other);
    ChannelLayout& operator=(const ChannelLayout& other);
    ~ChannelLayout();

    const AVChannelLayout& get() const { return layout_; }
    int Channels() const { return layout_.nb_channels; }
    bool operator==(const ChannelLayout& other) const;
    std::string Describe() const;

private:
    AVChannelLayout layout_{};
};

// What the encoder takes.
struct AudioOutputFormat {
    AVSampleFormat SampleFormat = AV_SAMPLE_FMT_NONE;
    int SampleRate = 0;
    ChannelLayout Layout;
    int FrameSize = 0;               // samples per channel and frame; 1 or less: any
    bool VariableFrameSize = false;  // AV_CODEC_CAP_VARIABLE_FRAME_SIZE
    bool SmallLastFrame = false;     // AV_CODEC_CAP_SMALL_LAST_FRAME
    AVRational TimeBase{0, 1};       // encoder time base; 1/SampleRate when unset

    // The format of an opened encoder.
    static AudioOutputFormat OfEncoder(const AVCodecContext* encoder);
    // Frames must hold exactly FrameSize samples (the last one may be shorter
    // with SmallLastFrame).
    bool FixedFrameSize() const { return FrameSize > 1 && !VariableFrameSize; }
};

struct AudioConversionSettings {
    int Volume = 256;             // "vol": 256 = unchanged
    int SyncMethod = 0;           // "async": 0 follow the input timestamps; 1 add or drop
                                  // samples; n > 1 also stretch by up to n samples a second
    double DriftThreshold = 0.1;  // "adrift_threshold", seconds
    int Verbose = 1;              // "v": above 2 logs every correction at llVerbose
};

// Scales samples by volume / 256 ((sample × volume + 128) ÷ 256 rounded towards
// minus infinity for integer formats), clipping to the format's range; floating
// point samples are clipped to -1 .. 1. planes: one per channel for planar
// formats, else one.
void ApplyVolume(std::uint8_t* const* planes, AVSampleFormat format, int samples, int channels,
                 int volume);

// Used by the task's thread only; one per encoded audio output stream.
class AudioConverter {
public:
    AudioConverter() = default;
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    // Prepares the conversion; the resampler is made for the first frame pushed
    // (and remade whenever the decoded format changes). False with LastError.
    bool Open(const AudioOutputFormat& output, const AudioConversionSettings& settings);
    void Close();

    // Converts one decoded frame. syncPosition is the time of its first sample
    // on the input clock minus the start time, in microseconds (NoPtsValue when
    // unknown: the samples then simply follow the ones before); samples before
    // position 0 are cut off. False with
    // LastError ("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
    // "Cannot convert %s sample format to %s sample format", ...).
    bool Push(const AVFrame* frame, std::int64_t syncPosition);
    // End of input: the resampler's remaining samples go into the buffer and the
    // last, incomplete frame becomes available (short or padded with silence).
    bool Flush();
    // The next frame for the encoder into frame (which must be empty): 1 with a
    // frame, 0 when not enough samples are buffered yet, -1 on failure.
    int Pull(AVFrame* frame);

    // Samples per channel waiting for a frame, and the timestamp (in samples at
    // the output rate) of the first of them.
    int BufferedSamples() const;
    std::int64_t NextSample() const { return nextSample_; }
    // True until the first correction that added or dropped samples.
    bool AtStart() const { return atStart_; }
    const AudioOutputFormat& Output() const { return output_; }
    const std::string& LastError() const { return lastError_; }

private:
    bool PrepareResampler(const AVFrame* frame);
    bool MakeResampler(const AVFrame* frame);
    bool DrainResampler();
    bool Convert(const std::uint8_t** input, int inputSamples);
    bool ReserveOutput(int samples);
    bool Store(int samples);

    AudioOutputFormat output_;
    AudioConversionSettings settings_;
    bool open_ = false;

    SwrPtr resampler_;
    AVSampleFormat inputFormat_ = AV_SAMPLE_FMT_NONE;
    int inputRate_ = 0;
    ChannelLayout inputLayout_;

    AudioFifoPtr fifo_;
    AvMemPtr<std::uint8_t> outputBuffer_;  // converted samples; grows, never shrinks
    std::vector<std::uint8_t*> outputPlanes_;
    int outputCapacity_ = 0;

    std::int64_t nextSample_ = 0;
    bool anchored_ = false;
    bool atStart_ = true;
    bool flushed_ = false;
    std::string lastError_;
};

}  // namespace zorvex
