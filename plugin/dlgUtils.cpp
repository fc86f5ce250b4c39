// Region handles and dragging on the clip preview.
#include "dlgUtils.h"

#include "DataHandling.h"
#include "carbonmacros.h"
#include "commonprocs.h"
#include "relrects.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr RGBColor kBlack{0, 0, 0};
constexpr RGBColor kWhite{65535, 65535, 65535};

int16_t Saturate16(int32_t TheValue) {
    return int16_t(std::clamp<int32_t>(TheValue, std::numeric_limits<int16_t>::min(),
                                       std::numeric_limits<int16_t>::max()));
}

// The corners in handle order 1 to 4: top-left, top-right, bottom-left, bottom-right.
std::array<Point, 4> HandleCorners(const Rect& TheRect) {
    return {Point{TheRect.top, TheRect.left}, Point{TheRect.top, TheRect.right},
            Point{TheRect.bottom, TheRect.left}, Point{TheRect.bottom, TheRect.right}};
}

// The box drawn and hit-tested for a corner: CHANDLESIZE pixels from it in each direction.
Rect HandleBox(Point TheCorner) {
    return Rect{Saturate16(TheCorner.v - CHANDLESIZE), Saturate16(TheCorner.h - CHANDLESIZE),
                Saturate16(TheCorner.v + CHANDLESIZE), Saturate16(TheCorner.h + CHANDLESIZE)};
}

// The movement from OldLoc to NewLoc, in 16 bits as the mouse positions are.
Point Movement(Point OldLoc, Point NewLoc) {
    return Point{int16_t(NewLoc.v - OldLoc.v), int16_t(NewLoc.h - OldLoc.h)};
}

void FrameRing(Rect* TheBox, const RGBColor& TheColor) {
    RGBForeColor(&TheColor);
    FrameOval(TheBox);
    InsetRect(TheBox, 1, 1);
}

} // namespace

int16_t IsHandleHit(const Rect& TheRect, Point TheLoc) {
    const std::array<Point, 4> corners = HandleCorners(TheRect);
    for (int16_t handle = kHandleTopLeft; handle <= kHandleBottomRight; ++handle) {
        const Rect box = HandleBox(corners[size_t(handle - 1)]);
        if (PtInRect(TheLoc, &box)) return handle;
    }
    return PtInRect(TheLoc, &TheRect) ? kHandleInside : kHandleNone;
}

void DrawHandles(const Rect& TheRect, const RGBColor&) {
    PenMode(srcOr);
    for (const Point corner : HandleCorners(TheRect)) {
        Rect box = HandleBox(corner);
        FrameRing(&box, kBlack);
        FrameRing(&box, kWhite);
        FrameRing(&box, kBlack);
    }
    PenNormal();
}

void DrawFrameContents(WindowRef TheWindow, const Rect& DestRect) {
    const PluginWorkSpace& ws = gConfigWorkSpace;
    CGrafPtr port = GetWindowPort(TheWindow);
    RGBBackColor(&kWhite);
    RGBForeColor(&kBlack);
    if (ws.TheFXClip) {
        const Rect clipRect = GetPortRect(ws.TheFXClip);
        CopyBits(GetPortBitMapForCopyBits(ws.TheFXClip), GetPortBitMapForCopyBits(port), &clipRect,
                 &DestRect, srcCopy, nullptr);
    }

    const Rect portRect = GetPortRect(port);
    ClipRect(&DestRect);
    if (ws.TheConfig) {
        RGBForeColor(&ws.TheConfig->FrameStartColor);
        const Rect region = Rel2Rect(ws.TheConfig->StartRel, DestRect);
        FrameRect(&region);
        if (ws.ActiveRel == 1) DrawHandles(region, ws.TheConfig->FrameStartColor);
    }
    ClipRect(&portRect);

    RGBForeColor(&kBlack);
    FrameRect(&DestRect);
}

void DragRect(Rect* TheRect, Point OldLoc, Point NewLoc, UInt32) {
    const Point delta = Movement(OldLoc, NewLoc);
    OffsetRect(TheRect, delta.h, delta.v);
}

namespace {

struct CornerPair {
    Point moving, fixed;
};

// The dragged corner and its opposite; false for a handle that is no corner.
bool ChooseCorners(int16_t TheHandle, const Rect& TheRect, CornerPair* Corners) {
    const std::array<Point, 4> corners = HandleCorners(TheRect);
    if (TheHandle < kHandleTopLeft || TheHandle > kHandleBottomRight) return false;
    // Handles 1..4 are numbered so that the opposite corner of handle n is handle 5 - n.
    Corners->moving = corners[size_t(TheHandle - 1)];
    Corners->fixed = corners[size_t(4 - TheHandle)];
    return true;
}

void MovePoint(Point* ThePoint, Point TheDelta, int16_t TheSign) {
    ThePoint->h = int16_t(ThePoint->h + TheSign * TheDelta.h);
    ThePoint->v = int16_t(ThePoint->v + TheSign * TheDelta.v);
}

Rect KeepOriginalProportions(const Rect& TheRect, const Rect& TheFrame, const RelRect& OrigRel) {
    const Rect propRect = Rel2Rect(OrigRel, TheFrame);
    int32_t wid, hig;
    GetDims(propRect, &wid, &hig);
    return wid > hig ? KeepPropsWithFixedHorizontal(propRect, TheRect)
                     : KeepPropsWithFixedVertical(propRect, TheRect);
}

} // namespace

void DragCorner(int16_t TheHandle, Rect* TheRect, Point OldLoc, Point NewLoc, UInt32 Modifiers,
                const Rect& TheFrame, const RelRect& OrigRel) {
    CornerPair corners;
    if (!ChooseCorners(TheHandle, *TheRect, &corners)) return;
    const Point delta = Movement(OldLoc, NewLoc);
    MovePoint(&corners.moving, delta, 1);
    if (Modifiers & OPTIONMASK) MovePoint(&corners.fixed, delta, -1);
    Pt2Rect(corners.moving, corners.fixed, TheRect);
    if (Modifiers & SHIFTMASK) *TheRect = KeepOriginalProportions(*TheRect, TheFrame, OrigRel);
}
