// Throughput of the engine's stage modules on generated input, without
// decoding or encoding: the video filter graph (crop, scale, "vf") and the
// audio conversion (resample, volume, framing). bench/engine_stages.sh runs it
// beside ffmpeg doing the same filter work and prints the ratios.
//
//   engine_stages_bench video FRAMES   -> processor seconds for FRAMES 1280x720 pictures
//   engine_stages_bench audio SECONDS  -> processor seconds for SECONDS of 44.1 kHz stereo
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "media/engine/audio_converter.h"
#include "media/engine/video_filter_graph.h"
#include "media/loader.h"

using namespace zorvex;

namespace {

// Processor time, not wall time: the figure should not depend on what else the
// machine runs.
double Seconds(std::clock_t start) {
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

int Video(int frames) {
    VideoFilterInput in;
    in.Width = 1280;
    in.Height = 720;
    in.PixelFormat = AV_PIX_FMT_YUV420P;
    in.SampleAspectRatio = {1, 1};
    in.TimeBase = {1, 25};
    VideoFilterSettings s;
    s.CropTop = s.CropBottom = 8;
    s.OutputWidth = 640;
    s.OutputHeight = 360;
    s.OutputPixelFormat = AV_PIX_FMT_YUV420P;
    s.Filters = "hflip";
    s.Threads = 1;
    VideoFilterGraph graph;
    if (!graph.Configure(in, s)) {
        std::fprintf(stderr, "%s\n", graph.LastError().c_str());
        return 1;
    }
    // A few distinct pictures, reused.
    std::vector<FramePtr> pictures;
    for (int k = 0; k < 4; ++k) {
        FramePtr f(ff::av_frame_alloc());
        f->width = 1280;
        f->height = 720;
        f->format = AV_PIX_FMT_YUV420P;
        ff::av_frame_get_buffer(f.get(), 0);
        for (int p = 0; p < 3; ++p) {
            const int h = p == 0 ? 720 : 360;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < f->linesize[p]; ++x) {
                    f->data[p][y * f->linesize[p] + x] =
                        static_cast<std::uint8_t>(x + y * 3 + k * 7);
                }
            }
        }
        pictures.push_back(std::move(f));
    }
    FramePtr out(ff::av_frame_alloc());
    int produced = 0;
    const std::clock_t start = std::clock();
    for (int i = 0; i < frames; ++i) {
        AVFrame* f = pictures[i % pictures.size()].get();
        f->pts = i;
        graph.Push(f);
        while (graph.Pull(out.get()) == FilterPull::Frame) {
            ++produced;
            ff::av_frame_unref(out.get());
        }
    }
    graph.PushEnd();
    while (graph.Pull(out.get()) == FilterPull::Frame) {
        ++produced;
        ff::av_frame_unref(out.get());
    }
    std::printf("%.3f\n", Seconds(start));
    return produced == frames ? 0 : 1;
}

int Audio(int seconds) {
    AudioOutputFormat format;
    format.SampleFormat = AV_SAMPLE_FMT_S16;
    format.SampleRate = 48000;
    format.Layout = ChannelLayout::WithChannels(2);
    format.FrameSize = 1152;
    AudioConversionSettings settings;
    settings.Volume = 512;
    AudioConverter converter;
    if (!converter.Open(format, settings)) return 1;
    constexpr int kChunk = 1024;
    FramePtr in(ff::av_frame_alloc());
    in->format = AV_SAMPLE_FMT_FLTP;
    in->sample_rate = 44100;
    in->nb_samples = kChunk;
    ff::av_channel_layout_default(&in->ch_layout, 2);
    ff::av_frame_get_buffer(in.get(), 0);
    for (int c = 0; c < 2; ++c) {
        auto* p = reinterpret_cast<float*>(in->data[c]);
        for (int i = 0; i < kChunk; ++i) p[i] = 0.4f * std::sin(i * 0.0627f);
    }
    FramePtr out(ff::av_frame_alloc());
    const std::int64_t chunks = static_cast<std::int64_t>(seconds) * 44100 / kChunk;
    std::int64_t samples = 0;
    const std::clock_t start = std::clock();
    for (std::int64_t k = 0; k < chunks; ++k) {
        converter.Push(in.get(), k * kChunk * 1000000 / 44100);
        while (converter.Pull(out.get()) == 1) {
            samples += out->nb_samples;
            ff::av_frame_unref(out.get());
        }
    }
    converter.Flush();
    while (converter.Pull(out.get()) == 1) {
        samples += out->nb_samples;
        ff::av_frame_unref(out.get());
    }
    std::printf("%.3f\n", Seconds(start));
    return samples > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || !Loader().LoadLibrarySet(ConverterLibrarySet)) {
        std::fprintf(stderr, "usage: engine_stages_bench video|audio COUNT\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    if (std::strcmp(argv[1], "video") == 0) return Video(count);
    if (std::strcmp(argv[1], "audio") == 0) return Audio(count);
    return 2;
}
