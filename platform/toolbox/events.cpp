// Events, their parameters, handlers on targets, and dispatch (Carbon events over plain data).
#include "toolbox/events.h"

#include "toolbox/objectclasses.h"
#include "toolbox/windows.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_set>

struct OpaqueEventRef {
    struct Parameter {
        EventParamType type;
        std::vector<uint8_t> bytes;
    };
    UInt32 eventClass;
    UInt32 kind;
    long retainCount = 1;
    std::map<EventParamName, Parameter> parameters;
};

namespace {

// Handlers that may still be removed, so a stale EventHandlerRef is refused, not followed.
std::unordered_set<EventHandlerRef>& LiveHandlers() {
    static std::unordered_set<EventHandlerRef> handlers;
    return handlers;
}

bool HandlesType(const OpaqueEventHandlerRef& handler, const OpaqueEventRef& event) {
    return std::any_of(handler.types.begin(), handler.types.end(), [&](const EventTypeSpec& t) {
        return t.eventClass == event.eventClass && t.eventKind == event.kind;
    });
}

// The call reference handed to handlers; this platform has no next-handler call, so it only
// names the handler being called.
EventHandlerCallRef CallRefOf(OpaqueEventHandlerRef* handler) {
    return reinterpret_cast<EventHandlerCallRef>(handler);
}

} // namespace

OpaqueEventTargetRef::~OpaqueEventTargetRef() {
    for (auto& handler : handlers) {
        handler->removed = true;
        LiveHandlers().erase(handler.get());
    }
}

OSStatus CreateEvent(CFAllocatorRef, UInt32 classID, UInt32 kind, EventTime, EventAttributes,
                     EventRef* outEvent) {
    if (!outEvent) return paramErr;
    *outEvent = new OpaqueEventRef{classID, kind, 1, {}};
    return noErr;
}

EventRef RetainEvent(EventRef event) {
    if (event) ++event->retainCount;
    return event;
}

void ReleaseEvent(EventRef event) {
    if (event && --event->retainCount == 0) delete event;
}

UInt32 GetEventClass(EventRef event) {
    return event ? event->eventClass : 0;
}
UInt32 GetEventKind(EventRef event) {
    return event ? event->kind : 0;
}

OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType,
                           EventParamType* outActualType, ByteCount bufferSize,
                           ByteCount* outActualSize, void* outData) {
    if (!event || !outData) return paramErr;
    const auto found = event->parameters.find(name);
    if (found == event->parameters.end()) return eventParameterNotFoundErr;
    const OpaqueEventRef::Parameter& parameter = found->second;
    if (desiredType != typeWildCard && desiredType != parameter.type) return errAECoercionFail;
    std::memcpy(outData, parameter.bytes.data(),
                std::min<size_t>(bufferSize, parameter.bytes.size()));
    if (outActualType) *outActualType = parameter.type;
    if (outActualSize) *outActualSize = parameter.bytes.size();
    return noErr;
}

OSStatus SetEventParameter(EventRef event, EventParamName name, EventParamType type, ByteCount size,
                           const void* data) {
    if (!event || (!data && size != 0)) return paramErr;
    const auto* bytes = static_cast<const uint8_t*>(data);
    event->parameters[name] = {type, std::vector<uint8_t>(bytes, bytes + size)};
    return noErr;
}

OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, ItemCount numTypes,
                             const EventTypeSpec* list, void* userData, EventHandlerRef* outRef) {
    if (outRef) *outRef = nullptr;
    if (!target || !handler || numTypes == 0 || !list) return paramErr;
    auto entry = std::make_shared<OpaqueEventHandlerRef>(OpaqueEventHandlerRef{
        target, handler, std::vector<EventTypeSpec>(list, list + numTypes), userData});
    LiveHandlers().insert(entry.get());
    if (outRef) *outRef = entry.get();
    target->handlers.push_back(std::move(entry));
    return noErr;
}

OSStatus RemoveEventHandler(EventHandlerRef handlerRef) {
    if (!LiveHandlers().erase(handlerRef)) return paramErr;
    handlerRef->removed = true;
    auto& handlers = handlerRef->target->handlers;
    std::erase_if(handlers, [&](const auto& entry) { return entry.get() == handlerRef; });
    return noErr;
}

OSStatus SendEventToEventTarget(EventRef event, EventTargetRef target) {
    if (!event || !target) return paramErr;
    // The window stays alive until the handlers are done, even if one of them disposes of it.
    tb::WindowKeeper keeper(target->window);
    const auto snapshot = target->handlers; // handlers may be installed or removed meanwhile
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        OpaqueEventHandlerRef& handler = **it;
        if (handler.removed || !HandlesType(handler, *event)) continue;
        const OSStatus result = handler.proc(CallRefOf(&handler), event, handler.userData);
        if (result != eventNotHandledErr) return result;
    }
    if (target->objectClass &&
        tb::ClassHandlesKind(target->objectClass, event->eventClass, event->kind))
        return tb::CallClassHandler(target->objectClass, event);
    return eventNotHandledErr;
}

namespace tb {

EventHolder NewEvent(UInt32 eventClass, UInt32 kind) {
    EventRef event = nullptr;
    CreateEvent(nullptr, eventClass, kind, 0, kEventAttributeNone, &event);
    return EventHolder(event);
}

OSStatus SendCommand(WindowRef window, UInt32 command) {
    EventHolder event = NewEvent(kEventClassCommand, kEventCommandProcess);
    const HICommand hiCommand{0, command, {nullptr, 0}};
    SetEventParameter(event.get(), kEventParamDirectObject, typeHICommand, sizeof hiCommand,
                      &hiCommand);
    return SendEventToEventTarget(event.get(), GetWindowEventTarget(window));
}

EventHolder NewControlEvent(ControlRef control, UInt32 kind) {
    EventHolder event = NewEvent(kEventClassControl, kind);
    SetEventParameter(event.get(), kEventParamDirectObject, typeControlRef, sizeof control,
                      &control);
    return event;
}

OSStatus SendControlEvent(ControlRef control, UInt32 kind) {
    return SendEventToEventTarget(NewControlEvent(control, kind).get(),
                                  GetControlEventTarget(control));
}

} // namespace tb
