// Pointers and handles that carry their size in a header before the block.
#include "MacMemory.h"
#include "memory/failseam.h"

#include <cstdlib>
#include <cstring>

namespace {

// Header before every block: the size asked for, padded so the block stays 16-byte aligned.
struct alignas(16) BlockHeader {
    Size size;
    uint32_t magic;
};
constexpr uint32_t kPtrMagic = 0x50747221;    // "Ptr!"
constexpr uint32_t kHandleMagic = 0x486e6421; // "Hnd!"

// A handle is a master pointer to a pointer block; the master pointer lives in its own block.
struct MasterPointer {
    Ptr block;
    uint32_t magic;
};

thread_local OSErr tMemError = noErr;

BlockHeader* HeaderOf(Ptr p) {
    return reinterpret_cast<BlockHeader*>(p) - 1;
}

Ptr AllocateBlock(Size byteCount, bool clear) {
    if (byteCount < 0 || PlatformAllocationShouldFail()) {
        tMemError = byteCount < 0 ? paramErr : memFullErr;
        return nullptr;
    }
    const size_t total = sizeof(BlockHeader) + size_t(byteCount);
    void* raw = clear ? std::calloc(1, total) : std::malloc(total);
    if (!raw) {
        tMemError = memFullErr;
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(raw);
    header->size = byteCount;
    header->magic = kPtrMagic;
    tMemError = noErr;
    return reinterpret_cast<Ptr>(header + 1);
}

} // namespace

OSErr MemError(void) {
    return tMemError;
}

Ptr NewPtr(Size byteCount) {
    return AllocateBlock(byteCount, false);
}

Ptr NewPtrClear(Size byteCount) {
    return AllocateBlock(byteCount, true);
}

void DisposePtr(Ptr p) {
    if (!p) return;
    BlockHeader* header = HeaderOf(p);
    header->magic = 0;
    std::free(header);
}

Size GetPtrSize(Ptr p) {
    return p ? HeaderOf(p)->size : 0;
}

Handle NewHandleClear(Size byteCount) {
    Ptr block = AllocateBlock(byteCount, true);
    if (!block) return nullptr;
    auto* master = static_cast<MasterPointer*>(std::malloc(sizeof(MasterPointer)));
    if (!master) {
        DisposePtr(block);
        tMemError = memFullErr;
        return nullptr;
    }
    master->block = block;
    master->magic = kHandleMagic;
    return &master->block;
}

void DisposeHandle(Handle h) {
    if (!h) return;
    auto* master = reinterpret_cast<MasterPointer*>(h);
    DisposePtr(master->block);
    master->magic = 0;
    std::free(master);
}

Size GetHandleSize(Handle h) {
    return h ? GetPtrSize(*h) : 0;
}

OSErr SetHandleSize(Handle h, Size newSize) {
    if (!h || newSize < 0) return tMemError = paramErr;
    Ptr grown = AllocateBlock(newSize, true);
    if (!grown) return tMemError;
    const Size old = GetPtrSize(*h);
    std::memcpy(grown, *h, size_t(old < newSize ? old : newSize));
    DisposePtr(*h);
    *h = grown;
    return tMemError = noErr;
}
