// The shape of a picture on its way from the decoder to the encoder. A picture
// is never stretched or squeezed: it is cropped, turned upright for display,
// scaled to keep its display shape, and placed in the middle of the output
// frame with black bars where the frame has another display shape.
#pragma once

#include "media/engine/encoder_rules.h"
#include "media/ffptr.h"

namespace zorvex {

// A decoded picture as it is to be shown.
struct SourcePicture {
    int Width = 0;  // decoded
    int Height = 0;
    AVRational SampleAspect{0, 1};  // of the decoded picture; 0 = square
    int Rotation = 0;               // clockwise turn for display: 0, 90, 180 or 270
    int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;  // of the decoded picture

    // The cropped picture, turned.
    int ShownWidth() const;
    int ShownHeight() const;
    // Of the cropped, turned picture: its sample aspect (never 0) and display shape.
    AVRational ShownSampleAspect() const;
    double DisplayAspect() const;
};

// The clockwise turn (0, 90, 180, 270) that a stream's display matrix asks for,
// 0 when it has none.
int RotationOf(const AVStream* stream);

// What the output asks for.
struct FrameRequest {
    int Width = 0;  // 0: the source's cropped, turned size
    int Height = 0;
    double DisplayAspect = 0;  // 0: the source's shape when the size is kept, else square pixels
    FrameSizeRule Rule;        // what the encoder takes
    AspectSupport Aspects = AspectSupport::Any;  // what the output keeps
};

struct OutputFrame {
    int Width = 0;
    int Height = 0;
    AVRational SampleAspect{1, 1};
};

// The encoder's frame: the asked size (or the source's) made one the encoder
// takes, with the sample aspect that gives it the asked display shape. Where
// the output cannot keep that sample aspect, the frame has square pixels (a
// kept size then becomes the source's shape in square pixels) and the asked
// display shape gives way to the frame's.
OutputFrame ChooseOutputFrame(const SourcePicture& source, const FrameRequest& request);

// Where the picture goes in the frame: its scaled size and its offset.
struct PicturePlacement {
    int Width = 0;
    int Height = 0;
    int X = 0;
    int Y = 0;
};

// The picture scaled to the largest size inside the frame that keeps its display
// shape (sizes and offsets multiples of align); it fills the frame when the two
// shapes differ by less than half a percent.
PicturePlacement PlacePicture(const SourcePicture& source, const OutputFrame& frame, int alignWidth,
                              int alignHeight);

}  // namespace zorvex
