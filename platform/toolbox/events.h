// Platform-internal: event targets and the events the toolkit sends by itself.
#pragma once

#include "CarbonEvents.h"

#include <memory>
#include <vector>

// An installed handler; removed ones stay marked until no dispatch holds them.
struct OpaqueEventHandlerRef {
    EventTargetRef target;
    EventHandlerUPP proc;
    std::vector<EventTypeSpec> types;
    void* userData;
    bool removed = false;
};

// The handlers of one window or control, and for a custom control the class that answers
// after them. Owned by its window or control.
struct OpaqueEventTargetRef {
    explicit OpaqueEventTargetRef(WindowRef ownerWindow) : window(ownerWindow) {}
    ~OpaqueEventTargetRef();
    OpaqueEventTargetRef(const OpaqueEventTargetRef&) = delete;
    OpaqueEventTargetRef& operator=(const OpaqueEventTargetRef&) = delete;

    WindowRef window; // kept alive while one of its targets dispatches
    std::vector<std::shared_ptr<OpaqueEventHandlerRef>> handlers; // oldest first
    ToolboxObjectClassRef objectClass = nullptr;
};

namespace tb {

// Owns an event for the length of a scope.
struct EventReleaser {
    void operator()(EventRef event) const { ReleaseEvent(event); }
};
using EventHolder = std::unique_ptr<std::remove_pointer_t<EventRef>, EventReleaser>;

EventHolder NewEvent(UInt32 eventClass, UInt32 kind);

// Sends kEventClassCommand / kEventCommandProcess with an HICommand for `command` to the
// window's target; answers the handlers' result.
OSStatus SendCommand(WindowRef window, UInt32 command);

// A kEventClassControl event of `kind` carrying the control as its direct object.
EventHolder NewControlEvent(ControlRef control, UInt32 kind);
// Sends a control event that carries nothing more than the control.
OSStatus SendControlEvent(ControlRef control, UInt32 kind);

} // namespace tb
