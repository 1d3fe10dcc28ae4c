// Helpers of the engine stage tests: generated pictures and sounds, and a
// capture of the log router's lines.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "media/ffptr.h"
#include "media/log.h"

namespace zorvex::test {

// A picture of the given size and format; fill(x, y) gives the luma (YUV) or
// grey value (packed RGB) of each pixel, chroma planes are neutral.
template <typename Fill>
FramePtr MakeVideoFrame(int width, int height, AVPixelFormat format, std::int64_t pts, Fill fill) {
    FramePtr f(ff::av_frame_alloc());
    f->width = width;
    f->height = height;
    f->format = format;
    f->pts = pts;
    if (ff::av_frame_get_buffer(f.get(), 0) < 0) return nullptr;
    const AVPixFmtDescriptor* d = ff::av_pix_fmt_desc_get(format);
    if ((d->flags & AV_PIX_FMT_FLAG_RGB) != 0) {
        const int bytes = d->comp[0].step;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::fill_n(f->data[0] + y * f->linesize[0] + x * bytes, bytes,
                            static_cast<std::uint8_t>(fill(x, y)));
            }
        }
        return f;
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            f->data[0][y * f->linesize[0] + x] = static_cast<std::uint8_t>(fill(x, y));
        }
    }
    const int cw = AV_CEIL_RSHIFT(width, d->log2_chroma_w);
    const int ch = AV_CEIL_RSHIFT(height, d->log2_chroma_h);
    for (int p = 1; p < 3 && f->data[p] != nullptr; ++p) {
        for (int y = 0; y < ch; ++y) std::fill_n(f->data[p] + y * f->linesize[p], cw, 128);
    }
    return f;
}

inline FramePtr MakeGreyFrame(int width, int height, AVPixelFormat format, int grey,
                              std::int64_t pts = 0) {
    return MakeVideoFrame(width, height, format, pts, [grey](int, int) { return grey; });
}

inline int LumaAt(const AVFrame* f, int x, int y) {
    return f->data[0][y * f->linesize[0] + x];
}

// A sine tone of the given format; value(i) is the sample value in -1..1 of
// sample i (the same on every channel).
template <typename Value>
FramePtr MakeAudioFrame(AVSampleFormat format, int rate, int channels, int samples,
                        std::int64_t pts, Value value) {
    FramePtr f(ff::av_frame_alloc());
    f->format = format;
    f->sample_rate = rate;
    f->nb_samples = samples;
    f->pts = pts;
    ff::av_channel_layout_default(&f->ch_layout, channels);
    if (ff::av_frame_get_buffer(f.get(), 0) < 0) return nullptr;
    const bool planar = ff::av_sample_fmt_is_planar(format) != 0;
    const int bps = ff::av_get_bytes_per_sample(format);
    for (int i = 0; i < samples; ++i) {
        const double v = value(i);
        for (int c = 0; c < channels; ++c) {
            std::uint8_t* p =
                planar ? f->extended_data[c] + static_cast<size_t>(i) * bps
                       : f->extended_data[0] + (static_cast<size_t>(i) * channels + c) * bps;
            switch (ff::av_get_packed_sample_fmt(format)) {
                case AV_SAMPLE_FMT_U8:
                    *p = static_cast<std::uint8_t>(std::lrint(v * 127) + 128);
                    break;
                case AV_SAMPLE_FMT_S16:
                    *reinterpret_cast<std::int16_t*>(p) =
                        static_cast<std::int16_t>(std::lrint(v * 32767));
                    break;
                case AV_SAMPLE_FMT_S32:
                    *reinterpret_cast<std::int32_t*>(p) =
                        static_cast<std::int32_t>(std::lrint(v * 2147483647.0));
                    break;
                case AV_SAMPLE_FMT_FLT:
                    *reinterpret_cast<float*>(p) = static_cast<float>(v);
                    break;
                case AV_SAMPLE_FMT_DBL:
                    *reinterpret_cast<double*>(p) = v;
                    break;
                default:
                    break;
            }
        }
    }
    return f;
}

inline FramePtr MakeSilence(AVSampleFormat format, int rate, int channels, int samples) {
    return MakeAudioFrame(format, rate, channels, samples, 0, [](int) { return 0.0; });
}

// Collects the log router's lines while it exists.
class LogCapture {
public:
    LogCapture() {
        Logger().SetTriggerEventInMainThread(false);
        Logger().SetOnLog([this](TFFLogger*, std::uint32_t, TLogLevel level, const std::string& m) {
            std::lock_guard lock(mutex_);
            lines_.push_back({level, m});
        });
    }
    ~LogCapture() { Logger().SetOnLog(nullptr); }
    struct Line {
        TLogLevel level;
        std::string text;
    };
    std::vector<Line> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // Lines at the level that contain text.
    int Count(TLogLevel level, const std::string& text) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(lines_.begin(), lines_.end(), [&](const Line& l) {
            return l.level == level && l.text.find(text) != std::string::npos;
        }));
    }

private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

}  // namespace zorvex::test
