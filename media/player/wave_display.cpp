// The wave display of audio-only files: one band per channel, white waves on
// black, white lines between the bands.
#include <climits>

#include "media/player/playback.h"
#include "media/player/player.h"

namespace zorvex {

void TPlayback::WaveDisplay() {
    const int width = displayImage_.Width, height = displayImage_.Height;
    const int channels = audioChannels_;
    if (width <= 0 || height <= 0 || channels <= 0) return;
    const int top = 0, left = 0;
    std::lock_guard lock(sampleMutex_);
    int start;
    if (paused) {
        start = lastWaveStart_;
    } else {
        int pending;
        {
            std::lock_guard clock(audioClockMutex_);
            pending = audioBytesPending_;
        }
        long long delay = pending / (2 * channels);
        const std::int64_t callbackTime = owner.callbackTime_;
        if (callbackTime != 0) {
            delay -= static_cast<long long>(audioRate_) *
                     (ff::av_gettime_relative() - callbackTime) / 1000000;
        }
        delay += 2LL * width;
        if (delay < width) delay = width;
        long long x = (sampleRingIndex_ - delay * channels) % SampleRingSize;
        if (x < 0) x += SampleRingSize;
        start = static_cast<int>(x);
        int best = INT_MIN;
        for (int i = 0; i < 1000; i += channels) {
            const int idx = static_cast<int>((SampleRingSize + x - i) % SampleRingSize);
            const int a = sampleRing_[idx];
            const int b = sampleRing_[(idx + 4 * channels) % SampleRingSize];
            const int c = sampleRing_[(idx + 5 * channels) % SampleRingSize];
            const int d = sampleRing_[(idx + 9 * channels) % SampleRingSize];
            const int score = a - d;
            if (best < score && (b ^ c) < 0) {
                best = score;
                start = idx;
            }
        }
        lastWaveStart_ = start;
    }

    displayImage_.Fill({left, top, width, height}, TDisplayImage::Black);
    const int bandHeight = height / channels;
    const int scale = bandHeight * 9 / 20;
    for (int ch = 0; ch < channels; ++ch) {
        int i = (start + ch) % SampleRingSize;
        const int middle = top + ch * bandHeight + bandHeight / 2;
        for (int x = 0; x < width; ++x) {
            int y = (sampleRing_[i] * scale) >> 15;
            int y0 = middle;
            if (y < 0) {
                y = -y;
                y0 = middle - y;
            }
            displayImage_.Fill({left + x, y0, 1, y}, TDisplayImage::White);
            i = (i + channels) % SampleRingSize;
        }
    }
    for (int ch = 1; ch < channels; ++ch) {
        displayImage_.Fill({left, top + ch * bandHeight, width, 1}, TDisplayImage::White);
    }
    Present();
}

}  // namespace zorvex
