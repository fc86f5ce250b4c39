// Custom control classes: registered by identifier with the event kinds their handler takes.
#include "toolbox/objectclasses.h"

#include "toolbox/guiapp.h"

#include <algorithm>
#include <memory>
#include <vector>

struct OpaqueToolboxObjectClass {
    std::string identifier;
    std::vector<EventTypeSpec> events;
    EventHandlerUPP handler;
    void* handlerData;
    long instances = 0;
};

namespace {

std::vector<std::unique_ptr<OpaqueToolboxObjectClass>>& Registry() {
    static std::vector<std::unique_ptr<OpaqueToolboxObjectClass>> classes;
    return classes;
}

auto FindRegistered(ToolboxObjectClassRef objectClass) {
    auto& classes = Registry();
    return std::find_if(classes.begin(), classes.end(),
                        [&](const auto& entry) { return entry.get() == objectClass; });
}

} // namespace

OSStatus RegisterToolboxObjectClass(CFStringRef classID, ToolboxObjectClassRef baseClass,
                                    ItemCount numEvents, const EventTypeSpec* eventList,
                                    EventHandlerUPP handler, void* handlerData,
                                    ToolboxObjectClassRef* outClassRef) {
    if (outClassRef) *outClassRef = nullptr;
    if (!classID || baseClass || !handler || (numEvents > 0 && !eventList)) return paramErr;
    const std::string identifier = tb::TextOfCFString(classID).toStdString();
    if (identifier.empty()) return paramErr;
    if (tb::FindClass(identifier)) return hiObjectClassExistsErr;
    auto entry = std::make_unique<OpaqueToolboxObjectClass>(OpaqueToolboxObjectClass{
        identifier, std::vector<EventTypeSpec>(eventList, eventList + numEvents), handler,
        handlerData});
    if (outClassRef) *outClassRef = entry.get();
    Registry().push_back(std::move(entry));
    return noErr;
}

OSStatus UnregisterToolboxObjectClass(ToolboxObjectClassRef classRef) {
    const auto found = FindRegistered(classRef);
    if (found == Registry().end()) return paramErr;
    if ((*found)->instances > 0) return hiObjectClassHasInstancesErr;
    Registry().erase(found);
    return noErr;
}

namespace tb {

ToolboxObjectClassRef FindClass(const std::string& identifier) {
    for (const auto& entry : Registry())
        if (entry->identifier == identifier) return entry.get();
    return nullptr;
}

const std::string& ClassIdentifier(ToolboxObjectClassRef objectClass) {
    return objectClass->identifier;
}

bool ClassHandlesKind(ToolboxObjectClassRef objectClass, UInt32 eventClass, UInt32 kind) {
    const auto& events = objectClass->events;
    return std::any_of(events.begin(), events.end(), [&](const EventTypeSpec& type) {
        return type.eventClass == eventClass && type.eventKind == kind;
    });
}

OSStatus CallClassHandler(ToolboxObjectClassRef objectClass, EventRef event) {
    return objectClass->handler(nullptr, event, objectClass->handlerData);
}

void AddInstance(ToolboxObjectClassRef objectClass) {
    ++objectClass->instances;
}
void RemoveInstance(ToolboxObjectClassRef objectClass) {
    --objectClass->instances;
}

} // namespace tb
