// Pixel buffers of images, and the reserves in which an owner keeps them between its images.
#include "quickdraw/pixelbuffers.h"
#include "memory/failseam.h"

#include <sanitizer/asan_interface.h>

#include <cstdlib>
#include <new>

// One owner's kept buffers, oldest first. Used by one thread at a time (its owner's), so it
// needs no lock, and a child process after fork finds it as the forking thread left it.
struct OpaquePixelReserve {
    // A fade frame makes two images of one size (the clean copy and the working image); two
    // buffers cover that without keeping a render's memory at twice what its frames need.
    static constexpr int kCapacity = 2;
    struct Kept {
        void* pixels;
        size_t byteCount;
    };
    Kept kept[kCapacity];
    int count = 0;
};

namespace {

size_t RoundUpToAlignment(size_t byteCount) {
    return (byteCount + qd::kPixelAlignment - 1) / qd::kPixelAlignment * qd::kPixelAlignment;
}

// Keeps the remaining entries oldest first, the order in which they are let go.
void RemoveKept(PixelReserveRef reserve, int index) {
    for (int i = index + 1; i < reserve->count; ++i)
        reserve->kept[i - 1] = reserve->kept[i];
    --reserve->count;
}

// Kept buffers are poisoned, so that a stale pointer into a disposed image is still caught.
void FreeKept(const OpaquePixelReserve::Kept& kept) {
    ASAN_UNPOISON_MEMORY_REGION(kept.pixels, kept.byteCount);
    qd::FreePixels(kept.pixels);
}

} // namespace

namespace qd {

void* NewPixels(size_t byteCount) {
    return std::aligned_alloc(kPixelAlignment, RoundUpToAlignment(byteCount));
}

void FreePixels(void* pixels) {
    std::free(pixels);
}

void* TakeReservedPixels(PixelReserveRef reserve, size_t byteCount) {
    // The newest buffer of this size: the likeliest to be still in cache.
    for (int i = reserve->count - 1; i >= 0; --i) {
        if (reserve->kept[i].byteCount != byteCount) continue;
        void* pixels = reserve->kept[i].pixels;
        RemoveKept(reserve, i);
        ASAN_UNPOISON_MEMORY_REGION(pixels, byteCount);
        return pixels;
    }
    return NewPixels(byteCount);
}

void KeepReservedPixels(PixelReserveRef reserve, void* pixels, size_t byteCount) {
    if (reserve->count == OpaquePixelReserve::kCapacity) {
        FreeKept(reserve->kept[0]);
        RemoveKept(reserve, 0);
    }
    ASAN_POISON_MEMORY_REGION(pixels, byteCount);
    reserve->kept[reserve->count++] = {pixels, byteCount};
}

} // namespace qd

PixelReserveRef NewPixelReserve(void) {
    if (PlatformAllocationShouldFail()) return nullptr;
    return new (std::nothrow) OpaquePixelReserve;
}

void DisposePixelReserve(PixelReserveRef reserve) {
    if (!reserve) return;
    for (int i = 0; i < reserve->count; ++i)
        FreeKept(reserve->kept[i]);
    delete reserve;
}
