// Comparing a rendered frame with the lent one: a quick test per row, a mask where it differs.
#include "changed_pixels.h"
#include "vector_clones.h"

#include <string.h> // memrchr

#include <cstring>

namespace reelhost {
namespace {

uint32_t PixelAt(const uint8_t* row, int x) {
    uint32_t pixel;
    std::memcpy(&pixel, row + size_t(x) * kBytesPerPixel, sizeof pixel);
    return pixel;
}

VECTOR_CLONES void MaskRow(const uint8_t* __restrict rendered, const uint8_t* __restrict lent,
                           int width, uint8_t* __restrict mask) {
    for (int x = 0; x < width; ++x)
        mask[x] = PixelAt(rendered, x) != PixelAt(lent, x);
}

// The span of a marked row: from its first marked pixel to just after its last.
RowChange SpanOf(const uint8_t* mask, int width) {
    const auto* first = static_cast<const uint8_t*>(std::memchr(mask, 1, size_t(width)));
    const auto* last = static_cast<const uint8_t*>(memrchr(mask, 1, size_t(width)));
    return {int(first - mask), int(last - mask) + 1};
}

} // namespace

void ChangedPixels::Clear(int width, int height) {
    width_ = width;
    height_ = height;
    rows_.assign(size_t(height_), RowChange{});
    const size_t size = size_t(width_) * size_t(height_);
    if (size > maskSize_) {
        mask_.reset(new uint8_t[size]);
        maskSize_ = size;
    }
    firstRow_ = endRow_ = 0;
}

void ChangedPixels::Find(const PixelView& rendered, const PixelView& lent) {
    Clear(rendered.Width(), rendered.Height());
    for (int y = 0; y < height_; ++y) {
        const uint8_t* in = rendered.Pixel(rendered.bounds.left, rendered.bounds.top + y);
        const uint8_t* was = lent.Pixel(lent.bounds.left, lent.bounds.top + y);
        if (std::memcmp(in, was, size_t(width_) * kBytesPerPixel) == 0) continue;
        uint8_t* mask = mask_.get() + size_t(y) * size_t(width_);
        MaskRow(in, was, width_, mask);
        rows_[size_t(y)] = SpanOf(mask, width_);
        if (None()) firstRow_ = y;
        endRow_ = y + 1;
    }
}

} // namespace reelhost
