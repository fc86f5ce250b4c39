// Pointers and handles that know their size (the platform's Memory Manager).
//
// Blocks are zero-filled on request, owned by whoever allocated them and released with the
// matching Dispose call. Threading: any thread, but the failure seam below is process-wide.
#pragma once

#include "MacTypes.h"

Ptr NewPtr(Size byteCount);
Ptr NewPtrClear(Size byteCount); // null on failure or a negative count
void DisposePtr(Ptr p);          // null: nothing
Size GetPtrSize(Ptr p);          // the size asked for at allocation; 0 for null

Handle NewHandleClear(Size byteCount);
void DisposeHandle(Handle h);
Size GetHandleSize(Handle h);
OSErr SetHandleSize(Handle h, Size newSize); // keeps the contents up to the smaller size
OSErr MemError(void);                        // result of the latest allocation call

// Test seam: make the n-th allocation from now fail (1 = the next one); 0 turns it off.
// Counts NewPtr, NewPtrClear, NewHandleClear, SetHandleSize and image allocations.
void MemTestFailAllocation(long n);
