// Comparing a rendered frame with the lent one: a quick test per row, a mask where it differs.
#include "changed_pixels.h"
#include "vector_clones.h"

#include <cstring>

namespace reelhost {
namespace {

uint32_t PixelAt(const uint8_t* row, int x) {
    uint32_t pixel;
    std::memcpy(&pixel, row + size_t(x) * kBytesPerPixel, sizeof pixel);
    return pixel;
}

VECTOR_CLONES void MaskRow(const uint8_t* __restrict rendered, const uint8_t* __restrict lent,
                           int first, int end, uint8_t* __restrict mask) {
    for (int x = first; x < end; ++x)
        mask[x] = PixelAt(rendered, x) != PixelAt(lent, x);
}

// The span of a row that differs: from its first differing pixel to just after its last.
RowChange SpanOf(const uint8_t* rendered, const uint8_t* lent, int width) {
    if (std::memcmp(rendered, lent, size_t(width) * kBytesPerPixel) == 0) return {};
    RowChange span{0, width};
    while (PixelAt(rendered, span.first) == PixelAt(lent, span.first))
        ++span.first;
    while (PixelAt(rendered, span.end - 1) == PixelAt(lent, span.end - 1))
        --span.end;
    return span;
}

} // namespace

void ChangedPixels::Clear(int width, int height) {
    width_ = width;
    height_ = height;
    rows_.assign(size_t(height_), RowChange{});
    mask_.resize(size_t(width_) * size_t(height_));
    firstRow_ = endRow_ = 0;
}

void ChangedPixels::Find(const PixelView& rendered, const PixelView& lent) {
    Clear(rendered.Width(), rendered.Height());
    for (int y = 0; y < height_; ++y) {
        const uint8_t* in = rendered.Pixel(rendered.bounds.left, rendered.bounds.top + y);
        const uint8_t* was = lent.Pixel(lent.bounds.left, lent.bounds.top + y);
        RowChange& row = rows_[size_t(y)];
        row = SpanOf(in, was, width_);
        if (row.Empty()) continue;
        MaskRow(in, was, row.first, row.end, mask_.data() + size_t(y) * size_t(width_));
        if (None()) firstRow_ = y;
        endRow_ = y + 1;
    }
}

} // namespace reelhost
