// Platform-internal: the pixel buffers of images, each either the image's own or lent by the
// pixel reserve of the image's owner.
#pragma once

#include "QuickDraw.h"

#include <cstddef>

namespace qd {

// Alignment of every pixel buffer, enough for any vector load on a row start.
constexpr size_t kPixelAlignment = 32;

// A buffer of byteCount bytes aligned to kPixelAlignment, its bytes unspecified, or null when
// memory is short. Freed with FreePixels.
void* NewPixels(size_t byteCount);
void FreePixels(void* pixels);

// A buffer of exactly byteCount bytes that the reserve keeps, or a new one; its bytes are
// whatever an earlier image left. Null when memory is short.
void* TakeReservedPixels(PixelReserveRef reserve, size_t byteCount);
// Keeps the buffer in the reserve for its next image, letting the oldest kept one go when the
// reserve is full.
void KeepReservedPixels(PixelReserveRef reserve, void* pixels, size_t byteCount);

} // namespace qd
