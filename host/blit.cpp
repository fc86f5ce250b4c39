// Opacity blending of one image over another, with nearest-pixel scaling and safe clipping.
#include "blit.h"
#include "blend_row.h"
#include "gworld.h"

#include <algorithm>
#include <climits>

namespace reelhost {
namespace {

constexpr int kNoSource = INT_MIN;

bool Within(int v, int low, int high) {
    return v >= low && v < high;
}

// Without scaling, source pixel (x + dx, y + dy) lies over (x, y): the pixels of target (clipped
// to dst) whose source is inside src form one box, blended a row at a time.
void DrawSameSize(const PixelView& src, const PixelView& dst, int dx, int dy,
                  const PixelBox& target, int opacity) {
    const PixelBox shown =
        IntersectPixelBoxes(target, {src.bounds.top - dy, src.bounds.left - dx,
                                     src.bounds.bottom - dy, src.bounds.right - dx});
    if (EmptyPixelBox(shown)) return;
    const size_t rowLength = size_t(PixelBoxWidth(shown)) * kBytesPerPixel;
    for (int y = shown.top; y < shown.bottom; ++y)
        BlendRow(src.Pixel(shown.left + dx, y + dy), dst.Pixel(shown.left, y), rowLength,
                 uint16_t(opacity));
}

} // namespace

void Blitter::Draw(const PixelView& src, const PixelView& dst, const Rect& srcRect,
                   const Rect& dstRect, int opacity) {
    opacity = std::clamp(opacity, 0, 255);
    const PixelBox from = PixelBoxOf(srcRect), to = PixelBoxOf(dstRect);
    if (opacity == 0 || src.Empty() || dst.Empty() || EmptyPixelBox(from) || EmptyPixelBox(to))
        return;
    // Clip once to the destination image; the source side is checked per row and column.
    const PixelBox target = IntersectPixelBoxes(to, PixelBoxOf(dst.bounds));
    if (EmptyPixelBox(target)) return;

    const int fromWidth = PixelBoxWidth(from), fromHeight = PixelBoxHeight(from);
    const int toWidth = PixelBoxWidth(to), toHeight = PixelBoxHeight(to);
    if (fromWidth == toWidth && fromHeight == toHeight) {
        DrawSameSize(src, dst, from.left - to.left, from.top - to.top, target, opacity);
        return;
    }
    // The platform's CopyBits samples the same pixels, so a scaled Blit shows what a scaled copy
    // would.
    sourceColumns_.resize(size_t(PixelBoxWidth(target)));
    for (int x = target.left; x < target.right; ++x) {
        const int sx = ScaledSourcePixel(x, to.left, toWidth, from.left, fromWidth);
        sourceColumns_[size_t(x - target.left)] =
            Within(sx, src.bounds.left, src.bounds.right) ? sx : kNoSource;
    }

    for (int y = target.top; y < target.bottom; ++y) {
        const int sy = ScaledSourcePixel(y, to.top, toHeight, from.top, fromHeight);
        if (!Within(sy, src.bounds.top, src.bounds.bottom)) continue;
        uint8_t* out = dst.Pixel(target.left, y);
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

HYPluginResult BlitImages(PixMapHandle src, PixMapHandle dst, const Rect* srcRect,
                          const Rect* dstRect, int16_t opacity) {
    static Blitter blitter;
    if (!src || !dst || !srcRect || !dstRect) return kPluginBadParams;
    blitter.Draw(ViewOf(src), ViewOf(dst), *srcRect, *dstRect, opacity);
    return kPluginOK;
}

} // namespace reelhost
