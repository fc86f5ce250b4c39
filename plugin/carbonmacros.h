// The toolkit adapter: windows built from the bundle's interface files, controls reached by
// signature and number, and command codes as text.
#pragma once

#include "CarbonEvents.h"
#include "Controls.h"
#include "MacWindows.h"

// Bits of the 32-bit modifier word that a mouse event carries in kEventParamKeyModifiers.
#define CMDMASK 0x0100
#define SHIFTMASK 0x0200
#define OPTIONMASK 0x0800
#define CTRLMASK 0x1000

// A command code as four characters and a terminator, first character from the most
// significant byte.
struct CommandText {
    char Chars[5];
};

CommandText CommandID2Str(UInt32 TheCommandID);
// The command of a kEventCommandProcess event as text; four zero characters (matching no
// command) when the event carries none.
CommandText GetEventCommandText(EventRef TheEvent);
Boolean IsCommand(const CommandText& TheText, const char* TheCommand);

// Disabled or inactive: the highlight, read unsigned, is kControlDisabledPart or above. Such a
// custom control shows nothing of its own.
Boolean IsControlDimmed(ControlRef TheControl);

// Parameters of control events; a missing parameter reads as null, (0, 0) or no modifiers.
ControlRef GetEventControl(EventRef TheEvent);
Point GetEventMouseLocation(EventRef TheEvent);
UInt32 GetEventKeyModifiers(EventRef TheEvent);
void SetEventControlPart(EventRef TheEvent, ControlPartCode ThePart);

// A Core Foundation string of Mac OS Roman text, owned by the caller; null for null text.
CFStringRef MakeCFStringFromC(const char* TheText);

// Builds window TheWindow, hidden, from interface file TheNib ("" means CMYPLUGINNAME) of the
// bundle registered as TheIdentifier; the caller shows and disposes of it. Never returns null:
// a missing bundle or interface file ends the application with an alert, a window that cannot
// be built ends the process at once.
WindowRef OpenNibWindowFromCFBundle(const char* TheIdentifier, const char* TheNib,
                                    const char* TheWindow);

// Controls by signature and number. A control the window lacks reads as null or 0, and
// changing it does nothing.
ControlRef SimpleGetControlByID(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber);
SInt32 SimpleGetControlValueByID(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber);
void SimpleSetControlValueByID(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber,
                               SInt32 TheValue);
// Sets the control's text and redraws it at once.
void SimpleSetControlText(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber,
                          ConstStr255Param TheText);
// Sets the control's text; it shows at the toolkit's next update.
void SetEditTextForControl(ConstStr255Param TheText, WindowRef TheWindow, OSType TheSignature,
                           int16_t TheNumber);
void SimpleHideControl(WindowRef TheWindow, OSType TheSignature, int16_t TheNumber);
