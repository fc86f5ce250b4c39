// Platform-internal: the registry of custom control classes (toolbox object classes).
#pragma once

#include "CarbonEvents.h"

#include <string>

namespace tb {

// The registered class with that identifier, or null.
ToolboxObjectClassRef FindClass(const std::string& identifier);
const std::string& ClassIdentifier(ToolboxObjectClassRef objectClass);
bool ClassHandlesKind(ToolboxObjectClassRef objectClass, UInt32 eventClass, UInt32 kind);
OSStatus CallClassHandler(ToolboxObjectClassRef objectClass, EventRef event);

// Controls of a class count as its instances: a class with instances cannot be unregistered.
void AddInstance(ToolboxObjectClassRef objectClass);
void RemoveInstance(ToolboxObjectClassRef objectClass);

} // namespace tb
