// Failure seams of the platform's core, for tests only: the plug-in and the host never include
// this. Process-wide, so a test that sets one runs its requests on one thread.
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

// Make the n-th allocation from now fail (1 = the next one); 0 turns it off. Counts NewPtr,
// NewPtrClear, NewHandleClear, SetHandleSize, images and pixel reserves. Answers how many
// allocations the failure set before was still waiting for: 0 once it has happened (or none was
// set).
long MemTestFailAllocation(long n);

// Make the n-th whole-file read from now fail as the disk would (ioErr; 1 = the next); 0 turns it
// off. Answers, as MemTestFailAllocation does, how many reads the failure set before was still
// waiting for.
long ResTestFailRead(long n);

// Make the n-th file write from now fail (1 = the next); 0 turns it off. Answers, as
// MemTestFailAllocation does, how many writes the failure set before was still waiting for.
long ResTestFailWrite(long n);

// Make the process kill itself (SIGKILL), as a crash would, at the n-th step of file writes from
// now (1 = the next); 0 turns it off. A write replacing a file has these steps, in order: its new
// file made beside the target; the new file locked and given the target's mode; all its bytes
// written; flushed; closed; moved over the target; the folder flushed. A write creating a file
// has the same first five, then: linked as the target; the new file's name removed; the folder
// flushed. Answers, as MemTestFailAllocation does, how many steps the kill set before was still
// waiting for.
long ResTestKillWriteAt(long n);

// Make MPProcessors answer `count` (0: the system's own count again), so that a test sees the
// same worker sets on any machine. Answers the count set before (0 when none was).
UInt32 MPTestSetProcessors(UInt32 count);

PLATFORM_EXPORTS_END
