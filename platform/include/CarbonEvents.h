// Events, event handlers, toolbox object classes and mouse tracking (the platform's Carbon
// Event Manager, as used).
//
// Targets: every window and every control has an event target. Handlers installed on a target
// are called most recently installed first; a handler answers noErr when it handled the event
// and eventNotHandledErr to pass it on to the next. A custom control's class handler comes
// after the handlers installed on the control. Events are not propagated from a control to its
// window.
//
// What the toolkit sends by itself:
//   - a button or pop-up menu whose interface-file property `command` is set sends, when the
//     user activates it, kEventClassCommand / kEventCommandProcess with an HICommand whose
//     commandID is that code to its window's target. Escape and closing the window send
//     kHICommandCancel the same way.
//   - a custom control receives the kinds of kEventClassControl that its class registered:
//     kEventControlDraw when it must be drawn; on a mouse press kEventControlHitTest (with
//     kEventParamMouseLocation; the handler answers kEventParamControlPart, 0 = not hit, then
//     nothing more happens), then kEventControlTrack (mouse location and key modifiers of the
//     press; the handler follows the mouse with TrackMouseLocation and may answer the part
//     finally hit in kEventParamControlPart), then kEventControlHit (kEventParamControlPart)
//     when the part is not 0; kEventControlActivate when the control or its window is
//     activated or deactivated; kEventControlOwningWindowChanged once it is placed in its
//     window. Every control event carries the control as kEventParamDirectObject.
//     Without a track handler the toolkit follows the mouse itself and sends the hit when the
//     button is released over a part (hit test at the release position).
//
// Ownership: an EventRef from CreateEvent belongs to the caller (ReleaseEvent); an event given
// to a handler is lent for the call. Handlers live until RemoveEventHandler or until their
// target's window is disposed. A class lives from RegisterToolboxObjectClass to
// UnregisterToolboxObjectClass. Threading: main thread only.
#pragma once

#include "CFBase.h"
#include "CFString.h"
#include "Controls.h"
#include "MacTypes.h"
#include "MacWindows.h"
#include "QuickDraw.h"

PLATFORM_EXPORTS_BEGIN

typedef unsigned long ItemCount;
typedef unsigned long ByteCount;
typedef double EventTime;
typedef UInt32 EventAttributes;
typedef OSType EventParamName;
typedef OSType EventParamType;

typedef struct OpaqueEventRef* EventRef;
typedef struct OpaqueEventHandlerRef* EventHandlerRef;
typedef struct OpaqueEventHandlerCallRef* EventHandlerCallRef;
typedef struct OpaqueEventTargetRef* EventTargetRef;
typedef struct OpaqueToolboxObjectClass* ToolboxObjectClassRef;
typedef struct OpaqueMenuRef* MenuRef;
typedef UInt16 MenuItemIndex;

enum : OSStatus {
    errAECoercionFail = -1700,            // a parameter asked for with another type
    eventParameterNotFoundErr = -9870,    // the event has no such parameter
    eventNotHandledErr = -9874,           // no handler took the event
    hiObjectClassExistsErr = -22080,      // a class with that identifier is registered
    hiObjectClassHasInstancesErr = -22081 // controls of the class still exist
};

enum : UInt32 {
    kEventClassCommand = FOUR_CHAR_CODE("cmds"),
    kEventClassControl = FOUR_CHAR_CODE("cntl"),
};
enum : UInt32 { kEventCommandProcess = 1 };
enum : UInt32 {
    kEventControlHit = 1,
    kEventControlHitTest = 3,
    kEventControlDraw = 4,
    kEventControlActivate = 9,
    kEventControlTrack = 51,
    kEventControlOwningWindowChanged = 159,
};
enum : EventAttributes { kEventAttributeNone = 0 };

enum : EventParamName {
    kEventParamDirectObject = FOUR_CHAR_CODE("----"),  // the control, or the HICommand
    kEventParamMouseLocation = FOUR_CHAR_CODE("mloc"), // window content coordinates
    kEventParamKeyModifiers = FOUR_CHAR_CODE("kmod"),
    kEventParamControlPart = FOUR_CHAR_CODE("cprt"),
};
enum : EventParamType {
    typeWildCard = FOUR_CHAR_CODE("****"),        // GetEventParameter: accept any type
    typeControlRef = FOUR_CHAR_CODE("ctrl"),      // ControlRef, sizeof(ControlRef)
    typeQDPoint = FOUR_CHAR_CODE("QDpt"),         // Point, 4 bytes
    typeUInt32 = FOUR_CHAR_CODE("magn"),          // UInt32, 4 bytes
    typeControlPartCode = FOUR_CHAR_CODE("cprt"), // ControlPartCode, 2 bytes
    typeHICommand = FOUR_CHAR_CODE("hcmd"),       // HICommand, sizeof(HICommand)
};

// Key modifier bits of kEventParamKeyModifiers. On this platform the Alt key is option, the
// Ctrl key is control and the Meta (logo) key is command.
enum : UInt32 {
    cmdKey = 0x0100,
    shiftKey = 0x0200,
    optionKey = 0x0800,
    controlKey = 0x1000,
};

