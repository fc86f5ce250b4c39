// Recycles a few freed pixel buffers so that a host remaking same-sized frames skips the heap.
#include "quickdraw/pixelpool.h"

#include <pthread.h>
#include <sanitizer/asan_interface.h>

#include <cstdlib>
#include <cstring>

namespace qd {
namespace {

// A host keeps a handful of frames alive at once (source, output, copies for fades); a few
// spare buffers cover that without hoarding memory.
constexpr int kPoolEntries = 4;

struct PooledBuffer {
    void* pixels;
    size_t byteCount;
};

// Plain data on purpose: images disposed during process exit must still find the pool.
// Buffers parked here stay reachable, so they are never reported as leaks.
PooledBuffer gPool[kPoolEntries];
int gPooledCount = 0;
// Images are made and disposed on any thread (hosts that render in parallel).
pthread_mutex_t gPoolLock = PTHREAD_MUTEX_INITIALIZER;

class PoolLocked {
  public:
    PoolLocked() { pthread_mutex_lock(&gPoolLock); }
    ~PoolLocked() { pthread_mutex_unlock(&gPoolLock); }
    PoolLocked(const PoolLocked&) = delete;
    PoolLocked& operator=(const PoolLocked&) = delete;
};

size_t RoundUpToAlignment(size_t byteCount) {
    return (byteCount + kPixelAlignment - 1) / kPixelAlignment * kPixelAlignment;
}

// Keeps the remaining entries oldest first, the order in which they are evicted.
void RemoveEntry(int index) {
    for (int i = index + 1; i < gPooledCount; ++i)
        gPool[i - 1] = gPool[i];
    --gPooledCount;
}

// Takes the newest pooled buffer of exactly this size out of the pool (the one likeliest to be
// still in cache), or answers null.
void* TakeFromPool(size_t byteCount) {
    PoolLocked locked;
    for (int i = gPooledCount - 1; i >= 0; --i) {
        if (gPool[i].byteCount != byteCount) continue;
        void* pixels = gPool[i].pixels;
        RemoveEntry(i);
        // Parked buffers are poisoned so that a stale pointer into one is still caught.
        ASAN_UNPOISON_MEMORY_REGION(pixels, byteCount);
        return pixels;
    }
    return nullptr;
}

} // namespace

void* AcquirePixels(size_t byteCount) {
    if (byteCount == 0) return nullptr;
    void* pixels = TakeFromPool(byteCount);
    if (!pixels) pixels = std::aligned_alloc(kPixelAlignment, RoundUpToAlignment(byteCount));
    if (pixels) std::memset(pixels, 0, byteCount);
    return pixels;
}

void ReleasePixels(void* pixels, size_t byteCount) {
    if (!pixels) return;
    PoolLocked locked;
    if (gPooledCount == kPoolEntries) {
        // Evict the oldest parked buffer; the newest is the likeliest to be asked for again.
        ASAN_UNPOISON_MEMORY_REGION(gPool[0].pixels, gPool[0].byteCount);
        std::free(gPool[0].pixels);
        RemoveEntry(0);
    }
    ASAN_POISON_MEMORY_REGION(pixels, byteCount);
    gPool[gPooledCount++] = {pixels, byteCount};
}

} // namespace qd
