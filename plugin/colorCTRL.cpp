// The colour box control: a framed swatch of the control's value that opens the colour picker.
#include "colorCTRL.h"

#include "CFString.h"
#include "ColorPicker.h"
#include "carbonmacros.h"
#include "commonprocs.h"
#include "pixellib.h"

#include <cstring>
#include <iterator>

namespace {

ToolboxObjectClassRef lgColorBoxClassRef = nullptr;
EventHandlerUPP lgMyHandlerUPP = nullptr;

constexpr RGBColor kBlack{0, 0, 0};
constexpr EventTypeSpec kColorBoxEvents[] = {
    {kEventClassControl, kEventControlDraw},
    {kEventClassControl, kEventControlHitTest},
    {kEventClassControl, kEventControlHit},
};
// Flags the picker has always been opened with: movable, modal, colour-managed, own dialog.
constexpr UInt32 kPickerFlags = kColorPickerDialogIsMoveable | kColorPickerDialogIsModal |
                                kColorPickerAppIsColorSyncAware | kColorPickerInPickerDialog;

// A box's value holds each channel's high byte; the low byte comes back as 0.
RGBColor ControlColor(ControlRef TheControl) {
    return LongInt2RGBColor(GetControl32BitValue(TheControl));
}

OSStatus HitTestColorBox(EventRef TheEvent, ControlRef TheControl) {
    const Point where = GetEventMouseLocation(TheEvent);
    Rect bounds;
    GetControlBounds(TheControl, &bounds);
    const ControlPartCode part = PtInRect(where, &bounds) ? 1 : kControlNoPart;
    SetEventControlPart(TheEvent, part);
    return noErr;
}

OSStatus DrawColorBox(ControlRef TheControl) {
    WindowRef window = GetControlOwner(TheControl);
    if (!window) return noErr; // no window, no port to draw into
    CGrafPtr savedPort;
    GDHandle savedDevice;
    GetGWorld(&savedPort, &savedDevice);
    SetPortWindowPort(window);
    Rect bounds;
    GetControlBounds(TheControl, &bounds);
    if (IsControlDimmed(TheControl))
        EraseRect(&bounds);
    else
        ColorBoxDraw(bounds, ControlColor(TheControl));
    SetGWorld(savedPort, savedDevice);
    return noErr;
}

// The click goes on to the toolkit's next handler whether or not a colour was chosen.
OSStatus PickColorForBox(ControlRef TheControl) {
    RGBColor color = ControlColor(TheControl);
    Str255 prompt;
    CToText("Please choose color:", prompt);
    if (UseColorPicker(Point{0, 0}, prompt, color, &color))
        SetControl32BitValue(TheControl, RGBColor2LongInt(color));
    return eventNotHandledErr;
}

} // namespace

void RegisterColorBox(void) {
    lgMyHandlerUPP = NewEventHandlerUPP(ColorBoxControlHandler);
    CFStringRef classID = MakeCFStringFromC("com.brindle.reelkit.color");
    RegisterToolboxObjectClass(classID, nullptr, std::size(kColorBoxEvents), kColorBoxEvents,
                               lgMyHandlerUPP, nullptr, &lgColorBoxClassRef);
    CFRelease(classID);
}

void UnregisterColorBox(void) {
    UnregisterToolboxObjectClass(lgColorBoxClassRef);
    lgColorBoxClassRef = nullptr;
    DisposeEventHandlerUPP(lgMyHandlerUPP);
    lgMyHandlerUPP = nullptr;
}

OSStatus ColorBoxControlHandler(EventHandlerCallRef, EventRef TheEvent, void*) {
    if (GetEventClass(TheEvent) != kEventClassControl) return eventNotHandledErr;
    ControlRef control = GetEventControl(TheEvent);
    switch (GetEventKind(TheEvent)) {
    case kEventControlHitTest:
        return HitTestColorBox(TheEvent, control);
    case kEventControlDraw:
        return DrawColorBox(control);
    case kEventControlHit:
        return PickColorForBox(control);
    default:
        return eventNotHandledErr;
    }
}

void ColorBoxDraw(const Rect& TheRect, const RGBColor& TheColor) {
    RGBForeColor(&TheColor);
    PaintRect(&TheRect);
    RGBForeColor(&kBlack);
    FrameRect(&TheRect);
}

Boolean UseColorPicker(Point Where, ConstStr255Param Prompt, const RGBColor& InColor,
                       RGBColor* OutColor) {
    NColorPickerInfo info{};
    info.theColor.profile = nullptr;
    info.theColor.color.rgb = CMRGBColor{InColor.red, InColor.green, InColor.blue};
    info.dstProfile = nullptr;
    info.flags = kPickerFlags;
    info.placeWhere = kAtSpecifiedOrigin;
    info.dialogOrigin = Where;
    info.pickerType = 0;
    info.eventProc = nullptr;
    info.colorProc = nullptr;
    info.colorProcData = 0;
    if (Prompt) std::memcpy(info.prompt, Prompt, size_t(Prompt[0]) + 1);
    info.mInfo = PickerMenuItemInfo{0, 0, 0, 0, 0, 0};
    info.newColorChosen = false;
    if (NPickColor(&info) != noErr || !info.newColorChosen || !OutColor) return false;
    const CMRGBColor& chosen = info.theColor.color.rgb;
    *OutColor = RGBColor{chosen.red, chosen.green, chosen.blue};
    return true;
}
