#include "media/engine/picture_geometry.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace zorvex {
namespace {

// Shapes closer than this are taken as equal: bars of a pixel or two would only
// show as a line at the edge.
constexpr double kSameShape = 0.005;

bool Turned(int rotation) {
    return rotation == 90 || rotation == 270;
}

int AlignDown(int value, int align) {
    return align > 1 ? value / align * align : value;
}

int AlignNearest(double value, int align) {
    const int a = std::max(align, 1);
    return std::max(a, static_cast<int>(std::lround(value / a)) * a);
}

AVRational Reduced(std::int64_t num, std::int64_t den) {
    AVRational r{1, 1};
    if (num > 0 && den > 0) ff::av_reduce(&r.num, &r.den, num, den, 255);
    // A ratio within a thousandth of square is square.
    if (std::abs(av_q2d(r) - 1.0) < 0.001) r = {1, 1};
    return r;
}

}  // namespace

int SourcePicture::ShownWidth() const {
    const int w = Width - CropLeft - CropRight, h = Height - CropTop - CropBottom;
    return Turned(Rotation) ? h : w;
}

int SourcePicture::ShownHeight() const {
    const int w = Width - CropLeft - CropRight, h = Height - CropTop - CropBottom;
    return Turned(Rotation) ? w : h;
}

AVRational SourcePicture::ShownSampleAspect() const {
    AVRational sar = SampleAspect;
    if (sar.num <= 0 || sar.den <= 0) sar = {1, 1};
    return Turned(Rotation) ? AVRational{sar.den, sar.num} : sar;
}

double SourcePicture::DisplayAspect() const {
    const int h = ShownHeight();
    return h > 0 ? ShownWidth() * av_q2d(ShownSampleAspect()) / h : 0.0;
}

int RotationOf(const AVStream* stream) {
    if (stream == nullptr) return 0;
    size_t size = 0;
    const std::uint8_t* matrix =
        ff::av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr || size < 9 * sizeof(std::int32_t)) return 0;
    const double counterclockwise =
        ff::av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (std::isnan(counterclockwise)) return 0;
    // To the nearest quarter turn, clockwise.
    const long quarters = std::lround(-counterclockwise / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

OutputFrame ChooseOutputFrame(const SourcePicture& source, const FrameRequest& request) {
    const bool keepSize = request.Width <= 0 || request.Height <= 0;
    int width = keepSize ? source.ShownWidth() : request.Width;
    int height = keepSize ? source.ShownHeight() : request.Height;
    std::tie(width, height) = NearestFrameSize(request.Rule, width, height);

    OutputFrame frame;
    frame.Width = width;
    frame.Height = height;
    if (request.DisplayAspect > 0) {
        frame.SampleAspect = ff::av_d2q(request.DisplayAspect * height / width, 255);
        if (std::abs(av_q2d(frame.SampleAspect) - 1.0) < 0.001) frame.SampleAspect = {1, 1};
    } else if (keepSize) {
        // The source's shape on the (possibly rounded) frame.
        const AVRational sar = source.ShownSampleAspect();
        frame.SampleAspect =
            Reduced(static_cast<std::int64_t>(source.ShownWidth()) * sar.num * height,
                    static_cast<std::int64_t>(source.ShownHeight()) * sar.den * width);
    } else {
        frame.SampleAspect = {1, 1};
    }
    if (!KeepsSampleAspect(request.Aspects, frame.SampleAspect, width, height)) {
        frame.SampleAspect = {1, 1};
        if (keepSize) {
            // The source's height, its display shape in square pixels.
            const int shownHeight = source.ShownHeight();
            std::tie(frame.Width, frame.Height) = NearestFrameSize(
                request.Rule, static_cast<int>(std::lround(shownHeight * source.DisplayAspect())),
                shownHeight);
        }
    }
    return frame;
}

PicturePlacement PlacePicture(const SourcePicture& source, const OutputFrame& frame, int alignWidth,
                              int alignHeight) {
    PicturePlacement p;
    p.Width = frame.Width;
    p.Height = frame.Height;
    const double frameShape =
        frame.Height > 0 ? frame.Width * av_q2d(frame.SampleAspect) / frame.Height : 0.0;
    const double pictureShape = source.DisplayAspect();
    if (frameShape <= 0 || pictureShape <= 0) return p;
    const double ratio = pictureShape / frameShape;
    if (std::abs(ratio - 1.0) < kSameShape) return p;
    if (ratio > 1.0) {  // wider than the frame: bars above and below
        p.Height = std::min(frame.Height, AlignNearest(frame.Height / ratio, alignHeight));
    } else {  // narrower: bars left and right
        p.Width = std::min(frame.Width, AlignNearest(frame.Width * ratio, alignWidth));
    }
    p.X = AlignDown((frame.Width - p.Width) / 2, alignWidth);
    p.Y = AlignDown((frame.Height - p.Height) / 2, alignHeight);
    return p;
}

}  // namespace zorvex
