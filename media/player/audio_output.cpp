// Sound: SDL's sound thread pulls decoded, converted sound through the
// callback, with volume and mute; the clock follows what was decoded.
#include <algorithm>
#include <cstring>

#include "media/log.h"
#include "media/player/playback.h"
#include "media/player/player.h"

namespace zorvex {
namespace {

constexpr int kSilenceBytes = 1024;
const std::uint8_t kSilence[kSilenceBytes] = {};

std::string SampleFormatName(int format) {
    const char* name = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
    return name != nullptr ? name : "none";
}

}  // namespace

void TPlayback::AudioCallbackEntry(void* opaque, std::uint8_t* stream, int length) {
    static_cast<TPlayback*>(opaque)->AudioCallback(stream, length);
}

void TPlayback::AudioCallback(std::uint8_t* stream, int length) {
    owner.callbackTime_ = ff::av_gettime_relative();
    // SDL2 hands the buffer over uninitialised: silence first, then mix into it.
    std::memset(stream, 0, static_cast<size_t>(length));
    std::uint8_t* out = stream;
    int remaining = length;
    while (remaining > 0) {
        if (audioBufferIndex_ >= audioBufferSize_) {
            if (audioQueue_->Aborted()) break;
            const int size = DecodeAudio();
            if (size < 0) {
                audioBuffer_ = kSilence;
                audioBufferSize_ = kSilenceBytes;
            } else {
                audioBuffer_ = audioDecodeBuffer_.data();
                audioBufferSize_ = size;
                if (audioDisplayMode != 0) {
                    std::lock_guard lock(sampleMutex_);
                    const auto* samples = reinterpret_cast<const std::int16_t*>(audioBuffer_);
                    for (int i = 0; i < size / 2; ++i) {
                        sampleRing_[sampleRingIndex_] = samples[i];
                        sampleRingIndex_ = (sampleRingIndex_ + 1) % SampleRingSize;
                    }
                }
            }
            audioBufferIndex_ = 0;
        }
        const int n = std::min(audioBufferSize_ - audioBufferIndex_, remaining);
        if (!owner.mute_) {
            sdl::SDL_MixAudioFormat(out, audioBuffer_ + audioBufferIndex_, AUDIO_S16SYS,
                                    static_cast<Uint32>(n), owner.audioVolume_);
        }
        audioBufferIndex_ += n;
        out += n;
        remaining -= n;
        std::lock_guard lock(audioClockMutex_);
        audioBytesPending_ = audioBuffer_ == kSilence ? 0 : audioBufferSize_ - audioBufferIndex_;
    }
    owner.MonitorAudio(stream, length);
}

int TPlayback::DecodeAudio() {
    AVCodecContext* codec = audioCodec_.get();
    if (!audioFrame_) audioFrame_.reset(ff::av_frame_alloc());
    if (!audioFrame_) return -1;
    for (;;) {
        while (audioDecoderHasFrames_) {
            const int ret = ff::avcodec_receive_frame(codec, audioFrame_.get());
            if (ret < 0) {
                if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
                    Logger().Log(&owner, llInfo, "avcodec_decode_audio2() failed");
                }
                audioDecoderHasFrames_ = false;
                break;
            }
            const std::int64_t pts = audioFrame_->best_effort_timestamp;
            const int size = ConvertAudioFrame(audioFrame_.get());
            ff::av_frame_unref(audioFrame_.get());
            if (size <= 0) continue;
            std::lock_guard lock(audioClockMutex_);
            if (pts != AV_NOPTS_VALUE) audioClock_ = pts * av_q2d(audioStream_->time_base);
            audioClock_ += static_cast<double>(size) / (2.0 * audioChannels_ * audioRate_);
            audioBytesPending_ = size;
            return size;
        }
        if (paused || audioQueue_->Aborted()) return -1;
        AVPacket* packet = nullptr;
        const int got = audioQueue_->Get(packet, false);
        if (got < 0) return -1;
        if (got == 0) {
            if (endOfFile && !audioDrainSent_) {  // give out what the decoder still holds
                ff::avcodec_send_packet(codec, nullptr);
                audioDrainSent_ = true;
                audioDecoderHasFrames_ = true;
                continue;
            }
            return -1;  // nothing queued: the callback plays silence
        }
        if (audioQueue_->IsFlush(packet)) {
            ff::avcodec_flush_buffers(codec);
            audioDrainSent_ = false;
            continue;
        }
        const int ret = ff::avcodec_send_packet(codec, packet);
        ff::av_packet_free(&packet);
        if (ret < 0 && ret != AVERROR(EAGAIN)) {
            Logger().Log(&owner, llInfo, "avcodec_decode_audio2() failed");
        }
        audioDecoderHasFrames_ = true;
    }
}

int TPlayback::ConvertAudioFrame(const AVFrame* frame) {
    if (frame->nb_samples <= 0 || frame->ch_layout.nb_channels <= 0) return 0;
    AVChannelLayout inLayout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        ff::av_channel_layout_default(&inLayout, frame->ch_layout.nb_channels);
    } else {
        ff::av_channel_layout_copy(&inLayout, &frame->ch_layout);
    }
    if (!audioConverter_ || frame->format != converterFormat_ ||
        frame->sample_rate != converterRate_ ||
        ff::av_channel_layout_compare(&inLayout, &converterLayout_) != 0) {
        audioConverter_.reset();
        AVChannelLayout outLayout{};
        ff::av_channel_layout_default(&outLayout, audioChannels_);
        SwrContext* converter = nullptr;
        int ret = ff::swr_alloc_set_opts2(&converter, &outLayout, AV_SAMPLE_FMT_S16, audioRate_,
                                          &inLayout, static_cast<AVSampleFormat>(frame->format),
                                          frame->sample_rate, 0, nullptr);
        if (ret >= 0) ret = ff::swr_init(converter);
        ff::av_channel_layout_uninit(&outLayout);
        if (ret < 0) {
            ff::swr_free(&converter);
            ff::av_channel_layout_uninit(&inLayout);
            owner.ReportError("Cannot convert " + SampleFormatName(frame->format) +
                                  " sample format to s16 sample format",
                              false);
            converterFormat_ = -1;
            return -1;
        }
        audioConverter_.reset(converter);
        converterFormat_ = frame->format;
        converterRate_ = frame->sample_rate;
        ff::av_channel_layout_uninit(&converterLayout_);
        ff::av_channel_layout_copy(&converterLayout_, &inLayout);
    }
    ff::av_channel_layout_uninit(&inLayout);

    const int capacity = ff::swr_get_out_samples(audioConverter_.get(), frame->nb_samples);
    if (capacity <= 0) return 0;
    const size_t bytes = static_cast<size_t>(capacity) * 2 * audioChannels_;
    if (audioDecodeBuffer_.size() < bytes) audioDecodeBuffer_.resize(bytes);  // fits today's frames
    std::uint8_t* out[1] = {audioDecodeBuffer_.data()};
    const int converted =
        ff::swr_convert(audioConverter_.get(), out, capacity,
                        const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (converted < 0) {
        owner.ReportError("av_audio_convert() failed", false);
        return -1;
    }
    return converted * 2 * audioChannels_;
}

}  // namespace zorvex
