// Standard alerts and ending the application (the platform's Dialog Manager, as used).
//
// Without a window system an alert is written to standard error and answered with its
// default button. A presenter installed by the window toolkit, or by a test, shows or answers
// it instead. Main thread only.
#pragma once

#include "CFString.h"

PLATFORM_EXPORTS_BEGIN

typedef struct OpaqueDialogRef* DialogRef;
typedef int16_t DialogItemIndex;
typedef int16_t AlertType;
typedef void* ModalFilterUPP;

enum : AlertType {
    kAlertStopAlert = 0,
    kAlertNoteAlert = 1,
    kAlertCautionAlert = 2,
    kAlertPlainAlert = 3,
};
enum : DialogItemIndex {
    kAlertStdAlertOKButton = 1,
    kAlertStdAlertCancelButton = 2,
    kAlertStdAlertOtherButton = 3,
};
enum : uint32_t { kStdCFStringAlertVersionOne = 1 };
enum : uint16_t { kWindowDefaultPosition = 0 };

struct AlertStdCFStringAlertParamRec {
    uint32_t version;
    Boolean movable;
    Boolean helpButton;
    CFStringRef defaultText; // null: "OK"
    CFStringRef cancelText;  // null: no cancel button
    CFStringRef otherText;   // null: no third button
    int16_t defaultButton;
    int16_t cancelButton;
    uint16_t position;
    uint32_t flags;
};

// The alert keeps its own references to the strings. Null param: one default button, "OK".
OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec* param, DialogRef* outAlert);
// Shows the alert, answers the button pressed (1 default, 2 cancel, 3 other) and disposes of it.
OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP filterProc,
                          DialogItemIndex* outItemHit);

// Ends the application at once with a non-zero exit status (standard streams flushed).
[[noreturn]] void ExitToShell(void);

// What a presenter sees of an alert: UTF-8 texts; buttons[i] null when button i + 1 is absent.
struct AlertContent {
    AlertType type;
    const char* headline;
    const char* explanation;
    const char* buttons[3];
    DialogItemIndex defaultButton;
};
typedef DialogItemIndex (*AlertPresenterProc)(const AlertContent* alert, void* refCon);
// Installs the presenter (null: the console one) and answers the one it replaces.
AlertPresenterProc SetStandardAlertPresenter(AlertPresenterProc proc, void* refCon,
                                             void** previousRefCon);

PLATFORM_EXPORTS_END
