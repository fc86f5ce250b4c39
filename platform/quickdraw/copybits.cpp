// CopyBits: copies a rectangle of one image into another, scaling to the nearest pixel.
#include "quickdraw/qdport.h"

#include <cstring>
#include <functional>
#include <memory>
#include <new>

namespace {

// How one axis of the destination rectangle samples the source rectangle.
struct AxisMapping {
    int srcStart;
    int srcLength;
    int dstStart;
    int dstLength;

    int SourceOf(int d) const {
        return ScaledSourcePixel(d, dstStart, dstLength, srcStart, srcLength);
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
    int from[kBytesPerPixel];
    bool identity;
};

BytePlan PlanBytes(const PixMap& src, const PixMap& dst) {
    ChannelOrder in{}, out{};
    ChannelOrderOf(src.pixelFormat, &in);
    ChannelOrderOf(dst.pixelFormat, &out);
    BytePlan plan{};
    plan.from[out.alpha] = in.alpha;
    plan.from[out.red] = in.red;
    plan.from[out.green] = in.green;
    plan.from[out.blue] = in.blue;
    plan.identity = src.pixelFormat == dst.pixelFormat;
    return plan;
}

// One pixel between images of different formats; `out` may be `in`.
void ReorderPixel(const BytePlan& plan, uint8_t* out, const uint8_t* in) {
    const uint8_t pixel[kBytesPerPixel] = {in[0], in[1], in[2], in[3]};
    for (int k = 0; k < kBytesPerPixel; ++k)
        out[k] = pixel[plan.from[k]];
}

// One row of a scaled copy: pixel i comes from in + offsets[i]. The plan is looked at once per
// row, not once per pixel.
void GatherRow(const BytePlan& plan, uint8_t* out, const uint8_t* in, const std::ptrdiff_t* offsets,
               int width) {
    if (plan.identity) {
        for (int i = 0; i < width; ++i)
            std::memcpy(out + std::ptrdiff_t(i) * kBytesPerPixel, in + offsets[i], kBytesPerPixel);
        return;
    }
    for (int i = 0; i < width; ++i)
        ReorderPixel(plan, out + std::ptrdiff_t(i) * kBytesPerPixel, in + offsets[i]);
}

template <class T> std::unique_ptr<T[]> TryAllocate(size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// Same-size copies run on every frame of every render: whole rows, memmove for overlap.
void CopySameSize(const PixMap& src, const PixMap& dst, const PixelBox& target, int srcLeft,
                  int srcTop) {
    const int width = PixelBoxWidth(target);
    const size_t rowLength = size_t(width) * kBytesPerPixel;
    const int rows = PixelBoxHeight(target);
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
        const bool rightToLeft = std::less<const uint8_t*>()(in, out);
        for (int j = 0; j < width; ++j) {
            const int x = rightToLeft ? width - 1 - j : j;
            ReorderPixel(plan, out + std::ptrdiff_t(x) * kBytesPerPixel,
                         in + std::ptrdiff_t(x) * kBytesPerPixel);
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
    const size_t rowLength = size_t(PixelBoxWidth(area)) * kBytesPerPixel;
    staged = TryAllocate<uint8_t>(rowLength * size_t(PixelBoxHeight(area)));
    if (!staged) return false;
    for (int row = 0; row < PixelBoxHeight(area); ++row) {
        std::memcpy(staged.get() + rowLength * size_t(row),
                    qd::PixelAddress(src, area.left, area.top + row), rowLength);
    }
    view = {staged.get(), std::ptrdiff_t(rowLength), area.left, area.top};
    return true;
}

void CopyScaled(const PixMap& src, const PixMap& dst, const PixelBox& target,
                const AxisMapping& across, const AxisMapping& down) {
    const PixelBox sampled = {down.SourceOf(target.top), across.SourceOf(target.left),
                              down.SourceOf(target.bottom - 1) + 1,
                              across.SourceOf(target.right - 1) + 1};
    SourceView view;
    std::unique_ptr<uint8_t[]> staged;
    const int width = PixelBoxWidth(target);
    const auto columnOffsets = TryAllocate<std::ptrdiff_t>(size_t(width));
    // Out of memory for the work buffers: the destination is left as it was.
    if (!columnOffsets || !PrepareSource(src, dst, sampled, view, staged)) return;
    for (int i = 0; i < width; ++i) {
        columnOffsets[i] =
            std::ptrdiff_t(across.SourceOf(target.left + i) - view.left) * kBytesPerPixel;
    }

    const BytePlan plan = PlanBytes(src, dst);
    const uint8_t* previousRow = nullptr;
    int previousSource = 0;
    for (int y = target.top; y < target.bottom; ++y) {
        uint8_t* out = qd::PixelAddress(dst, target.left, y);
        const int source = down.SourceOf(y);
        if (previousRow && source == previousSource) {
            // Enlarging repeats source rows: the row just written is the same row again.
            std::memcpy(out, previousRow, size_t(width) * kBytesPerPixel);
        } else {
            GatherRow(plan, out, view.Row(source), columnOffsets.get(), width);
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
    const PixelBox from = PixelBoxOf(*srcRect);
    const PixelBox to = PixelBoxOf(*dstRect);
    if (EmptyPixelBox(from) || EmptyPixelBox(to)) return;

    PixelBox target = IntersectPixelBoxes(to, PixelBoxOf(dstBits->bounds));
    const GrafPtr port = qd::CurrentPort();
    if (port && dstBits == &port->pixMap)
        target = IntersectPixelBoxes(target, PixelBoxOf(port->clip));
    const PixelBox readable = IntersectPixelBoxes(from, PixelBoxOf(srcBits->bounds));
    if (EmptyPixelBox(target) || EmptyPixelBox(readable)) return;

    const AxisMapping across = {from.left, PixelBoxWidth(from), to.left, PixelBoxWidth(to)};
    const AxisMapping down = {from.top, PixelBoxHeight(from), to.top, PixelBoxHeight(to)};
    KeepReadablePositions(across, readable.left, readable.right, target.left, target.right);
    KeepReadablePositions(down, readable.top, readable.bottom, target.top, target.bottom);
    if (EmptyPixelBox(target)) return;

    if (PixelBoxWidth(from) == PixelBoxWidth(to) && PixelBoxHeight(from) == PixelBoxHeight(to)) {
        CopySameSize(*srcBits, *dstBits, target, across.SourceOf(target.left),
                     down.SourceOf(target.top));
    } else {
        CopyScaled(*srcBits, *dstBits, target, across, down);
    }
}
