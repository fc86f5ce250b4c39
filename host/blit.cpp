// Opacity blending of one image over another, with nearest-pixel scaling and safe clipping.
#include "blit.h"
#include "blend_row.h"

#include <algorithm>
#include <climits>

namespace reelhost {
namespace {

constexpr int kNoSource = INT_MIN;

// The source coordinate whose pixel covers destination coordinate `d` when the span
// [dstStart, dstStart + dstSpan) shows [srcStart, srcStart + srcSpan).
int NearestSource(int d, int dstStart, int dstSpan, int srcStart, int srcSpan) {
    return srcStart + int(int64_t(d - dstStart) * srcSpan / dstSpan);
}

bool Within(int v, int low, int high) {
    return v >= low && v < high;
}

} // namespace

// Without scaling, source pixel (x + dx, y + dy) lies over (x, y): the pixels whose source is
// inside src form one rectangle, blended a row at a time.
void Blitter::DrawSameSize(const PixelView& src, const PixelView& dst, int dx, int dy,
                           const Rect& target, int opacity) {
    const int left = std::max(int(target.left), src.bounds.left - dx);
    const int right = std::min(int(target.right), src.bounds.right - dx);
    const int top = std::max(int(target.top), src.bounds.top - dy);
    const int bottom = std::min(int(target.bottom), src.bounds.bottom - dy);
    if (left >= right || top >= bottom) return;
    const size_t rowLength = size_t(right - left) * kBytesPerPixel;
    for (int y = top; y < bottom; ++y)
        BlendRow(src.Pixel(left + dx, y + dy), dst.Pixel(left, y), rowLength, uint16_t(opacity));
}

void Blitter::Draw(const PixelView& src, const PixelView& dst, const Rect& srcRect,
                   const Rect& dstRect, int opacity) {
    opacity = std::clamp(opacity, 0, 255);
    const int srcWidth = srcRect.right - srcRect.left;
    const int srcHeight = srcRect.bottom - srcRect.top;
    const int dstWidth = dstRect.right - dstRect.left;
    const int dstHeight = dstRect.bottom - dstRect.top;
    if (opacity == 0 || src.Empty() || dst.Empty() || srcWidth <= 0 || srcHeight <= 0 ||
        dstWidth <= 0 || dstHeight <= 0)
        return;

    // Clip once to the destination image; the source side is checked per row and column.
    const int left = std::max<int>(dstRect.left, dst.bounds.left);
    const int right = std::min<int>(dstRect.right, dst.bounds.right);
    const int top = std::max<int>(dstRect.top, dst.bounds.top);
    const int bottom = std::min<int>(dstRect.bottom, dst.bounds.bottom);
    if (left >= right || top >= bottom) return;

    if (srcWidth == dstWidth && srcHeight == dstHeight) {
        DrawSameSize(src, dst, srcRect.left - dstRect.left, srcRect.top - dstRect.top,
                     {int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)}, opacity);
        return;
    }
    sourceColumns_.resize(size_t(right - left));
    for (int x = left; x < right; ++x) {
        const int sx = NearestSource(x, dstRect.left, dstWidth, srcRect.left, srcWidth);
        sourceColumns_[size_t(x - left)] =
            Within(sx, src.bounds.left, src.bounds.right) ? sx : kNoSource;
    }

    for (int y = top; y < bottom; ++y) {
        const int sy = NearestSource(y, dstRect.top, dstHeight, srcRect.top, srcHeight);
        if (!Within(sy, src.bounds.top, src.bounds.bottom)) continue;
        uint8_t* out = dst.Pixel(left, y);
        for (int sx : sourceColumns_) {
            if (sx != kNoSource) {
                const uint8_t* in = src.Pixel(sx, sy);
                for (int c = 0; c < kBytesPerPixel; ++c)
                    out[c] = BlendChannel(in[c], out[c], opacity);
            }
            out += kBytesPerPixel;
        }
    }
}

} // namespace reelhost
