// Common procedures: images, rectangle geometry, text conversion, alerts and assertions.
#include "commonprocs.h"

#include "Dialogs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

GWorldPtr AllocateRectGWorld(const Rect& TheRect) {
    Rect bounds = TheRect;
    OffsetRect(&bounds, int16_t(-bounds.left), int16_t(-bounds.top));
    GWorldPtr world = nullptr;
    if (NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0) != noErr) return nullptr;
    LockGWorld(world);
    return world;
}

void LockGWorld(GWorldPtr TheGW) {
    if (TheGW) LockPixels(GetGWorldPixMap(TheGW));
}

Rect GetPortRect(CGrafPtr ThePort) {
    Rect r{0, 0, 0, 0};
    GetPortBounds(ThePort, &r);
    return r;
}

void GetDims(const Rect& TheRect, int32_t* Wid, int32_t* Hig) {
    *Wid = int32_t(TheRect.right) - TheRect.left;
    *Hig = int32_t(TheRect.bottom) - TheRect.top;
}

namespace {

// Rounds a length half up (toward zero after adding 0.5) and saturates it to the 16-bit side.
int16_t SideFromLength(int16_t origin, double length) {
    const double side = origin + std::trunc(length + 0.5);
    if (std::isnan(side)) return origin;
    if (side <= std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
    if (side >= std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
    return int16_t(side);
}

struct Proportions {
    double deltaX, deltaY, newX, newY;
};

Proportions MeasureProportions(const Rect& original, const Rect& newSize) {
    int32_t dx, dy, nx, ny;
    GetDims(original, &dx, &dy);
    GetDims(newSize, &nx, &ny);
    return Proportions{double(dx), double(dy), double(nx), double(ny)};
}

} // namespace

Rect KeepPropsWithFixedHorizontal(const Rect& InOriginal, const Rect& InNewSize) {
    const Proportions p = MeasureProportions(InOriginal, InNewSize);
    Rect result = InNewSize;
    if (p.deltaX == 0) return result;
    // A flat original has no height to keep: its proportion gives a flat result.
    const double newY = p.deltaY == 0 ? 0.0 : p.newX / (p.deltaX / p.deltaY);
    result.bottom = SideFromLength(result.top, newY);
    return result;
}

Rect KeepPropsWithFixedVertical(const Rect& InOriginal, const Rect& InNewSize) {
    const Proportions p = MeasureProportions(InOriginal, InNewSize);
    Rect result = InNewSize;
    if (p.deltaY == 0) return result;
    const double newX = p.newY * (p.deltaX / p.deltaY);
    result.right = SideFromLength(result.left, newX);
    return result;
}

RGBColor SetRGBColor(int16_t R, int16_t G, int16_t B) {
    return RGBColor{uint16_t(R), uint16_t(G), uint16_t(B)};
}

void Num2Text(int32_t theNum, Str255 theText) {
    char digits[16];
    int n = 0;
    // Work in 64 bits so that the most negative value has a positive magnitude.
    int64_t magnitude = theNum < 0 ? -int64_t(theNum) : int64_t(theNum);
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (theNum < 0) digits[n++] = '-';
    theText[0] = uint8_t(n);
    for (int i = 0; i < n; ++i) theText[1 + i] = uint8_t(digits[n - 1 - i]);
}

void CToText(const char* source, Str255 theText) {
    theText[0] = 0;
    Str255 tail;
    const size_t length = std::min<size_t>(std::strlen(source), 255);
    tail[0] = uint8_t(length);
    std::memcpy(tail + 1, source, length);
    AppendText(theText, tail);
}

void AppendText(Str255 theText, ConstStr255Param tail) {
    const size_t room = 255 - theText[0];
    const size_t count = std::min<size_t>(tail[0], room);
    std::memmove(theText + 1 + theText[0], tail + 1, count);
    theText[0] = uint8_t(theText[0] + count);
}

CFStringRef MakeCFString(ConstStr255Param theText) {
    return CFStringCreateWithPascalString(kCFAllocatorDefault, theText, kCFStringEncodingMacRoman);
}

int16_t StandardWarning(ConstStr255Param Headline, ConstStr255Param Description,
                        ConstStr255Param OKText, ConstStr255Param CancelText) {
    CFStringRef headline = MakeCFString(Headline);
    CFStringRef description = MakeCFString(Description);
    CFStringRef okText = MakeCFString(OKText);
    CFStringRef cancelText = CancelText[0] > 0 ? MakeCFString(CancelText) : nullptr;

    AlertStdCFStringAlertParamRec param{};
    param.version = kStdCFStringAlertVersionOne;
    param.movable = true;
    param.helpButton = false;
    param.defaultText = okText;
    param.cancelText = cancelText;
    param.otherText = nullptr;
    param.defaultButton = kAlertStdAlertOKButton;
    param.cancelButton = kAlertStdAlertCancelButton;
    param.position = kWindowDefaultPosition;
    param.flags = 0;

    DialogRef alert = nullptr;
    DialogItemIndex itemHit = kAlertStdAlertOKButton;
    if (CreateStandardAlert(kAlertCautionAlert, headline, description, &param, &alert) == noErr)
        RunStandardAlert(alert, nullptr, &itemHit);
    for (CFStringRef s : {headline, description, okText, cancelText}) CFRelease(s);
    return itemHit;
}

void Terminate(ConstStr255Param Headline, ConstStr255Param Description) {
    CFStringRef headline = MakeCFString(Headline);
    CFStringRef description = MakeCFString(Description);
    DialogRef alert = nullptr;
    DialogItemIndex itemHit = 0;
    if (CreateStandardAlert(kAlertStopAlert, headline, description, nullptr, &alert) == noErr)
        RunStandardAlert(alert, nullptr, &itemHit);
    CFRelease(headline);
    CFRelease(description);
    ExitToShell();
}

void Assert(const void* ThePtr, const char* FailLocation) {
    if (ThePtr) return;
    Str255 headline, description, location;
    CToText("Assertion Failure", headline);
    CToText("Assertion failed in: ", description);
    CToText(FailLocation, location);
    AppendText(description, location);
    Terminate(headline, description);
}

void Notify(const char* TheMessage) {
    Str255 headline, message, ok, none;
    CToText("Internal Notification:", headline);
    CToText(TheMessage, message);
    CToText("ok", ok);
    none[0] = 0;
    StandardWarning(headline, message, ok, none);
}
