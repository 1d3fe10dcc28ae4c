// Decoded pictures on their way to the encoder: the custom hook or the frame
// hook plug-ins see every decoded picture, the filter graph of each encoded
// video stream deinterlaces, crops, scales and applies "vf", and encoded
// pictures are handed to the preview.
#include "media/engine/transcoder.h"
#include "media/log.h"

namespace zorvex {

namespace {

constexpr AVRational kMicroseconds{1, 1000000};

}  // namespace

void Transcoder::PreprocessVideoFrame(InputStreamState& ist, AVFrame* frame) {
    e_.Hooks.Process(frame, ist.CurrentTs);
}

bool Transcoder::ConfigureFilters(OutputStreamRuntime& rt, InputStreamState& ist, int rotation) {
    const AVCodecParameters* par = ist.Stream->codecpar;
    AVCodecContext* c = rt.Codec;
    VideoFilterInput input;
    input.Width = par->width;
    input.Height = par->height;
    input.PixelFormat = static_cast<AVPixelFormat>(par->format);
    input.SampleAspectRatio = ff::av_guess_sample_aspect_ratio(
        e_.InputFiles[static_cast<size_t>(ist.FileIndex)].Context.get(), ist.Stream, nullptr);
    input.TimeBase = kMicroseconds;
    input.FrameRate =
        ist.Stream->avg_frame_rate.num != 0 ? ist.Stream->avg_frame_rate : ist.Stream->r_frame_rate;

    VideoFilterSettings settings;
    settings.OutputWidth = c->width;
    settings.OutputHeight = c->height;
    settings.OutputPixelFormat = c->pix_fmt;
    settings.CropTop = s_.CropTop;
    settings.CropBottom = s_.CropBottom;
    settings.CropLeft = s_.CropLeft;
    settings.CropRight = s_.CropRight;
    settings.Deinterlace = s_.Deinterlace ? DeinterlaceMethod::Yadif : DeinterlaceMethod::None;
    // The picture keeps its shape inside the encoder's frame, upright.
    settings.FitPicture = true;
    settings.Rotation = rotation;
    settings.OutputSampleAspect = c->sample_aspect_ratio;
    settings.Filters = rt.File->UsesFilters ? s_.VideoFilters : std::string();
    std::int64_t flags = s_.SwsFlags;
    if (e_.ScalerOptions != nullptr) {
        ff::av_opt_get_int(e_.ScalerOptions, "sws_flags", 0, &flags);
    }
    settings.SwsFlags = static_cast<int>(flags);
    settings.Threads = s_.ThreadCount;  // pictures must not depend on timing
    settings.InputFileIndex = ist.FileIndex;
    settings.InputStreamIndex = ist.StreamIndex;

    rt.Filters = std::make_unique<VideoFilterGraph>();
    if (!rt.Filters->Configure(input, settings)) {
        e_.SetLastError(rt.Filters->LastError());
        return false;
    }
    Logger().LogFmt(&e_, llVerbose, "Video filters of output stream #%d.%d: %s", rt.FileIndex,
                    rt.StreamIndex, rt.Filters->Description().c_str());
    // The encoder takes the size that arrives at the sink.
    c->width = rt.Filters->OutputWidth();
    c->height = rt.Filters->OutputHeight();
    // What arrives at the sink: ours, or what a "vf" chain set (setsar, setdar).
    const AVRational sar = rt.Filters->OutputSampleAspectRatio();
    if (sar.num > 0 && sar.den > 0) c->sample_aspect_ratio = sar;
    return true;
}

void Transcoder::FilterVideoFrame(OutputStreamState& os, AVFrame* frame) {
    OutputStreamRuntime& rt = *os.Run;
    if (!rt.Filters->Push(frame)) throw FFmpegException(rt.Filters->LastError());
    const AVRational tb = rt.Filters->OutputTimeBase();
    for (;;) {
        const FilterPull pulled = rt.Filters->Pull(filtered_.get());
        if (pulled == FilterPull::Error) throw FFmpegException(rt.Filters->LastError());
        if (pulled != FilterPull::Frame) return;
        const std::int64_t ts = ff::av_rescale_q(filtered_->pts, tb, kMicroseconds);
        EncodeVideoFrame(rt, filtered_.get(), SyncPosition(os, ts));
        ff::av_frame_unref(filtered_.get());
    }
}

void Transcoder::DrainFilters(OutputStreamRuntime& rt) {
    if (!rt.Filters || !rt.Filters->Configured()) return;
    if (!rt.Filters->PushEnd()) throw FFmpegException(rt.Filters->LastError());
    const AVRational tb = rt.Filters->OutputTimeBase();
    for (;;) {
        const FilterPull pulled = rt.Filters->Pull(filtered_.get());
        if (pulled == FilterPull::Error) throw FFmpegException(rt.Filters->LastError());
        if (pulled != FilterPull::Frame) return;
        const std::int64_t ts = ff::av_rescale_q(filtered_->pts, tb, kMicroseconds);
        EncodeVideoFrame(rt, filtered_.get(), ts - s_.StartTime);
        ff::av_frame_unref(filtered_.get());
    }
}

void Transcoder::ProducePreview(OutputStreamRuntime& rt, const AVFrame* picture) {
    const std::int64_t pts = ff::av_rescale_q(picture->pts, rt.Codec->time_base, kMicroseconds);
    e_.Preview.Produce(picture, e_.Hooks.FrameCounter(), pts);
    std::lock_guard lock(PreviewLock());
    e_.PreviewFlags = e_.Preview.Flags();
}

}  // namespace zorvex
