// Platform-internal: which pixels of a box belong to the oval inscribed in it, row by row.
#pragma once

namespace qd {

// The oval inscribed in a width x height box, as one run of pixels per row: row `row`
// covers columns [inset, width - inset) of the box. A pixel belongs to the oval when its
// centre lies inside the ellipse or on it, except that every row keeps at least its middle
// pixel(s) and the middle row(s) span the whole width, so that even a very flat or very thin
// oval reaches all four sides of its box and has no breaks.
class InscribedOval {
  public:
    InscribedOval(int width, int height) : width_(width), height_(height) {}

    // Rows outside the box answer `width`: an empty run.
    int RowInset(int row) const;

    // The ring of the oval one pixel wide: the oval's pixels that have a side neighbour outside
    // it. Row `row` of the ring is [inset, innerBegin) and [width - innerBegin, width - inset);
    // innerBegin is at least half the width when the row is one unbroken run.
    int RingInnerBegin(int row) const;

  private:
    bool ContainsCentre(int column, int row) const;

    int width_;
    int height_;
};

} // namespace qd
