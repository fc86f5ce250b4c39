// Rectangle arithmetic on 16-bit sides, as the rectangles are stored.
#include "quickdraw/qdport.h"

namespace {

// Sides are worked out in int and stored back modulo 2^16: wrapping is the caller's concern.
int16_t Side(int value) {
    return static_cast<int16_t>(value);
}

int Min(int a, int b) {
    return a < b ? a : b;
}
int Max(int a, int b) {
    return a > b ? a : b;
}

} // namespace

void SetRect(Rect* r, int16_t left, int16_t top, int16_t right, int16_t bottom) {
    if (r) *r = {top, left, bottom, right};
}

void OffsetRect(Rect* r, int16_t dh, int16_t dv) {
    if (!r) return;
    *r = {Side(r->top + dv), Side(r->left + dh), Side(r->bottom + dv), Side(r->right + dh)};
}

void InsetRect(Rect* r, int16_t dh, int16_t dv) {
    if (!r) return;
    *r = {Side(r->top + dv), Side(r->left + dh), Side(r->bottom - dv), Side(r->right - dh)};
}

Boolean PtInRect(Point pt, const Rect* r) {
    return r && pt.h >= r->left && pt.h < r->right && pt.v >= r->top && pt.v < r->bottom;
}

Boolean EmptyRect(const Rect* r) {
    return !r || EmptyPixelBox(PixelBoxOf(*r));
}

Boolean EqualRect(const Rect* a, const Rect* b) {
    return a && b && a->top == b->top && a->left == b->left && a->bottom == b->bottom &&
           a->right == b->right;
}

// `out` may be `a` or `b`; a disjoint or empty result is stored as (0, 0, 0, 0).
Boolean SectRect(const Rect* a, const Rect* b, Rect* out) {
    const PixelBox common =
        a && b ? IntersectPixelBoxes(PixelBoxOf(*a), PixelBoxOf(*b)) : PixelBox{};
    const bool overlaps = !EmptyPixelBox(common);
    if (out) {
        *out = overlaps ? Rect{Side(common.top), Side(common.left), Side(common.bottom),
                               Side(common.right)}
                        : Rect{0, 0, 0, 0};
    }
    return overlaps;
}

void Pt2Rect(Point a, Point b, Rect* out) {
    if (!out) return;
    *out = {Side(Min(a.v, b.v)), Side(Min(a.h, b.h)), Side(Max(a.v, b.v)), Side(Max(a.h, b.h))};
}
