// CopyBits: copies a rectangle of one image into another, scaling to the nearest pixel.
#include "quickdraw/qdport.h"

#include <cstring>
#include <functional>
#include <memory>
#include <new>

namespace {

using qd::PixelBox;

// How one axis of the destination rectangle samples the source rectangle: the centre of
// destination pixel d, mapped into the source, truncated. 64-bit because (2d + 1) x length
// reaches 2^33 for the widest rectangles.
struct AxisMapping {
    int srcStart;
    int srcLength;
    int dstStart;
    int dstLength;

    int SourceOf(int d) const {
        const int64_t offset = d - dstStart;
        return srcStart + int((2 * offset + 1) * srcLength / (2 * int64_t(dstLength)));
    }
};

// The first destination position in [begin, end) whose source is at least `source`, or end.
// SourceOf never decreases, so a binary search finds it.
int FirstSamplingFrom(const AxisMapping& axis, int begin, int end, int source) {
    while (begin < end) {
        const int middle = begin + (end - begin) / 2;
        if (axis.SourceOf(middle) < source) {
            begin = middle + 1;
        } else {
            end = middle;
        }
    }
    return begin;
}

// Narrows [begin, end) to the positions whose source pixel lies in [sourceBegin, sourceEnd),
// so that clipping the source never shifts where the remaining pixels land.
void KeepReadablePositions(const AxisMapping& axis, int sourceBegin, int sourceEnd, int& begin,
                           int& end) {
    const int first = FirstSamplingFrom(axis, begin, end, sourceBegin);
    end = FirstSamplingFrom(axis, first, end, sourceEnd);
    begin = first;
}

// Pixels to read from: an image, or a staged copy of part of one.
struct SourceView {
    const uint8_t* base; // pixel (left, top)
    std::ptrdiff_t rowBytes;
    int left;
    int top;

