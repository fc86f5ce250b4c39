// Reference-counted platform objects (the platform's Core Foundation base).
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

typedef const void* CFTypeRef;
typedef struct OpaqueCFAllocator* CFAllocatorRef;
#define kCFAllocatorDefault ((CFAllocatorRef) nullptr)
typedef long CFIndex;

// Retain adds an owner; Release drops one and frees the object with the last. Null: nothing.
CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFIndex CFGetRetainCount(CFTypeRef cf);

PLATFORM_EXPORTS_END
