// Bitmap subtitles: palette conversion and blending into a YUV 4:2:0 picture.
#pragma once

#include <cstdint>

struct AVSubtitleRect;

namespace zorvex {

// 0xAARRGGBB -> (alpha, Y, U, V) in bytes 3, 2, 1, 0: ITU-R BT.601 limited
// range in 10-bit fixed point.
std::uint32_t PaletteColourToAyuv(std::uint32_t argb);
// Converts every palette entry of a palettised rectangle in place.
void ConvertRectPalette(AVSubtitleRect& rect);

// A YUV 4:2:0 picture to blend into.
struct TYuvPicture {
    std::uint8_t* Data[3];  // Y, U, V planes
    int Linesize[3];
    int Width;
    int Height;
};

// Blends one palettised rectangle whose palette holds (alpha, Y, U, V) words;
// the rectangle is first limited to the picture.
void BlendSubtitleRect(TYuvPicture& picture, const AVSubtitleRect& rect);

}  // namespace zorvex