// Sent as typeHICommand with sizeof(HICommand) bytes; a reader asking for fewer bytes (the
// platform's 14) still gets attributes and commandID, which lead.
struct HICommand {
    UInt32 attributes;
    UInt32 commandID; // four-character code of the command
    struct {
        MenuRef menuRef; // always null here
        MenuItemIndex menuItemIndex;
    } menu;
};
enum : UInt32 {
    kHICommandOK = FOUR_CHAR_CODE("ok  "),
    kHICommandCancel = FOUR_CHAR_CODE("not!"),
};

struct EventTypeSpec {
    UInt32 eventClass;
    UInt32 eventKind;
};

typedef OSStatus (*EventHandlerProcPtr)(EventHandlerCallRef handlerCallRef, EventRef event,
                                        void* userData);
typedef EventHandlerProcPtr EventHandlerUPP;
// UPPs are plain function pointers here: New answers its argument, Dispose does nothing.
inline EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr proc) {
    return proc;
}
inline void DisposeEventHandlerUPP(EventHandlerUPP) {}

// Events made by code (to send to a target). `when` and `flags` are kept but unused.
OSStatus CreateEvent(CFAllocatorRef allocator, UInt32 classID, UInt32 kind, EventTime when,
                     EventAttributes flags, EventRef* outEvent);
EventRef RetainEvent(EventRef event);
void ReleaseEvent(EventRef event); // null: nothing
UInt32 GetEventClass(EventRef event);
UInt32 GetEventKind(EventRef event);

// Copies the parameter's data, at most bufferSize bytes, into outData and reports its type
// and full size (outActualType / outActualSize may be null). eventParameterNotFoundErr when
// the event lacks it; errAECoercionFail when desiredType is neither its type nor
// typeWildCard; paramErr for a null event or null outData.
OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType,
                           EventParamType* outActualType, ByteCount bufferSize,
                           ByteCount* outActualSize, void* outData);
// Adds or replaces the parameter with a copy of `size` bytes. paramErr for a null event, or
// null data with a non-zero size.
OSStatus SetEventParameter(EventRef event, EventParamName name, EventParamType type, ByteCount size,
                           const void* data);

// Targets of windows and controls: valid as long as their window; null for null.
EventTargetRef GetWindowEventTarget(WindowRef window);
EventTargetRef GetControlEventTarget(ControlRef control);

// Installs a handler for the listed event types. *outRef (may be null) removes it early.
// paramErr for a null target, handler or empty list.
OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, ItemCount numTypes,
                             const EventTypeSpec* list, void* userData, EventHandlerRef* outRef);
OSStatus RemoveEventHandler(EventHandlerRef handlerRef);
// Runs the target's handlers for the event as described above; the first answer other than
// eventNotHandledErr is the result, eventNotHandledErr when none took it.
OSStatus SendEventToEventTarget(EventRef event, EventTargetRef target);

// Custom control classes. A control of a window's interface file names its class by
// identifier; the class handler receives the listed kinds of kEventClassControl for every
// control of the class, with `handlerData` as user data. The identifier is copied.
// hiObjectClassExistsErr when that identifier is registered already; paramErr for a null
// identifier or handler. baseClass must be null (no class inherits here).
OSStatus RegisterToolboxObjectClass(CFStringRef classID, ToolboxObjectClassRef baseClass,
                                    ItemCount numEvents, const EventTypeSpec* eventList,
                                    EventHandlerUPP handler, void* handlerData,
                                    ToolboxObjectClassRef* outClassRef);
// hiObjectClassHasInstancesErr (class kept) while a window holds a control of the class.
OSStatus UnregisterToolboxObjectClass(ToolboxObjectClassRef classRef);

typedef UInt16 MouseTrackingResult;
enum : MouseTrackingResult {
    kMouseTrackingMouseDown = 1,
    kMouseTrackingMouseUp = 2,
    kMouseTrackingMouseExited = 3,  // the mouse left the port's rectangle
    kMouseTrackingMouseEntered = 4, // the mouse came back into it
    kMouseTrackingMouseDragged = 5, // moved with the button down, inside the port
    kMouseTrackingKeyModifiersChanged = 6,
    kMouseTrackingUserCancelled = 7,
    kMouseTrackingTimedOut = 8,
    kMouseTrackingMouseMoved = 9,
};

// Called from a kEventControlTrack handler: waits (running the event loop) for the next mouse
// event of the control being tracked and reports it in the coordinates of `port` (null: the
// tracked control's window port), which are window content coordinates. Mouse events are
// queued, so none is lost however many arrive at once. What was drawn into the port meanwhile
// is shown first. Once the release has been reported, or when nothing is being tracked, it
// answers kMouseTrackingMouseUp at once (the last known position). Modifier changes are not
// reported: the modifiers of the press hold for the whole drag. paramErr for null outputs.
OSStatus TrackMouseLocation(GrafPtr port, Point* outPt, MouseTrackingResult* outResult);

PLATFORM_EXPORTS_END
