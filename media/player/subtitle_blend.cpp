#include "media/player/subtitle_blend.h"

#include <algorithm>

#include "media/ffapi.h"

namespace zorvex {
namespace {

int Blend(int oldValue, int newValue, int alpha, int shift) {
    return ((oldValue << shift) * (255 - alpha) + newValue * alpha) / (255 << shift);
}

int AlphaOf(std::uint32_t ayuv) {
    return static_cast<int>(ayuv >> 24);
}
int YOf(std::uint32_t ayuv) {
    return static_cast<int>((ayuv >> 16) & 0xFF);
}
int UOf(std::uint32_t ayuv) {
    return static_cast<int>((ayuv >> 8) & 0xFF);
}
int VOf(std::uint32_t ayuv) {
    return static_cast<int>(ayuv & 0xFF);
}

}  // namespace

std::uint32_t PaletteColourToAyuv(std::uint32_t argb) {
    const int a = static_cast<int>(argb >> 24);
    const int r = static_cast<int>((argb >> 16) & 0xFF);
    const int g = static_cast<int>((argb >> 8) & 0xFF);
    const int b = static_cast<int>(argb & 0xFF);
    const int y = (263 * r + 517 * g + 101 * b + 16896) >> 10;
    const int u = ((-152 * r - 298 * g + 450 * b + 511) >> 10) + 128;
    const int v = ((450 * r - 377 * g - 74 * b + 511) >> 10) + 128;
    return (static_cast<std::uint32_t>(a) << 24) | (static_cast<std::uint32_t>(y & 0xFF) << 16) |
           (static_cast<std::uint32_t>(u & 0xFF) << 8) | static_cast<std::uint32_t>(v & 0xFF);
}

void ConvertRectPalette(AVSubtitleRect& rect) {
    if (rect.data[1] == nullptr) return;
    auto* palette = reinterpret_cast<std::uint32_t*>(rect.data[1]);
    for (int i = 0; i < rect.nb_colors; ++i) palette[i] = PaletteColourToAyuv(palette[i]);
}

void BlendSubtitleRect(TYuvPicture& picture, const AVSubtitleRect& rect) {
    if (rect.data[0] == nullptr || rect.data[1] == nullptr) return;
    const int width = std::min(rect.w, picture.Width);
    const int height = std::min(rect.h, picture.Height);
    if (width <= 0 || height <= 0) return;
    const int x0 = std::clamp(rect.x, 0, picture.Width - width);
    const int y0 = std::clamp(rect.y, 0, picture.Height - height);
    const auto* palette = reinterpret_cast<const std::uint32_t*>(rect.data[1]);
    auto colourAt = [&](int x, int y) {  // x, y inside the rectangle
        return palette[rect.data[0][static_cast<ptrdiff_t>(y) * rect.linesize[0] + x]];
    };

    for (int y = 0; y < height; ++y) {
        std::uint8_t* luma =
            picture.Data[0] + static_cast<ptrdiff_t>(y0 + y) * picture.Linesize[0] + x0;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colourAt(x, y);
            luma[x] = static_cast<std::uint8_t>(Blend(luma[x], YOf(c), AlphaOf(c), 0));
        }
    }

    // Each chroma sample covers a 2 x 2 block of pixels; at odd edges only the
    // pixels inside the rectangle count.
    const int cx0 = x0 >> 1, cy0 = y0 >> 1;
    const int cx1 = (x0 + width + 1) >> 1, cy1 = (y0 + height + 1) >> 1;
    for (int cy = cy0; cy < cy1; ++cy) {
        std::uint8_t* u = picture.Data[1] + static_cast<ptrdiff_t>(cy) * picture.Linesize[1];
        std::uint8_t* v = picture.Data[2] + static_cast<ptrdiff_t>(cy) * picture.Linesize[2];
        for (int cx = cx0; cx < cx1; ++cx) {
            int alpha = 0, uSum = 0, vSum = 0, inside = 0;
            for (int py = cy * 2; py < cy * 2 + 2; ++py) {
                for (int px = cx * 2; px < cx * 2 + 2; ++px) {
                    if (px < x0 || px >= x0 + width || py < y0 || py >= y0 + height) continue;
                    const std::uint32_t c = colourAt(px - x0, py - y0);
                    alpha += AlphaOf(c);
                    uSum += UOf(c);
                    vSum += VOf(c);
                    ++inside;
                }
            }
            if (inside == 0) continue;
            const int shift = inside == 4 ? 2 : inside == 2 ? 1 : 0;
            alpha >>= 2;
            u[cx] = static_cast<std::uint8_t>(Blend(u[cx], uSum, alpha, shift));
            v[cx] = static_cast<std::uint8_t>(Blend(v[cx], vSum, alpha, shift));
        }
    }
}

}  // namespace zorvex
