// Helpers shared by the QuickDraw tests: owned images, pixel access, awkward rectangles.
#pragma once

#include "QuickDraw.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace qdtest {

inline Rect MakeRect(int left, int top, int right, int bottom) {
    return {int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)};
}

// An image owned by the test; it fails the test if it cannot be made.
class ScopedGWorld {
  public:
    explicit ScopedGWorld(Rect bounds) : bounds_(bounds) {
        EXPECT_EQ(NewGWorld(&world_, 32, &bounds, nullptr, nullptr, 0), noErr);
    }
    ScopedGWorld(int width, int height) : ScopedGWorld(MakeRect(0, 0, width, height)) {}
    ~ScopedGWorld() { DisposeGWorld(world_); }
    ScopedGWorld(const ScopedGWorld&) = delete;
    ScopedGWorld& operator=(const ScopedGWorld&) = delete;

    GWorldPtr get() const { return world_; }
    const BitMap* bits() const { return GetPortBitMapForCopyBits(world_); }
    const Rect& bounds() const { return bounds_; }
    long rowBytes() const { return GetPixRowBytes(GetGWorldPixMap(world_)); }
    uint8_t* base() const {
        return reinterpret_cast<uint8_t*>(GetPixBaseAddr(GetGWorldPixMap(world_)));
    }
    size_t byteCount() const { return size_t(rowBytes()) * size_t(bounds_.bottom - bounds_.top); }
    bool contains(int x, int y) const {
        return x >= bounds_.left && x < bounds_.right && y >= bounds_.top && y < bounds_.bottom;
    }
    // Pixel (x, y) in the image's own bounds coordinates.
    uint8_t* pixel(int x, int y) const {
        return base() + long(y - bounds_.top) * rowBytes() + long(x - bounds_.left) * 4;
    }

    // Every byte, row padding included, from a seeded linear congruential sequence.
    void fillPattern(uint32_t seed) const {
        for (size_t i = 0; i < byteCount(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            base()[i] = uint8_t(seed >> 24);
        }
    }
    std::vector<uint8_t> snapshot() const { return {base(), base() + byteCount()}; }

  private:
    Rect bounds_;
    GWorldPtr world_ = nullptr;
};

// Makes a port current for the test's duration and puts the previous one back.
class ScopedCurrentPort {
  public:
    explicit ScopedCurrentPort(CGrafPtr port) {
        GetGWorld(&saved_, &savedDevice_);
        SetGWorld(port, nullptr);
    }
    ~ScopedCurrentPort() { SetGWorld(saved_, savedDevice_); }
    ScopedCurrentPort(const ScopedCurrentPort&) = delete;
    ScopedCurrentPort& operator=(const ScopedCurrentPort&) = delete;

  private:
    CGrafPtr saved_ = nullptr;
    GDHandle savedDevice_ = nullptr;
};

struct NamedRect {
    std::string name;
    Rect rect;
};

// Names the row in failure messages instead of dumping its bytes.
inline void PrintTo(const NamedRect& named, std::ostream* os) {
    *os << named.name;
}

// Rectangles that callers get wrong, placed around an image with bounds `b`.
inline std::vector<NamedRect> AwkwardRects(const Rect& b) {
    const int midH = (b.left + b.right) / 2, midV = (b.top + b.bottom) / 2;
    return {
        {"Whole", b},
        {"Empty", MakeRect(b.left + 2, b.top + 2, b.left + 2, b.top + 5)},
        {"OnePixel", MakeRect(b.left + 1, b.top + 1, b.left + 2, b.top + 2)},
        {"Swapped", MakeRect(b.right - 1, b.bottom - 1, b.left + 1, b.top + 1)},
        {"PartlyLeftAbove", MakeRect(b.left - 5, b.top - 7, midH, midV)},
        {"PartlyRightBelow", MakeRect(midH, midV, b.right + 9, b.bottom + 3)},
        {"OneColumnThrough", MakeRect(b.left + 3, b.top - 2, b.left + 4, b.bottom + 2)},
        {"FarOutside", MakeRect(b.right + 100, b.bottom + 100, b.right + 200, b.bottom + 150)},
        {"Huge", MakeRect(-32768, -32768, 32767, 32767)},
    };
}

} // namespace qdtest
