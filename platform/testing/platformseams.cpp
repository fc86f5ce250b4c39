// The entry points of the core's failure seams (PlatformTestHooks.h): linked into the library's
// test variant only.
#include "PlatformTestHooks.h"
#include "memory/failseam.h"

long MemTestFailAllocation(long n) {
    return PlatformFailureSeams().allocation.Set(n);
}

long ResTestFailRead(long n) {
    return PlatformFailureSeams().read.Set(n);
}

long ResTestFailWrite(long n) {
    return PlatformFailureSeams().write.Set(n);
}

long ResTestKillWriteAt(long n) {
    return PlatformFailureSeams().writeKill.Set(n);
}

UInt32 MPTestSetProcessors(UInt32 count) {
    return PlatformFailureSeams().processors.exchange(count);
}
