// Failure seams of the platform's core, for tests only: the plug-in and the host never include
// this. Process-wide, so a test that sets one runs its requests on one thread.
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

// Make the n-th allocation from now fail (1 = the next one); 0 turns it off. Counts NewPtr,
// NewPtrClear, NewHandleClear, SetHandleSize and image allocations. Answers how many allocations
// the failure set before was still waiting for: 0 once it has happened (or none was set).
long MemTestFailAllocation(long n);

// Make the n-th file write from now fail (1 = the next); 0 turns it off. Answers, as
// MemTestFailAllocation does, how many writes the failure set before was still waiting for.
long ResTestFailWrite(long n);

PLATFORM_EXPORTS_END
