// Frames for the benchmarks: random pixels, made once per size and kept for the whole run.
#pragma once

#include "QuickDraw.h"

#include <cstddef>
#include <string>

struct FrameSize {
    int16_t width;
    int16_t height;
    std::string Label() const; // "1920x1080"
};

// The frame sizes every per-size figure is measured at.
inline constexpr FrameSize kFrameSizes[] = {{720, 480}, {1920, 1080}, {3840, 2160}};

// The two kept frames of a size that the figures read from and write to, and that the memcpy
// yardstick copies between.
inline constexpr int kSourceFrame = 0;
inline constexpr int kDestFrame = 1;

// Image number `slot` of this size, filled with random pixels when first asked for; the same
// image for every later call with the same size and slot. Lives until the process ends.
GWorldPtr KeptFrame(FrameSize size, int slot);

// Bytes of an image's pixel storage: row bytes times rows.
size_t PixelBytes(GWorldPtr image);

// Registers "memcpy/<size>" (once): one memcpy of a frame's pixel bytes from kSourceFrame to
// kDestFrame, the yardstick of every figure about frames of that size. Answers its name.
std::string AddFrameBaseline(FrameSize size);
