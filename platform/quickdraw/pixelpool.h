// Platform-internal: pixel buffers for images, recycled by size because hosts remake frames.
#pragma once

#include <cstddef>

namespace qd {

// Alignment of every pixel buffer, enough for any vector load on a row start.
constexpr size_t kPixelAlignment = 32;

// A buffer of byteCount bytes aligned to kPixelAlignment, or null when memory is short. Its
// bytes are whatever they were: images are drawn or copied into whole before they are read,
// and a pass that clears them first would be a wasted pass over every frame. The caller owns
// it until it hands it back with ReleasePixels and the same count.
void* AcquirePixels(size_t byteCount);
void ReleasePixels(void* pixels, size_t byteCount);

} // namespace qd
