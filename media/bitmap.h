#pragma once

#include <cstdint>
#include <vector>

namespace zorvex {

// A 24-bit picture in blue, green, red byte order: the picture hand-over type
// between the engine, the player and the application. Rows are padded to a
// multiple of four bytes, as device-independent bitmaps are.
struct TBitmap {
    int Width = 0;
    int Height = 0;
    int Stride = 0;  // bytes per row
    std::vector<std::uint8_t> Bits;

    TBitmap() = default;
    TBitmap(int width, int height) { SetSize(width, height); }

    void SetSize(int width, int height) {
        Width = width > 0 ? width : 0;
        Height = height > 0 ? height : 0;
        Stride = (Width * 3 + 3) & ~3;
        Bits.assign(static_cast<size_t>(Stride) * Height, 0);
    }
    bool Empty() const { return Width == 0 || Height == 0; }
    std::uint8_t* ScanLine(int y) { return Bits.data() + static_cast<size_t>(Stride) * y; }
    const std::uint8_t* ScanLine(int y) const {
        return Bits.data() + static_cast<size_t>(Stride) * y;
    }
};

}  // namespace zorvex
