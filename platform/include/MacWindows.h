// Windows, their ports and application-modal loops (the platform's Window Manager, as used).
//
// A window is built from an interface file (IBCarbonRuntime.h) and is a real Qt window. It
// owns a port: an offscreen image (QuickDraw.h) the size of its content, whose top-left is
// (0, 0) and whose coordinates are the window's content coordinates. Custom controls draw into
// the port and show their part of it (Controls.h). The window also owns its controls, its
// event target and every handler installed on them.
//
// Threading: main thread only, the thread that made the QApplication. Every call that needs
// widgets fails safely (an error result, or nothing) when no QApplication exists.
#pragma once

#include "MacTypes.h"
#include "QuickDraw.h"

PLATFORM_EXPORTS_BEGIN

typedef struct OpaqueWindowPtr* WindowRef;
typedef WindowRef WindowPtr;

enum : OSStatus {
    errInvalidWindowRef = -5600, // null or disposed window
    kToolboxNoGUIErr = -5699,    // this stand-in's own code: no QApplication to show windows in
};

// Creates the QApplication when a display is possible (QT_QPA_PLATFORM, DISPLAY or
// WAYLAND_DISPLAY set) and installs the message-box alert presenter. True when a QApplication
// exists afterwards (also one made earlier by someone else); false, touching nothing, when no
// display is possible. *argc and argv must stay valid until ToolboxEndGUI.
Boolean ToolboxStartGUI(int* argc, char** argv);
// Deletes the QApplication that ToolboxStartGUI made (not one made by someone else) and puts
// the console alert presenter back. Call before leaving main; nothing when there is none.
void ToolboxEndGUI(void);

// Showing. ShowWindow / HideWindow change visibility only; SelectWindow shows the window,
// raises it and makes it active. Null or disposed windows: nothing.
void ShowWindow(WindowRef window);
void HideWindow(WindowRef window);
Boolean IsWindowVisible(WindowRef window);
void SelectWindow(WindowRef window);

// Hides and destroys the window with its controls, port and handlers; every ControlRef of it
// becomes invalid. Ends its modal loop first if one is running. If the port was the current
// port, there is no current port afterwards. Null: nothing.
void DisposeWindow(WindowRef window);

// The window's port (owned by the window, valid until DisposeWindow); null for a null window.
CGrafPtr GetWindowPort(WindowRef window);
// Makes the window's port the current port (SetGWorld with no device). Null: nothing.
void SetPortWindowPort(WindowRef window);

// Shows the window application-modal and runs a nested event loop until
// QuitAppModalLoopForWindow(window). Loops nest: a loop run from inside another returns first,
// and each ends only by its own Quit call, by Escape or by closing the window (both of which
// first send the command kHICommandCancel to the window, CarbonEvents.h). Escape, closing and
// disposal end the loop; the window stays alive (hidden after Escape or closing) until
// DisposeWindow. Answers noErr when the loop has ended; errInvalidWindowRef for a null window,
// kToolboxNoGUIErr without a QApplication, paramErr when this window's loop already runs.
OSStatus RunAppModalLoopForWindow(WindowRef window);
// Ends the window's running modal loop; the loop returns once control comes back to it.
// paramErr when no loop of this window runs; errInvalidWindowRef for a null window.
OSStatus QuitAppModalLoopForWindow(WindowRef window);

PLATFORM_EXPORTS_END
