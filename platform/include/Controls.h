// Controls found by signature and number, their values, text and visibility (the platform's
// Control Manager, as used).
//
// Every control belongs to one window and lives until DisposeWindow of that window; a
// ControlRef must not be used after that. A control is one widget of the window's interface
// file carrying the properties `signature` and `number` (IBCarbonRuntime.h).
//
// Values by kind of control:
//   slider (QSlider, QScrollBar, QDial): its position; range as the widget's.
//   pop-up menu (QComboBox): the chosen item's 1-based number; range 1 .. number of items.
//   check box or radio button: 1 checked, 0 not; range 0 .. 1.
//   custom control (CarbonEvents.h, toolbox object classes): a stored 32-bit value with a
//     stored range, 0 .. 0 at first; changing the value redraws the control.
//   anything else (buttons, texts): a stored value with a stored range, 0 .. 0 at first.
// Every value set is clamped into the control's range; setting a bound past the other bound
// moves the other bound too, and the value follows into the new range. The range of a pop-up
// menu or a check box cannot be set.
//
// A value changed from code never calls the control's action procedure; a slider the user
// drags or steps calls it after every change of its value (live tracking).
//
// Threading: main thread only. Null controls are ignored by setters and read as 0 / false.
#pragma once

#include "MacTypes.h"
#include "MacWindows.h"

PLATFORM_EXPORTS_BEGIN

typedef struct OpaqueControlRef* ControlRef;
typedef ControlRef ControlHandle;
typedef int16_t ControlPartCode;

struct ControlID {
    OSType signature; // four-character code, first character in the most significant byte
    SInt32 id;
};

enum : ControlPartCode {
    kControlNoPart = 0,
    kControlEntireControl = 0, // the part to give SetControlData for a whole control
    kControlUpButtonPart = 20,
    kControlDownButtonPart = 21,
    kControlPageUpPart = 22,
    kControlPageDownPart = 23,
    kControlIndicatorPart = 129, // a slider's thumb, dragged
    kControlDisabledPart = 254,  // GetControlHilite of a disabled control
    kControlInactivePart = 255,  // GetControlHilite of a deactivated control
};

typedef ResType ControlDataTag;
enum : ControlDataTag {
    // Text of a static text, edit text or a button title: bytes in Mac OS Roman, no length byte.
    kControlStaticTextTextTag = FOUR_CHAR_CODE("text"),
    kControlEditTextTextTag = FOUR_CHAR_CODE("text"),
};

enum : OSStatus {
    errDataNotSupported = -30581, // a tag or part the control does not have
    errUnknownControl = -30584,   // no control with that identifier in the window
    errInvalidControlRef = -30585 // null control
};

// The control of `window` with that identifier; *outControl is null and the result
// errUnknownControl when the window has none (also for a null window or identifier).
OSStatus GetControlByID(WindowRef window, const ControlID* inID, ControlRef* outControl);

SInt32 GetControl32BitValue(ControlRef control);
SInt32 GetControl32BitMinimum(ControlRef control);
SInt32 GetControl32BitMaximum(ControlRef control);
void SetControl32BitValue(ControlRef control, SInt32 value);
void SetControl32BitMinimum(ControlRef control, SInt32 minimum);
void SetControl32BitMaximum(ControlRef control, SInt32 maximum);

// Visibility of the control itself (a visible control of a hidden window counts as visible).
void HideControl(ControlRef control);
void ShowControl(ControlRef control);
Boolean IsControlVisible(ControlRef control);

// Highlight: kControlDisabledPart while disabled, kControlInactivePart while deactivated,
// kControlNoPart otherwise. Activating or deactivating sends a custom control
// kEventControlActivate; both redraw the control.
ControlPartCode GetControlHilite(ControlRef control);
void EnableControl(ControlRef control);
void DisableControl(ControlRef control);
void ActivateControl(ControlRef control);
void DeactivateControl(ControlRef control);

// Tag kControlStaticTextTextTag / kControlEditTextTextTag, part kControlEntireControl: sets
// the text of a text field, edit field or button from `size` bytes of Mac OS Roman. The new
// text shows at the next update. errDataNotSupported for another tag, part or kind of control;
// paramErr for a negative size or null data with a non-zero size.
OSErr SetControlData(ControlRef control, ControlPartCode part, ControlDataTag tag, Size size,
                     const void* data);
// Copies at most bufferSize bytes of the control's text (Mac OS Roman, no terminator) into
// buffer and the full length into *actualSize (either may be null). Characters with no Mac OS
// Roman form come out as '?'. Same errors as SetControlData.
OSErr GetControlData(ControlRef control, ControlPartCode part, ControlDataTag tag, Size bufferSize,
                     void* buffer, Size* actualSize);
// Redraws the control at once (a custom control receives kEventControlDraw before returning).
void Draw1Control(ControlRef control);

// The window that owns the control; null for a null control.
WindowRef GetControlOwner(ControlRef control);
// The control's rectangle in its window's content (= port) coordinates; null control: empty.
Rect* GetControlBounds(ControlRef control, Rect* bounds);

// Action procedures: called while the user tracks the control, after each change of value,
// with the part being tracked. UPPs are plain function pointers here: New answers its argument
// and Dispose does nothing, so either may be called freely.
typedef void (*ControlActionProcPtr)(ControlRef control, ControlPartCode part);
typedef ControlActionProcPtr ControlActionUPP;
inline ControlActionUPP NewControlActionUPP(ControlActionProcPtr proc) {
    return proc;
}
inline void DisposeControlActionUPP(ControlActionUPP) {}
// Installs (null: removes) the procedure; it stays until replaced or the window goes.
void SetControlAction(ControlRef control, ControlActionUPP action);

PLATFORM_EXPORTS_END
