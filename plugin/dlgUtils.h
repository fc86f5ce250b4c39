// The geometry of editing the region on the preview: drawing it with its handles, hit-testing
// the handles and working out the rectangle for a mouse movement. Pixel rectangles in window
// coordinates throughout.
#pragma once

#include "MacWindows.h"
#include "PluginDefines.h"

// What a mouse position hits on the region.
enum : int16_t {
    kHandleNone = 0,
    kHandleTopLeft = 1,
    kHandleTopRight = 2,
    kHandleBottomLeft = 3,
    kHandleBottomRight = 4,
    kHandleInside = 5,
};

// The handle number TheLoc hits on TheRect; corners win over the inside, lower over higher.
int16_t IsHandleHit(const Rect& TheRect, Point TheLoc);
// Three rings (black, white, black) at each corner of TheRect in the current port. TheColor
// is not used: the rings must show on any preview.
void DrawHandles(const Rect& TheRect, const RGBColor& TheColor);
// The preview scaled into DestRect of the window's port, the region's outline and handles
// clipped to DestRect, and a black border. The window's port must be the current port.
void DrawFrameContents(WindowRef TheWindow, const Rect& DestRect);
// Moves TheRect by the movement OldLoc to NewLoc; Modifiers have no effect.
void DragRect(Rect* TheRect, Point OldLoc, Point NewLoc, UInt32 Modifiers);
// Moves corner TheHandle (1 to 4; any other leaves TheRect) by the movement OldLoc to NewLoc.
// OPTIONMASK moves the opposite corner the other way; SHIFTMASK then keeps the proportions
// of OrigRel, the region at the start of the drag, in TheFrame.
void DragCorner(int16_t TheHandle, Rect* TheRect, Point OldLoc, Point NewLoc, UInt32 Modifiers,
                const Rect& TheFrame, const RelRect& OrigRel);
