// Pixel geometry of inscribed ovals, exact in integers so that every ring is symmetric.
#include "quickdraw/oval.h"

#include <cstdint>

namespace qd {
namespace {

// The square of a doubled coordinate or of a box side (both at most 65535, the widest
// rectangle) is below 2^32, so a product of two squares fits in 64 bits, though a sum of two
// such products may not.
uint64_t Square(int v) {
    return uint64_t(int64_t(v) * v);
}

int Max(int a, int b) {
    return a > b ? a : b;
}

} // namespace

// With coordinates doubled about the box centre (X = 2 x + 1 - width, likewise Y), the pixel
// centre is inside the ellipse with semi-axes width/2, height/2 when
// X^2 height^2 + Y^2 width^2 <= width^2 height^2.
bool InscribedOval::ContainsCentre(int column, int row) const {
    const uint64_t xTerm = Square(2 * column + 1 - width_) * Square(height_);
    const uint64_t yTerm = Square(2 * row + 1 - height_) * Square(width_);
    const uint64_t bound = Square(width_) * Square(height_);
    // xTerm + yTerm <= bound, without forming the sum.
    return xTerm <= bound && yTerm <= bound - xTerm;
}

int InscribedOval::RowInset(int row) const {
    if (row < 0 || row >= height_) return width_;
    const int doubledOffset = 2 * row + 1 - height_;
    if (doubledOffset >= -1 && doubledOffset <= 1) return 0; // a middle row
    // Columns nearer the middle are inside whenever an outer one is: search for the first.
    int first = 0;
    int last = (width_ - 1) / 2; // the left middle column, kept even when outside
    while (first < last) {
        const int middle = first + (last - first) / 2;
        if (ContainsCentre(middle, row)) {
            last = middle;
        } else {
            first = middle + 1;
        }
    }
    return first;
}

// A pixel of the run is inside the ring's hole when its left and right neighbours are in this
// row's run and the pixels above and below it are in theirs.
int InscribedOval::RingInnerBegin(int row) const {
    return Max(Max(RowInset(row - 1), RowInset(row + 1)), RowInset(row) + 1);
}

} // namespace qd
