#include "media/engine/video_filter_graph.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "media/engine/picture_geometry.h"
#include "media/log.h"
#include "media/text.h"

namespace zorvex {
namespace {

std::string ErrorText(int code) {
    char text[256] = "";
    ff::av_strerror(code, text, sizeof text);
    return text;
}

// One token of filter graph syntax, as FFmpeg's parser reads it: backslash
// escapes and single quotes protect the terminators.
std::string Token(const std::string& s, size_t& pos, const char* terminators) {
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
    std::string out;
    size_t keep = 0;  // length up to the last protected character
    while (pos < s.size() && std::strchr(terminators, s[pos]) == nullptr) {
        const char c = s[pos++];
        if (c == '\\' && pos < s.size()) {
            out += s[pos++];
            keep = out.size();
        } else if (c == '\'') {
            while (pos < s.size() && s[pos] != '\'') out += s[pos++];
            if (pos < s.size()) ++pos;
            keep = out.size();
        } else {
            out += c;
        }
    }
    while (out.size() > keep && std::isspace(static_cast<unsigned char>(out.back())))
        out.pop_back();
    return out;
}

void SkipLabels(const std::string& s, size_t& pos) {
    for (;;) {
        while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
        if (pos >= s.size() || s[pos] != '[') return;
        const size_t close = s.find(']', pos);
        pos = close == std::string::npos ? s.size() : close + 1;
    }
}

// Checks that every filter named in a "vf" description exists and works on
// video; the message names the first one that does not.
std::string CheckFilterNames(const std::string& description) {
    for (std::string name : FilterNamesOf(description)) {
        const size_t at = name.find('@');  // "name@instance"
        if (at != std::string::npos) name.resize(at);
        const AVFilter* filter = ff::avfilter_get_by_name(name.c_str());
        if (filter == nullptr) return "No such filter: '" + name + "'";
        if (ff::avfilter_filter_pad_count(filter, 0) == 0 &&
            (filter->flags & AVFILTER_FLAG_DYNAMIC_INPUTS) == 0) {
            return "Filter '" + name + "' takes no input";
        }
        if (ff::avfilter_filter_pad_count(filter, 0) > 0 &&
            ff::avfilter_pad_get_type(filter->inputs, 0) != AVMEDIA_TYPE_VIDEO) {
            return "Filter '" + name + "' does not take video";
        }
    }
    return "";
}

}  // namespace

std::vector<std::string> FilterNamesOf(const std::string& s) {
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
    if (s.compare(pos, 10, "sws_flags=") == 0) {
        const size_t semicolon = s.find(';', pos);
        pos = semicolon == std::string::npos ? s.size() : semicolon + 1;
    }
    while (pos < s.size()) {
        SkipLabels(s, pos);
        if (pos >= s.size()) break;
        std::string name = Token(s, pos, "=,;[");
        if (pos < s.size() && s[pos] == '=') {
            ++pos;
            Token(s, pos, "[],;");
        }
        SkipLabels(s, pos);
        if (!name.empty()) names.push_back(name);
        if (pos < s.size() && (s[pos] == ',' || s[pos] == ';')) {
            ++pos;
        } else if (pos < s.size()) {
            ++pos;  // a stray character; the parser itself reports it
        }
    }
    return names;
}

void VideoFilterGraph::Reset() {
    graph_.reset();
    source_ = nullptr;
    sink_ = nullptr;
    pending_.clear();
    ended_ = false;
    rebuilds_ = 0;
    description_.clear();
}

bool VideoFilterGraph::Configure(const VideoFilterInput& input,
                                 const VideoFilterSettings& settings) {
    Reset();
    input_ = input;
    settings_ = settings;
    if (input_.Width <= 0 || input_.Height <= 0 || input_.PixelFormat == AV_PIX_FMT_NONE) {
        lastError_ = "Video input size or pixel format is unknown";
        return false;
    }
    if (input_.TimeBase.num <= 0 || input_.TimeBase.den <= 0) input_.TimeBase = {1, 1000000};
    initialWidth_ = input_.Width;
    initialHeight_ = input_.Height;
    initialCrop_[0] = settings_.CropTop;
    initialCrop_[1] = settings_.CropBottom;
    initialCrop_[2] = settings_.CropLeft;
    initialCrop_[3] = settings_.CropRight;
    return Build();
}

bool VideoFilterGraph::Build() {
    if (BuildGraph()) return true;
    graph_.reset();
    source_ = nullptr;
    sink_ = nullptr;
    return false;
}

bool VideoFilterGraph::BuildGraph() {
    graph_.reset();
    source_ = nullptr;
    sink_ = nullptr;
    description_.clear();

    const VideoFilterSettings& s = settings_;
    if (s.CropTop < 0 || s.CropBottom < 0 || s.CropLeft < 0 || s.CropRight < 0) {
        lastError_ = "Crop bands must not be negative";
        return false;
    }
    const int croppedWidth = input_.Width - s.CropLeft - s.CropRight;
    const int croppedHeight = input_.Height - s.CropTop - s.CropBottom;
    if (croppedHeight <= 0) {
        lastError_ =
            "Vertical crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.";
        return false;
    }
    if (croppedWidth <= 0) {
        lastError_ =
            "Horizontal crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.";
        return false;
    }

    graph_.reset(ff::avfilter_graph_alloc());
    if (!graph_) {
        lastError_ = "Cannot allocate the filter graph";
        return false;
    }
    AVFilterGraph* graph = graph_.get();
    if (s.Threads > 0) graph->nb_threads = s.Threads;
    // Scalers the graph inserts itself (format conversions) use the same flags.
    graph->scale_sws_opts = ff::av_strdup(text::Fmt("flags=%d", s.SwsFlags).c_str());

    AVRational sar = input_.SampleAspectRatio;
    if (sar.num <= 0 || sar.den <= 0) sar = {0, 1};
    std::string sourceArgs =
        text::Fmt("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", input_.Width,
                  input_.Height, static_cast<int>(input_.PixelFormat), input_.TimeBase.num,
                  input_.TimeBase.den, sar.num, sar.den);
    if (input_.FrameRate.num > 0 && input_.FrameRate.den > 0) {
        sourceArgs += text::Fmt(":frame_rate=%d/%d", input_.FrameRate.num, input_.FrameRate.den);
    }
    int ret = ff::avfilter_graph_create_filter(&source_, ff::avfilter_get_by_name("buffer"), "src",
                                               sourceArgs.c_str(), nullptr, graph);
    if (ret < 0) {
        lastError_ = "Cannot create the video source filter: " + ErrorText(ret);
        return false;
    }
    ret = ff::avfilter_graph_create_filter(&sink_, ff::avfilter_get_by_name("buffersink"), "out",
                                           nullptr, nullptr, graph);
    if (ret < 0) {
        lastError_ = "Cannot create the video sink filter: " + ErrorText(ret);
        return false;
    }
    const AVPixelFormat outputFormat =
        s.OutputPixelFormat != AV_PIX_FMT_NONE ? s.OutputPixelFormat : input_.PixelFormat;
    // The encoder takes exactly one pixel format.
    const AVPixelFormat sinkFormats[] = {outputFormat};
    ret = ff::av_opt_set_bin(sink_, "pix_fmts", reinterpret_cast<const std::uint8_t*>(sinkFormats),
                             sizeof sinkFormats, AV_OPT_SEARCH_CHILDREN);
    if (ret < 0) {
        lastError_ = "Cannot set the pixel format of the video sink: " + ErrorText(ret);
        return false;
    }

    AVFilterContext* last = source_;
    int index = 0;
    auto append = [&](const char* name, const std::string& args) {
        AVFilterContext* filter = nullptr;
        const std::string instance = text::Fmt("%s_%d", name, index++);
        int r = ff::avfilter_graph_create_filter(
            &filter, ff::avfilter_get_by_name(name), instance.c_str(),
            args.empty() ? nullptr : args.c_str(), nullptr, graph);
        if (r >= 0) r = ff::avfilter_link(last, 0, filter, 0);
        if (r < 0) {
            lastError_ =
                text::Fmt("Cannot create filter %s=%s: ", name, args.c_str()) + ErrorText(r);
            return false;
        }
        if (!description_.empty()) description_ += ",";
        description_ += args.empty() ? std::string(name) : std::string(name) + "=" + args;
        last = filter;
        return true;
    };

    if (s.Deinterlace != DeinterlaceMethod::None) {
        const char* name = s.Deinterlace == DeinterlaceMethod::Bwdif ? "bwdif" : "yadif";
        if (!append(name, "mode=send_frame:parity=auto:deint=all")) return false;
    }
    if (s.CropTop != 0 || s.CropBottom != 0 || s.CropLeft != 0 || s.CropRight != 0) {
        if (!append("crop", text::Fmt("w=%d:h=%d:x=%d:y=%d", croppedWidth, croppedHeight,
                                      s.CropLeft, s.CropTop))) {
            return false;
        }
    }
    const bool fit = s.FitPicture && s.OutputWidth > 0 && s.OutputHeight > 0;
    int shownWidth = croppedWidth, shownHeight = croppedHeight;
    if (fit && (s.Rotation == 90 || s.Rotation == 270)) {
        if (!append("transpose", s.Rotation == 90 ? "dir=clock" : "dir=cclock")) return false;
        std::swap(shownWidth, shownHeight);
    } else if (fit && s.Rotation == 180) {
        if (!append("hflip", "") || !append("vflip", "")) return false;
    }
    int outputWidth = s.OutputWidth > 0 ? s.OutputWidth : shownWidth;
    int outputHeight = s.OutputHeight > 0 ? s.OutputHeight : shownHeight;
    PicturePlacement placement;
    placement.Width = outputWidth;
    placement.Height = outputHeight;
    if (fit) {
        SourcePicture picture;
        picture.Width = input_.Width;
        picture.Height = input_.Height;
        picture.SampleAspect = sar;
        picture.Rotation = s.Rotation;
        picture.CropTop = s.CropTop;
        picture.CropBottom = s.CropBottom;
        picture.CropLeft = s.CropLeft;
        picture.CropRight = s.CropRight;
        OutputFrame frame;
        frame.Width = outputWidth;
        frame.Height = outputHeight;
        frame.SampleAspect = s.OutputSampleAspect;
        int alignWidth = 1, alignHeight = 1;
        if (const AVPixFmtDescriptor* d = ff::av_pix_fmt_desc_get(outputFormat)) {
            alignWidth = 1 << d->log2_chroma_w;
            alignHeight = 1 << d->log2_chroma_h;
        }
        placement = PlacePicture(picture, frame, alignWidth, alignHeight);
    }
    if (placement.Width != shownWidth || placement.Height != shownHeight ||
        outputFormat != input_.PixelFormat) {
        if (!append("scale", text::Fmt("w=%d:h=%d:flags=%d", placement.Width, placement.Height,
                                       s.SwsFlags))) {
            return false;
        }
    }
    if (s.OutputPixelFormat != AV_PIX_FMT_NONE) {
        const char* formatName = ff::av_get_pix_fmt_name(outputFormat);
        if (!append("format",
                    text::Fmt("pix_fmts=%s", formatName != nullptr ? formatName : "none"))) {
            return false;
        }
    }
    if (fit && (placement.Width != outputWidth || placement.Height != outputHeight)) {
        if (!append("pad", text::Fmt("w=%d:h=%d:x=%d:y=%d:color=black", outputWidth, outputHeight,
                                     placement.X, placement.Y))) {
            return false;
        }
    }
    if (fit) {
        const AVRational outSar = s.OutputSampleAspect;
        if (!append("setsar", text::Fmt("sar=%d/%d:max=255", outSar.num, outSar.den))) return false;
    }

    if (!s.Filters.empty()) {
        const std::string bad = CheckFilterNames(s.Filters);
        if (!bad.empty()) {
            lastError_ = "Cannot parse video filters \"" + s.Filters + "\": " + bad;
            return false;
        }
        AVFilterInOut* outputs = ff::avfilter_inout_alloc();
        AVFilterInOut* inputs = ff::avfilter_inout_alloc();
        if (outputs == nullptr || inputs == nullptr) {
            ff::avfilter_inout_free(&outputs);
            ff::avfilter_inout_free(&inputs);
            lastError_ = "Cannot allocate the filter graph";
            return false;
        }
        // The open input of the description ("in") is what the chain so far
        // gives; its open output ("out") feeds the sink.
        outputs->name = ff::av_strdup("in");
        outputs->filter_ctx = last;
        outputs->pad_idx = 0;
        inputs->name = ff::av_strdup("out");
        inputs->filter_ctx = sink_;
        inputs->pad_idx = 0;
        ret = ff::avfilter_graph_parse_ptr(graph, s.Filters.c_str(), &inputs, &outputs, nullptr);
        ff::avfilter_inout_free(&outputs);
        ff::avfilter_inout_free(&inputs);
        if (ret < 0) {
            lastError_ = "Cannot parse video filters \"" + s.Filters + "\": " + ErrorText(ret);
            return false;
        }
        if (!description_.empty()) description_ += ",";
        description_ += s.Filters;
    } else {
        ret = ff::avfilter_link(last, 0, sink_, 0);
        if (ret < 0) {
            lastError_ = "Cannot link the video filters: " + ErrorText(ret);
            return false;
        }
    }

    ret = ff::avfilter_graph_config(graph, nullptr);
    if (ret < 0) {
        lastError_ = "Cannot configure video filters \"" + description_ + "\": " + ErrorText(ret);
        return false;
    }
    return true;
}

bool VideoFilterGraph::Push(const AVFrame* frame) {
    if (!Configured()) {
        lastError_ = "Video filters are not configured";
        return false;
    }
    if (frame == nullptr) return PushEnd();
    if (ended_) {
        lastError_ = "Video pushed after the end of the stream";
        return false;
    }
    if (frame->width != input_.Width || frame->height != input_.Height ||
        frame->format != input_.PixelFormat) {
        const auto format = static_cast<AVPixelFormat>(frame->format);
        if (settings_.InputFileIndex >= 0 && settings_.InputStreamIndex >= 0) {
            const char* name = ff::av_get_pix_fmt_name(format);
            Logger().LogFmt(this, llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s",
                            settings_.InputFileIndex, settings_.InputStreamIndex, frame->width,
                            frame->height, name != nullptr ? name : "none");
        }
        // What the old graph still holds comes out before the new pictures.
        int ret = ff::av_buffersrc_add_frame_flags(source_, nullptr, 0);
        while (ret >= 0) {
            FramePtr f(ff::av_frame_alloc());
            if (!f) break;
            ret = ff::av_buffersink_get_frame(sink_, f.get());
            if (ret >= 0) pending_.push_back(std::move(f));
        }
        input_.Width = frame->width;
        input_.Height = frame->height;
        input_.PixelFormat = format;
        if (frame->sample_aspect_ratio.num > 0)
            input_.SampleAspectRatio = frame->sample_aspect_ratio;
        // The bands keep their share of the picture, on even lines and columns.
        auto scaled = [](int size, int band, int initialSize) {
            return initialSize > 0
                       ? static_cast<int>(static_cast<std::int64_t>(size) * band / initialSize) & ~1
                       : 0;
        };
        settings_.CropTop = scaled(frame->height, initialCrop_[0], initialHeight_);
        settings_.CropBottom = scaled(frame->height, initialCrop_[1], initialHeight_);
        settings_.CropLeft = scaled(frame->width, initialCrop_[2], initialWidth_);
        settings_.CropRight = scaled(frame->width, initialCrop_[3], initialWidth_);
        ++rebuilds_;
        if (!Build()) return false;
    }
    const int ret = ff::av_buffersrc_add_frame_flags(source_, const_cast<AVFrame*>(frame),
                                                     AV_BUFFERSRC_FLAG_KEEP_REF);
    if (ret < 0) {
        lastError_ = "Error while feeding the video filters: " + ErrorText(ret);
        return false;
    }
    return true;
}

bool VideoFilterGraph::PushEnd() {
    if (!Configured()) {
        lastError_ = "Video filters are not configured";
        return false;
    }
    if (ended_) return true;
    ended_ = true;
    const int ret = ff::av_buffersrc_add_frame_flags(source_, nullptr, 0);
    if (ret < 0) {
        lastError_ = "Error while closing the video filters: " + ErrorText(ret);
        return false;
    }
    return true;
}

FilterPull VideoFilterGraph::Pull(AVFrame* frame) {
    if (!pending_.empty()) {
        ff::av_frame_move_ref(frame, pending_.front().get());
        pending_.pop_front();
        return FilterPull::Frame;
    }
    if (!Configured()) {
        lastError_ = "Video filters are not configured";
        return FilterPull::Error;
    }
    const int ret = ff::av_buffersink_get_frame(sink_, frame);
    if (ret >= 0) return FilterPull::Frame;
    if (ret == AVERROR(EAGAIN)) return FilterPull::NeedInput;
    if (ret == AVERROR_EOF) return FilterPull::End;
    lastError_ = "Error while filtering video: " + ErrorText(ret);
    return FilterPull::Error;
}

int VideoFilterGraph::OutputWidth() const {
    return sink_ ? ff::av_buffersink_get_w(sink_) : 0;
}
int VideoFilterGraph::OutputHeight() const {
    return sink_ ? ff::av_buffersink_get_h(sink_) : 0;
}
AVPixelFormat VideoFilterGraph::OutputPixelFormat() const {
    return sink_ ? static_cast<AVPixelFormat>(ff::av_buffersink_get_format(sink_))
                 : AV_PIX_FMT_NONE;
}
AVRational VideoFilterGraph::OutputTimeBase() const {
    return sink_ ? ff::av_buffersink_get_time_base(sink_) : AVRational{0, 1};
}
AVRational VideoFilterGraph::OutputSampleAspectRatio() const {
    return sink_ ? ff::av_buffersink_get_sample_aspect_ratio(sink_) : AVRational{0, 1};
}
AVRational VideoFilterGraph::OutputFrameRate() const {
    return sink_ ? ff::av_buffersink_get_frame_rate(sink_) : AVRational{0, 1};
}

}  // namespace zorvex
