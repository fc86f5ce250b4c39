// A borrowed window onto 32-bit pixels in memory order alpha, red, green, blue (the platform's
// kAlphaByte to kBlueByte).
#pragma once

#include "QuickDraw.h"

#include <cstddef>
#include <cstdint>

namespace reelhost {

// Image sides are 16-bit in the platform's rectangles.
constexpr int kLargestImageSide = 32767;

// Does not own its pixels. `bounds` are the image's own coordinates: pixel (x, y) lives at
// base + (y - bounds.top) * rowBytes + (x - bounds.left) * 4.
struct PixelView {
    uint8_t* base = nullptr;
    long rowBytes = 0;
    Rect bounds{};

    int Width() const { return bounds.right - bounds.left; }
    int Height() const { return bounds.bottom - bounds.top; }
    bool Empty() const { return base == nullptr || Width() <= 0 || Height() <= 0; }
    uint8_t* Pixel(int x, int y) const {
        return base + std::ptrdiff_t(y - bounds.top) * rowBytes +
               std::ptrdiff_t(x - bounds.left) * kBytesPerPixel;
    }
};

inline Rect MakeRect(int width, int height) {
    return Rect{0, 0, int16_t(height), int16_t(width)};
}

} // namespace reelhost
