// Common procedures: offscreen images and rectangle geometry, text, alerts and assertions.
#pragma once

#include "CFString.h"
#include "MacTypes.h"
#include "QuickDraw.h"

// Images. The receiver of an image owns it and releases it with DisposeGWorld.
GWorldPtr AllocateRectGWorld(const Rect& TheRect); // bounds moved to (0, 0), locked; null on failure
void LockGWorld(GWorldPtr TheGW);
Rect GetPortRect(CGrafPtr ThePort);

// Rectangle geometry.
void GetDims(const Rect& TheRect, int32_t* Wid, int32_t* Hig);
Rect KeepPropsWithFixedHorizontal(const Rect& InOriginal, const Rect& InNewSize);
Rect KeepPropsWithFixedVertical(const Rect& InOriginal, const Rect& InNewSize);
RGBColor SetRGBColor(int16_t R, int16_t G, int16_t B);

// Length-prefixed text of at most 255 bytes; longer text is cut.
void Num2Text(int32_t theNum, Str255 theText);
void CToText(const char* source, Str255 theText);
void AppendText(Str255 theText, ConstStr255Param tail);
CFStringRef MakeCFString(ConstStr255Param theText); // owned by the caller

// Alerts. Button numbers: 1 default, 2 cancel.
int16_t StandardWarning(ConstStr255Param Headline, ConstStr255Param Description,
                        ConstStr255Param OKText, ConstStr255Param CancelText);
[[noreturn]] void Terminate(ConstStr255Param Headline, ConstStr255Param Description);
void Assert(const void* ThePtr, const char* FailLocation); // ends the application on null
void Notify(const char* TheMessage);
