// Pointers and handles that know their size (the platform's Memory Manager).
//
// Blocks are zero-filled on request, owned by whoever allocated them and released with the
// matching Dispose call. Any thread.
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

Ptr NewPtr(Size byteCount);
Ptr NewPtrClear(Size byteCount); // null on failure or a negative count
void DisposePtr(Ptr p);          // null: nothing
Size GetPtrSize(Ptr p);          // the size asked for at allocation; 0 for null

Handle NewHandleClear(Size byteCount);
void DisposeHandle(Handle h);
Size GetHandleSize(Handle h);
OSErr SetHandleSize(Handle h, Size newSize); // keeps the contents up to the smaller size
OSErr MemError(void);                        // result of the latest allocation call

PLATFORM_EXPORTS_END
