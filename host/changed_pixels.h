// Which pixels of a rendered frame differ from the frame the plug-in was lent.
#pragma once

#include "pixel_view.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace reelhost {

// Pixels [first, end) of a row hold every change in it; first == end for a row left as lent.
struct RowChange {
    int first = 0;
    int end = 0;
    bool Empty() const { return first >= end; }
};

// The outcome of comparing a rendered frame with the one lent, pixel by pixel (all four bytes).
// Rows the plug-in left alone cost one comparison of their bytes; only rows that changed get a
// mask. Kept by a frame slot and reused, so a render allocates it once.
class ChangedPixels {
  public:
    // Compares `rendered` with `lent`, which have the same size.
    void Find(const PixelView& rendered, const PixelView& lent);
    // Nothing changed in a frame of this size.
    void Clear(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Rows [FirstRow(), EndRow()) hold every change; empty when nothing changed.
    int FirstRow() const { return firstRow_; }
    int EndRow() const { return endRow_; }
    bool None() const { return firstRow_ >= endRow_; }
    const RowChange& Row(int y) const { return rows_[size_t(y)]; }
    // 1 for a changed pixel, 0 for one left as lent, across the whole row; meaningful only for
    // a row that changed.
    const uint8_t* Mask(int y) const { return mask_.get() + size_t(y) * size_t(width_); }

  private:
    int width_ = 0;
    int height_ = 0;
    int firstRow_ = 0;
    int endRow_ = 0;
    std::vector<RowChange> rows_;
    // Left uninitialised: only the rows that change are ever written, so only their pages are
    // ever touched.
    std::unique_ptr<uint8_t[]> mask_;
    size_t maskSize_ = 0;
};

} // namespace reelhost
