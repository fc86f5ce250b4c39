// Platform-internal: pixel buffers for images, recycled by size because hosts remake frames.
#pragma once

#include <cstddef>

namespace qd {

// Alignment of every pixel buffer, enough for any vector load on a row start.
constexpr size_t kPixelAlignment = 32;

// A zero-filled buffer of byteCount bytes aligned to kPixelAlignment, or null when memory is
// short. The caller owns it until it hands it back with ReleasePixels and the same count.
void* AcquirePixels(size_t byteCount);
void ReleasePixels(void* pixels, size_t byteCount);

} // namespace qd
