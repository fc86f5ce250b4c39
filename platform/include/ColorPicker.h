// The colour picker (the platform's Color Picker Manager, as used): a modal colour dialog.
//
// Threading: main thread only; NPickColor runs a nested event loop until the user closes it.
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

typedef struct OpaqueCMProfileRef* CMProfileHandle;

struct CMRGBColor {
    UInt16 red, green, blue; // 0 .. 65535 each
};
// Only the RGB form of a colour is used by this platform.
union CMColor {
    CMRGBColor rgb;
};

struct NPMColor {
    CMProfileHandle profile; // ignored: colours are plain device RGB here
    CMColor color;
};

struct PickerMenuItemInfo {
    int16_t editMenuID, cutItem, copyItem, pasteItem, clearItem, undoItem; // ignored
};

typedef int16_t DialogPlacementSpec;
enum : DialogPlacementSpec {
    kAtSpecifiedOrigin = 0,
    kDeepestColorScreen = 1,
    kCenterOnMainScreen = 2,
};

enum : UInt32 {
    kColorPickerDialogIsMoveable = 1,
    kColorPickerDialogIsModal = 2,
    kColorPickerCanModifyPalette = 4,
    kColorPickerCanAnimatePalette = 8,
    kColorPickerAppIsColorSyncAware = 16,
    kColorPickerInSystemDialog = 32,
    kColorPickerInApplicationDialog = 64,
    kColorPickerInPickerDialog = 128,
};

typedef void* UserEventUPP;     // never called here
typedef void* NColorChangedUPP; // never called here

struct NColorPickerInfo {
    NPMColor theColor;          // in: the start colour; out: the colour chosen
    CMProfileHandle dstProfile; // ignored
    UInt32 flags;               // the dialog is always modal and movable here
    DialogPlacementSpec placeWhere;
    Point dialogOrigin; // global position, used with kAtSpecifiedOrigin
    OSType pickerType;  // ignored: one picker
    UserEventUPP eventProc;
    NColorChangedUPP colorProc;
    UInt32 colorProcData;
    Str255 prompt; // the dialog's title, Mac OS Roman, length-prefixed
    PickerMenuItemInfo mInfo;
    Boolean newColorChosen; // out: true when the user accepted a colour
    int8_t reserved;
};

// Shows the modal colour dialog starting at theColor.color.rgb with the prompt as its title.
// noErr when the dialog ran: newColorChosen and theColor tell what the user did (cancelling
// leaves theColor as it was). paramErr for null info; kToolboxNoGUIErr (MacWindows.h) when
// there is no QApplication and no test answer is installed (ToolboxTestHooks.h).
OSErr NPickColor(NColorPickerInfo* info);

PLATFORM_EXPORTS_END