    const uint8_t* Row(int y) const { return base + std::ptrdiff_t(y - top) * rowBytes; }
};

// Where each byte of a destination pixel comes from in a source pixel: the identity when both
// images share a format, otherwise each channel moved to where the destination keeps it.
struct BytePlan {
    int from[qd::kBytesPerPixel];
    bool identity;
};

BytePlan PlanBytes(const PixMap& src, const PixMap& dst) {
    qd::ChannelOrder in, out;
    qd::ChannelOrderOf(src.pixelFormat, &in);
    qd::ChannelOrderOf(dst.pixelFormat, &out);
    BytePlan plan{};
    plan.from[out.alpha] = in.alpha;
    plan.from[out.red] = in.red;
    plan.from[out.green] = in.green;
    plan.from[out.blue] = in.blue;
    plan.identity = src.pixelFormat == dst.pixelFormat;
    return plan;
}

void CopyPixel(const BytePlan& plan, uint8_t* out, const uint8_t* in) {
    if (plan.identity) {
        std::memcpy(out, in, qd::kBytesPerPixel);
        return;
    }
    const uint8_t pixel[qd::kBytesPerPixel] = {in[0], in[1], in[2], in[3]};
    for (int k = 0; k < qd::kBytesPerPixel; ++k)
        out[k] = pixel[plan.from[k]];
}

template <class T> std::unique_ptr<T[]> TryAllocate(size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// Same-size copies run on every frame of every render: whole rows, memmove for overlap.
void CopySameSize(const PixMap& src, const PixMap& dst, const PixelBox& target, int srcLeft,
                  int srcTop) {
    const size_t rowLength = size_t(target.Width()) * qd::kBytesPerPixel;
    const int rows = target.Height();
    // Within one image, a copy downwards must start at the bottom so that no source row is
    // overwritten before it is read.
    const bool bottomUp = std::less<const uint8_t*>()(
        qd::PixelAddress(src, srcLeft, srcTop), qd::PixelAddress(dst, target.left, target.top));
    const BytePlan plan = PlanBytes(src, dst);
    for (int i = 0; i < rows; ++i) {
        const int row = bottomUp ? rows - 1 - i : i;
        uint8_t* out = qd::PixelAddress(dst, target.left, target.top + row);
        const uint8_t* in = qd::PixelAddress(src, srcLeft, srcTop + row);
        if (plan.identity) {
            std::memmove(out, in, rowLength);
            continue;
        }
        // Pixel by pixel: within one buffer, a copy to the right runs from the right so that
        // no source pixel is overwritten before it is read.
        const int width = target.Width();
        const bool rightToLeft = std::less<const uint8_t*>()(in, out);
        for (int j = 0; j < width; ++j) {
            const int x = rightToLeft ? width - 1 - j : j;
            CopyPixel(plan, out + std::ptrdiff_t(x) * qd::kBytesPerPixel,
                      in + std::ptrdiff_t(x) * qd::kBytesPerPixel);
        }
    }
}

// Points `view` at the source `area`. When source and destination share pixels, scaling reads
// from a copy of the area instead, so that the result does not depend on the order in which
// pixels are written. False when that copy cannot be made.
bool PrepareSource(const PixMap& src, const PixMap& dst, const PixelBox& area, SourceView& view,
                   std::unique_ptr<uint8_t[]>& staged) {
    view = {qd::PixelAddress(src, area.left, area.top), src.rowBytes, area.left, area.top};
    if (src.baseAddr != dst.baseAddr) return true;
    const size_t rowLength = size_t(area.Width()) * qd::kBytesPerPixel;
    staged = TryAllocate<uint8_t>(rowLength * size_t(area.Height()));
    if (!staged) return false;
    for (int row = 0; row < area.Height(); ++row) {
        std::memcpy(staged.get() + rowLength * size_t(row),
                    qd::PixelAddress(src, area.left, area.top + row), rowLength);
    }
    view = {staged.get(), std::ptrdiff_t(rowLength), area.left, area.top};
    return true;
}

void CopyScaled(const PixMap& src, const PixMap& dst, const PixelBox& target,
                const AxisMapping& across, const AxisMapping& down) {
    const PixelBox sampled = {across.SourceOf(target.left), down.SourceOf(target.top),
                              across.SourceOf(target.right - 1) + 1,
                              down.SourceOf(target.bottom - 1) + 1};
    SourceView view;
    std::unique_ptr<uint8_t[]> staged;
    const int width = target.Width();
    const auto columnOffsets = TryAllocate<std::ptrdiff_t>(size_t(width));
    // Out of memory for the work buffers: the destination is left as it was.
    if (!columnOffsets || !PrepareSource(src, dst, sampled, view, staged)) return;
    for (int i = 0; i < width; ++i) {
        columnOffsets[i] =
            std::ptrdiff_t(across.SourceOf(target.left + i) - view.left) * qd::kBytesPerPixel;
    }

    const BytePlan plan = PlanBytes(src, dst);
    const uint8_t* previousRow = nullptr;
    int previousSource = 0;
    for (int y = target.top; y < target.bottom; ++y) {
        uint8_t* out = qd::PixelAddress(dst, target.left, y);
        const int source = down.SourceOf(y);
        if (previousRow && source == previousSource) {
            // Enlarging repeats source rows: the row just written is the same row again.
            std::memcpy(out, previousRow, size_t(width) * qd::kBytesPerPixel);
        } else {
            const uint8_t* in = view.Row(source);
            for (int i = 0; i < width; ++i)
                CopyPixel(plan, out + std::ptrdiff_t(i) * qd::kBytesPerPixel,
                          in + columnOffsets[i]);
        }
        previousRow = out;
        previousSource = source;
    }
}

} // namespace

// Every transfer mode copies (the only mode callers use); there are no regions, so maskRgn
// is ignored.
void CopyBits(const BitMap* srcBits, const BitMap* dstBits, const Rect* srcRect,
              const Rect* dstRect, int16_t /*mode*/, RgnHandle /*maskRgn*/) {
    if (!srcBits || !dstBits || !srcRect || !dstRect) return;
    const PixelBox from = qd::BoxOf(*srcRect);
    const PixelBox to = qd::BoxOf(*dstRect);
    if (from.IsEmpty() || to.IsEmpty()) return;

    PixelBox target = qd::Intersect(to, qd::BoxOf(dstBits->bounds));
    const GrafPtr port = qd::CurrentPort();
    if (port && dstBits == &port->pixMap) target = qd::Intersect(target, qd::BoxOf(port->clip));
    const PixelBox readable = qd::Intersect(from, qd::BoxOf(srcBits->bounds));
    if (target.IsEmpty() || readable.IsEmpty()) return;

    const AxisMapping across = {from.left, from.Width(), to.left, to.Width()};
    const AxisMapping down = {from.top, from.Height(), to.top, to.Height()};
    KeepReadablePositions(across, readable.left, readable.right, target.left, target.right);
    KeepReadablePositions(down, readable.top, readable.bottom, target.top, target.bottom);
    if (target.IsEmpty()) return;

    if (from.Width() == to.Width() && from.Height() == to.Height()) {
        CopySameSize(*srcBits, *dstBits, target, across.SourceOf(target.left),
                     down.SourceOf(target.top));
    } else {
        CopyScaled(*srcBits, *dstBits, target, across, down);
    }
}
