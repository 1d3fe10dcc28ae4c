// What an encoder accepts of frame size, frame rate, pixel format and channel
// count, and the nearest acceptable value to what a conversion asks for: an
// output should come out as close to the request as the encoder allows rather
// than fail at the encoder's open with a size, rate or layout it refuses.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "media/engine/audio_converter.h"
#include "media/ffptr.h"

namespace zorvex {

// Frame sizes an encoder takes: multiples of these, or one of the fixed sizes.
struct FrameSizeRule {
    int WidthMultiple = 1;
    int HeightMultiple = 1;
    std::vector<std::pair<int, int>> FixedSizes;  // empty: any size
    int MaxMacroblocks = 0;                       // of 16x16 pixels; 0: no limit
};

// RealVideo 1 needs multiples of 16 and RealVideo 2 of 4, both fewer than 4096
// macroblocks; H.263 one of its five picture sizes; every encoder needs whole
// chroma samples (even sizes for 4:2:0).
FrameSizeRule FrameSizeRuleOf(AVCodecID codec, AVPixelFormat format);

// The size the rule admits nearest to width x height: each side rounded to its
// nearest multiple (never below one multiple), scaled down in proportion when
// it has too many macroblocks, or the fixed size nearest in area and shape.
std::pair<int, int> NearestFrameSize(const FrameSizeRule& rule, int width, int height);

// Which sample aspects an output keeps: none but square (RealVideo, Flash
// video and their containers), MPEG-1's table of pixel shapes, MPEG-2's
// display shapes (4:3, 16:9, 2.21:1), or any.
enum class AspectSupport { SquareOnly, Mpeg1Table, Mpeg2Display, Any };
AspectSupport AspectSupportOf(AVCodecID codec, const char* muxerName);
// Whether a frame of that size shows with that sample aspect, within half a
// percent, once written.
bool KeepsSampleAspect(AspectSupport support, AVRational sar, int width, int height);

// The frame rate the encoder takes nearest to rate. MPEG-1 and MPEG-2 video get
// only their eight standard rates (23.976 to 60) unless the strictness admits
// unofficial ones; other encoders that list their rates get the nearest listed;
// encoders whose time base is limited to 16 bits (MPEG-4 part 2 and its
// relatives) get the rate approximated within that limit.
AVRational NearestFrameRate(const AVCodec* encoder, AVRational rate, int strictness);

// The pixel format of an encoded output when none was asked for: 8-bit 4:2:0
// (yuv420p, or the full-range yuvj420p of the JPEG encoders) when the encoder
// takes it, so that 10-bit and 4:4:4 sources do not make profiles players and
// devices refuse; otherwise the encoder's format that loses least of source.
AVPixelFormat DefaultPixelFormat(const AVCodec* encoder, AVPixelFormat source, int strictness);

// The one sample rate of encoders that take only one and do not list it (AMR);
// 0 for the others.
int FixedSampleRateOf(AVCodecID codec);

// The channel layout the encoder takes nearest to wanted: wanted itself when
// the encoder takes it, else a layout of the same count it takes, else one of
// the nearest count it takes (fewer channels on a tie). The layout chosen for a
// count is that count's default layout when the encoder takes it.
ChannelLayout NearestChannelLayout(const AVCodec* encoder, const ChannelLayout& wanted);

}  // namespace zorvex
