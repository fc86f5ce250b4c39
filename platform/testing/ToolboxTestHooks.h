// Test seams of the window toolkit: load forms from any folder, reach the widgets behind
// windows and controls, and answer the colour picker, document opening and alerts.
//
// For tests only; the plug-in never includes this. Everything is main thread only. Hooks are
// process-wide; a null procedure puts the real behaviour back.
#pragma once

#include "CarbonEvents.h"
#include "Controls.h"
#include "Dialogs.h"
#include "IBCarbonRuntime.h"
#include "MacWindows.h"

PLATFORM_EXPORTS_BEGIN

class QWidget;

// An interface file reference for the folder `nibFolder` (holding W.ui files), as
// CreateNibReferenceWithCFBundle gives for a bundle. kIBCarbonRuntimeCantFindNibFile when the
// folder does not exist; paramErr for null arguments.
OSStatus ToolboxCreateNibReferenceAtPath(const char* nibFolder, IBNibRef* outNibRef);

// The widgets behind a window, a control, or the button / pop-up menu sending `commandID` in
// a window (the first in the form's order); null when there is none. Owned by the window.
QWidget* ToolboxWindowWidget(WindowRef window);
QWidget* ToolboxControlWidget(ControlRef control);
QWidget* ToolboxCommandWidget(WindowRef window, UInt32 commandID);

// Called from inside every RunAppModalLoopForWindow once its loop runs and the window shows,
// so that a test can drive the window (and end the loop) from there.
typedef void (*ToolboxModalLoopHook)(WindowRef window, void* refCon);
void ToolboxSetModalLoopHook(ToolboxModalLoopHook hook, void* refCon);

// Answers NPickColor instead of the dialog: true with *chosen filled means a colour was
// chosen, false means cancelled. The prompt is UTF-8.
typedef Boolean (*ToolboxColorPickerHook)(const char* prompt, const RGBColor* start,
                                          RGBColor* chosen, void* refCon);
void ToolboxSetColorPickerHook(ToolboxColorPickerHook hook, void* refCon);

// Receives LSOpenFSRef's path instead of the desktop; its answer is LSOpenFSRef's result.
typedef OSStatus (*ToolboxDocumentOpenerHook)(const char* path, void* refCon);
void ToolboxSetDocumentOpenerHook(ToolboxDocumentOpenerHook hook, void* refCon);

// Installs the message-box alert presenter (as ToolboxStartGUI does); false, and nothing
// installed, without a QApplication. SetStandardAlertPresenter(nullptr, ...) removes it.
Boolean ToolboxInstallMessageBoxPresenter(void);
// Called while a message box is open (QApplication::activeModalWidget() is the box); the box
// button with the number answered (1 default, 2 cancel, 3 other) is then clicked.
typedef DialogItemIndex (*ToolboxAlertAnswerHook)(const AlertContent* alert, void* refCon);
void ToolboxSetAlertAnswerHook(ToolboxAlertAnswerHook hook, void* refCon);

PLATFORM_EXPORTS_END
