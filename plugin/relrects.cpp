// Fractions of a frame to pixels and back, by truncation toward zero, never rounding.
#include "relrects.h"

#include <cmath>
#include <limits>

namespace {

// A stored fraction may hold any double; pixels saturate to the 16-bit range (NaN is 0).
int16_t SaturateTo16(double v) {
    if (std::isnan(v)) return 0;
    if (v <= std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
    if (v >= std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
    return int16_t(std::trunc(v));
}

int16_t EdgeFromFraction(int16_t origin, int16_t span, double fraction) {
    return SaturateTo16(double(origin) + double(SaturateTo16(span * fraction)));
}

// A frame without width or height has no fractions: the edge reads as 0 instead of dividing.
double FractionOfSpan(int edge, int span) { return span == 0 ? 0.0 : double(edge) / span; }

} // namespace

void InitRelRect(RelRect* theRel) { *theRel = RelRect{0.0, 1.0, 0.0, 1.0}; }

Rect Rel2Rect(const RelRect& theRel, const Rect& theFrame) {
    const int16_t wid = int16_t(theFrame.right - theFrame.left);
    const int16_t hig = int16_t(theFrame.bottom - theFrame.top);
    Rect r;
    r.left = EdgeFromFraction(theFrame.left, wid, theRel.Left);
    r.right = EdgeFromFraction(theFrame.left, wid, theRel.Right);
    r.top = EdgeFromFraction(theFrame.top, hig, theRel.Top);
    r.bottom = EdgeFromFraction(theFrame.top, hig, theRel.Bottom);
    return r;
}

RelRect Rect2Rel(const Rect& theRect, const Rect& theFrame) {
    const int16_t wid = int16_t(theFrame.right - theFrame.left);
    const int16_t hig = int16_t(theFrame.bottom - theFrame.top);
    const int left = theRect.left - theFrame.left;
    const int right = theRect.right - theFrame.left;
    const int top = theRect.top - theFrame.top;
    const int bottom = theRect.bottom - theFrame.top;
    return RelRect{FractionOfSpan(left, wid), FractionOfSpan(right, wid), FractionOfSpan(top, hig),
                   FractionOfSpan(bottom, hig)};
}

Rect CalcTweenRect(const PluginDataRec* theConfig, const Rect& theFrame, int32_t, int32_t) {
    return Rel2Rect(theConfig->StartRel, theFrame);
}
