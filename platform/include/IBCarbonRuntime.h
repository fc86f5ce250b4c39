// Windows built from the interface files of a bundle (the platform's Interface Builder
// services).
//
// An interface file "NAME" is the folder Contents/Resources/NAME.nib of a bundle; a window
// "W" in it is the Qt Designer file W.ui in that folder. Conventions of the .ui files:
//   - a control the code looks up carries the dynamic properties `signature` (string of four
//     characters, trailing blanks kept; write blanks as &#32;) and `number` (int);
//   - a button or pop-up menu that sends a command carries `command` (four characters);
//   - a custom control is a widget of class "CustomControl" (declared as a custom widget
//     extending QWidget) with the string property `toolboxClass` naming a class registered
//     with RegisterToolboxObjectClass, and optionally the int properties `minimum`, `maximum`
//     and `value` (0 when absent).
// Threading: main thread only.
#pragma once

#include "CFBundle.h"
#include "MacWindows.h"

PLATFORM_EXPORTS_BEGIN

typedef struct OpaqueIBNibRef* IBNibRef;

enum : OSStatus {
    kIBCarbonRuntimeCantFindNibFile = -10960,          // no such interface file
    kIBCarbonRuntimeObjectNotOfRequestedType = -10961, // a form that is not valid (see below)
    kIBCarbonRuntimeCantFindObject = -10962,           // no such window in the file
};

// Opens the interface file `nibName` of the bundle. Owned by the caller (DisposeNibReference).
// kIBCarbonRuntimeCantFindNibFile when the folder is missing; paramErr for null arguments.
OSStatus CreateNibReferenceWithCFBundle(CFBundleRef bundle, CFStringRef nibName,
                                        IBNibRef* outNibRef);
// Builds the window `name`, hidden, with its port and controls; owned by the caller
// (DisposeWindow), and independent of the reference afterwards. Errors, each also written to
// standard error with the file and the control at fault:
//   kIBCarbonRuntimeCantFindObject: no W.ui in the folder;
//   kIBCarbonRuntimeObjectNotOfRequestedType: the form cannot be read, a widget came out of
//     another class than the form names, or a custom control names a class that is not
//     registered;
//   kToolboxNoGUIErr (MacWindows.h): no QApplication; paramErr: null arguments.
OSStatus CreateWindowFromNib(IBNibRef nibRef, CFStringRef name, WindowRef* outWindow);
void DisposeNibReference(IBNibRef nibRef); // null: nothing

PLATFORM_EXPORTS_END
