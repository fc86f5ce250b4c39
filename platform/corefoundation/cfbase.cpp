// Reference counting shared by every Core Foundation object.
#include "corefoundation/cfinternal.h"

namespace {

// Every CFTypeRef the platform hands out points at an object derived from CFObject.
CFObject* ObjectOf(CFTypeRef cf) {
    return static_cast<CFObject*>(const_cast<void*>(cf));
}

} // namespace

CFTypeRef CFRetain(CFTypeRef cf) {
    if (cf) ObjectOf(cf)->retainCount.fetch_add(1, std::memory_order_relaxed);
    return cf;
}

void CFRelease(CFTypeRef cf) {
    if (!cf) return;
    CFObject* object = ObjectOf(cf);
    // acq_rel: the thread that frees the object must see every write made by earlier owners.
    if (object->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete object;
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
    return cf ? ObjectOf(cf)->retainCount.load(std::memory_order_relaxed) : 0;
}
