// Pixel geometry of inscribed ovals, exact in integers so that every ring is symmetric.
#include "quickdraw/oval.h"

namespace qd {
namespace {

// Products of squared box sizes reach 2^66 for the largest rectangles.
using Wide = __int128;

int Max(int a, int b) {
    return a > b ? a : b;
}

} // namespace

// With coordinates doubled about the box centre (X = 2 x + 1 - width, likewise Y), the pixel
// centre is inside the ellipse with semi-axes width/2, height/2 when
// X^2 height^2 + Y^2 width^2 <= width^2 height^2.
bool InscribedOval::ContainsCentre(int column, int row) const {
    const Wide x = 2 * column + 1 - width_;
    const Wide y = 2 * row + 1 - height_;
    const Wide w = width_;
    const Wide h = height_;
    return x * x * h * h + y * y * w * w <= w * w * h * h;
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
