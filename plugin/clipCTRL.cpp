// The clip preview control: draws the preview with the region and drags the region live.
#include "clipCTRL.h"

#include "DataHandling.h"
#include "carbonmacros.h"
#include "callpixelfx.h"
#include "commonprocs.h"
#include "dlgUtils.h"
#include "relrects.h"

#include <iterator>

namespace {

ToolboxObjectClassRef lgClipCtrlClassRef1 = nullptr;
EventHandlerUPP lgMyHandlerUPP = nullptr;

constexpr EventTypeSpec kClipCtrlEvents[] = {
    {kEventClassControl, kEventControlDraw},
    {kEventClassControl, kEventControlHitTest},
    {kEventClassControl, kEventControlHit},
    {kEventClassControl, kEventControlActivate},
    {kEventClassControl, kEventControlOwningWindowChanged},
    {kEventClassControl, kEventControlTrack},
};

// The caller's port while an event draws into the owner window's port.
struct SavedPort {
    CGrafPtr port;
    GDHandle device;
};

// Makes the owner window's port current for one event.
SavedPort EnterOwnerPort(WindowRef TheWindow) {
    SavedPort saved;
    GetGWorld(&saved.port, &saved.device);
    SetPortWindowPort(TheWindow);
    return saved;
}

// Puts the window port's clip back to the whole port, undoing any clipping to the control,
// and the caller's port back.
void LeaveOwnerPort(WindowRef TheWindow, const SavedPort& Saved) {
    const Rect portRect = GetPortRect(GetWindowPort(TheWindow));
    ClipRect(&portRect);
    SetGWorld(Saved.port, Saved.device);
}

Rect ControlBounds(ControlRef TheControl) {
    Rect bounds;
    GetControlBounds(TheControl, &bounds);
    return bounds;
}

OSStatus DrawClipCtrl(ControlRef TheControl) {
    WindowRef window = GetControlOwner(TheControl);
    if (!window) return noErr; // no window, no port to draw into
    const SavedPort saved = EnterOwnerPort(window);
    if (!IsControlDimmed(TheControl)) DrawFrameContents(window, ControlBounds(TheControl));
    LeaveOwnerPort(window, saved);
    return noErr;
}

OSStatus HitTestClipCtrl(EventRef TheEvent, ControlRef TheControl) {
    const Point where = GetEventMouseLocation(TheEvent);
    const Rect bounds = ControlBounds(TheControl);
    ControlPartCode part = kHandleNone;
    if (PtInRect(where, &bounds)) part = IsHandleHit(Rel2Rect(GetCurrentRel(), bounds), where);
    SetEventControlPart(TheEvent, part);
    return noErr;
}

// One drag: what was hit at the mouse-down, where, with which modifiers, and the region then.
struct ClipDrag {
    int16_t part;
    UInt32 modifiers;
    Point oldLoc;
    Rect bounds;
    Rect downRect;
    RelRect downRel;
    Rect current;
};

// Applies one movement inside the bounds: corners from the mouse-down, the inside step by step.
void ApplyDragStep(ClipDrag* TheDrag, Point NewLoc) {
    if (TheDrag->part >= kHandleTopLeft && TheDrag->part <= kHandleBottomRight) {
        TheDrag->current = TheDrag->downRect;
        DragCorner(TheDrag->part, &TheDrag->current, TheDrag->oldLoc, NewLoc, TheDrag->modifiers,
                   TheDrag->bounds, TheDrag->downRel);
    } else {
        DragRect(&TheDrag->current, TheDrag->oldLoc, NewLoc, TheDrag->modifiers);
        TheDrag->oldLoc = NewLoc;
    }
}

void ShowDragStep(const ClipDrag& TheDrag, WindowRef TheWindow) {
    PutCurrentRel(Rect2Rel(TheDrag.current, TheDrag.bounds));
    CallPixelEffect(gConfigWorkSpace.SourceClip, gConfigWorkSpace.TheFXClip);
    DrawFrameContents(TheWindow, TheDrag.bounds);
}

// Follows the mouse until the release; the modifiers of the mouse-down hold for the whole drag.
OSStatus TrackClipCtrl(EventRef TheEvent, ControlRef TheControl) {
    WindowRef window = GetControlOwner(TheControl);
    if (!window) return noErr;
    const SavedPort saved = EnterOwnerPort(window);
    ClipDrag drag{};
    drag.oldLoc = GetEventMouseLocation(TheEvent);
    drag.modifiers = GetEventKeyModifiers(TheEvent);
    drag.bounds = ControlBounds(TheControl);
    ClipRect(&drag.bounds);
    drag.downRel = GetCurrentRel();
    drag.downRect = Rel2Rect(drag.downRel, drag.bounds);
    drag.part = IsHandleHit(drag.downRect, drag.oldLoc);
    drag.current = drag.downRect;

    for (;;) {
        Point newLoc{0, 0};
        MouseTrackingResult result = kMouseTrackingMouseUp;
        if (TrackMouseLocation(nullptr, &newLoc, &result) != noErr) break;
        if (result == kMouseTrackingMouseUp) break;
        if (result != kMouseTrackingMouseDragged || drag.part == kHandleNone ||
            !PtInRect(newLoc, &drag.bounds))
            continue;
        ApplyDragStep(&drag, newLoc);
        ShowDragStep(drag, window);
    }
    LeaveOwnerPort(window, saved);
    return noErr;
}

} // namespace

void RegisterClipCtrl(void) {
    lgMyHandlerUPP = NewEventHandlerUPP(ClipCtrlControlHandler);
    CFStringRef classID = MakeCFStringFromC("com.brindle.reelkit.clip");
    RegisterToolboxObjectClass(classID, nullptr, std::size(kClipCtrlEvents), kClipCtrlEvents,
                               lgMyHandlerUPP, nullptr, &lgClipCtrlClassRef1);
    CFRelease(classID);
}

void UnregisterClipCtrl(void) {
    UnregisterToolboxObjectClass(lgClipCtrlClassRef1);
    lgClipCtrlClassRef1 = nullptr;
    DisposeEventHandlerUPP(lgMyHandlerUPP);
    lgMyHandlerUPP = nullptr;
}

OSStatus ClipCtrlControlHandler(EventHandlerCallRef, EventRef TheEvent, void*) {
    if (GetEventClass(TheEvent) != kEventClassControl) return eventNotHandledErr;
    ControlRef control = GetEventControl(TheEvent);
    switch (GetEventKind(TheEvent)) {
    case kEventControlDraw:
    case kEventControlActivate:
    case kEventControlOwningWindowChanged:
        return DrawClipCtrl(control);
    case kEventControlHitTest:
        return HitTestClipCtrl(TheEvent, control);
    case kEventControlHit:
        return noErr;
    case kEventControlTrack:
        return TrackClipCtrl(TheEvent, control);
    default:
        return eventNotHandledErr;
    }
}
