// The video filter graph of one encoded video output stream: the decoded
// picture goes through deinterlacing (when asked), the crop bands, scaling to
// the encoder's size and pixel format, and the user's "vf" chain, and comes out
// ready for the encoder.
//
// With FitPicture the picture is also turned upright and scaled to keep its
// display shape inside the encoder's frame, with black bars where the two
// shapes differ, and the frame gets the output's sample aspect.
//
//   buffer -> [yadif|bwdif] -> [crop] -> [transpose|hflip,vflip] -> [scale] -> [format]
//          -> [pad] -> [setsar] -> [vf chain] -> buffersink
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "media/ffptr.h"

namespace zorvex {

// The decoded pictures the graph is built for.
struct VideoFilterInput {
    int Width = 0;
    int Height = 0;
    AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;
    AVRational SampleAspectRatio{0, 1};
    AVRational TimeBase{1, 1000000};  // of the pts of pushed frames
    AVRational FrameRate{0, 1};       // optional
};

enum class DeinterlaceMethod { None, Yadif, Bwdif };

struct VideoFilterSettings {
    int OutputWidth = 0;  // encoder size; 0 keeps the cropped input size
    int OutputHeight = 0;
    AVPixelFormat OutputPixelFormat = AV_PIX_FMT_NONE;  // encoder format; NONE keeps the input's
    int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
    DeinterlaceMethod Deinterlace = DeinterlaceMethod::None;
    int Rotation = 0;  // clockwise turn for display: 0, 90, 180, 270 (with FitPicture)
    // Keep the picture's display shape inside the OutputWidth x OutputHeight
    // frame of OutputSampleAspect (both must be set) instead of filling it.
    bool FitPicture = false;
    AVRational OutputSampleAspect{1, 1};
    std::string Filters;  // "vf", e.g. "hflip,negate"
    int SwsFlags = 4;     // "sws_flags" of the scaler options (4 = bicubic)
    int Threads = 0;      // filter threads; 0 = FFmpeg's choice
    // Names the input stream in the size-change log line ("Input Stream #%d.%d
    // frame size changed to %dx%d, %s"); negative: no line.
    int InputFileIndex = -1, InputStreamIndex = -1;
};

enum class FilterPull { Frame, NeedInput, End, Error };

// Used by the task's thread only.
class VideoFilterGraph {
public:
    VideoFilterGraph() = default;
    VideoFilterGraph(const VideoFilterGraph&) = delete;
    VideoFilterGraph& operator=(const VideoFilterGraph&) = delete;

    // Builds the graph. False with LastError naming the cause, e.g.
    // "Cannot parse video filters \"hflip,foo\": No such filter: 'foo'".
    bool Configure(const VideoFilterInput& input, const VideoFilterSettings& settings);
    bool Configured() const { return sink_ != nullptr; }
    void Reset();

    // Hands a decoded picture to the graph (the graph takes its own reference;
    // pts in the input time base). When its size or pixel format differs from
    // the one the graph was built for, the pictures still inside the old graph
    // are kept for Pull and the graph is rebuilt for the new pictures, with the
    // crop bands kept in proportion. False with LastError.
    bool Push(const AVFrame* frame);
    // End of input: pictures held back (deinterlacing) come out.
    bool PushEnd();
    // The next filtered picture into frame (which must be empty).
    FilterPull Pull(AVFrame* frame);

    // What arrives at the sink; the encoder takes this size.
    int OutputWidth() const;
    int OutputHeight() const;
    AVPixelFormat OutputPixelFormat() const;
    AVRational OutputTimeBase() const;
    AVRational OutputSampleAspectRatio() const;
    AVRational OutputFrameRate() const;

    // The chain as built, e.g. "crop=w=300:h=200:x=10:y=20,scale=w=160:h=120:flags=4,
    // format=pix_fmts=yuv420p,hflip" (for logs).
    const std::string& Description() const { return description_; }
    const std::string& LastError() const { return lastError_; }
    // How many times the graph was rebuilt for changed pictures.
    int Rebuilds() const { return rebuilds_; }

private:
    bool Build();
    bool BuildGraph();

    VideoFilterInput input_;
    VideoFilterSettings settings_;
    int initialWidth_ = 0, initialHeight_ = 0;
    int initialCrop_[4] = {};  // top, bottom, left, right as configured
    FilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    std::deque<FramePtr> pending_;  // from a graph replaced by a rebuild
    bool ended_ = false;
    int rebuilds_ = 0;
    std::string description_;
    std::string lastError_;
};

// The filter names of a filter graph description, in order (labels, options
// and quoting skipped), e.g. "[in]hflip,scale=w=2\,3[out]" -> hflip, scale.
std::vector<std::string> FilterNamesOf(const std::string& description);

}  // namespace zorvex
