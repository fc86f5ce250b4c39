// Lending, finding and taking back the host's frame images.
#include "frame_pool.h"
#include "host_error.h"

#include <algorithm>
#include <string>

namespace reelhost {

void FramePool::ThrowAtLimit() const {
    throw HostError("the plug-in holds " + std::to_string(limit_) +
                    " frames without giving them back");
}

FramePool::Slot& FramePool::Acquire(int width, int height) {
    Slot* freeSlot = nullptr;
    for (Slot& slot : slots_) {
        if (slot.cookie != 0) continue;
        if (slot.width == width && slot.height == height) return slot;
        freeSlot = &slot;
    }
    if (!freeSlot) {
        if (int(slots_.size()) >= limit_) ThrowAtLimit();
        freeSlot = &slots_.emplace_back();
    }
    // A returned image of another size is replaced rather than kept beside the new one.
    freeSlot->image.reset();
    freeSlot->width = freeSlot->height = 0;
    freeSlot->image = MakeImage(width, height);
    freeSlot->width = width;
    freeSlot->height = height;
    return *freeSlot;
}

void* FramePool::Lend(Slot& slot, int64_t movieFrame) {
    slot.cookie = reinterpret_cast<uintptr_t>(NewCookie());
    slot.movieFrame = movieFrame;
    return reinterpret_cast<void*>(slot.cookie);
}

void* FramePool::NewCookie() {
    return reinterpret_cast<void*>(nextCookie_++);
}

void FramePool::AdoptLent(GWorldHolder image, void* cookie, int64_t movieFrame) {
    // A returned image makes room rather than the pool outgrowing its limit.
    const auto spare = std::find_if(slots_.begin(), slots_.end(),
                                    [](const Slot& slot) { return slot.cookie == 0; });
    if (int(slots_.size()) >= limit_ && spare != slots_.end()) slots_.erase(spare);
    const PixelView view = ViewOf(image.get());
    Slot& slot = slots_.emplace_back();
    slot.image = std::move(image);
    slot.width = view.Width();
    slot.height = view.Height();
    slot.cookie = reinterpret_cast<uintptr_t>(cookie);
    slot.movieFrame = movieFrame;
    // Kept even then: the plug-in may still touch it before the render ends.
    if (LentCount() > limit_) ThrowAtLimit();
}

int FramePool::IndexOf(const void* cookie) const {
    const auto serial = reinterpret_cast<uintptr_t>(cookie);
    for (size_t i = 0; i < slots_.size(); ++i)
        if (serial != 0 && slots_[i].cookie == serial) return int(i);
    return -1;
}

const FramePool::Slot* FramePool::Find(const void* cookie) const {
    const int index = IndexOf(cookie);
    return index < 0 ? nullptr : &slots_[size_t(index)];
}

bool FramePool::GiveBack(const void* cookie) {
    const int index = IndexOf(cookie);
    if (index < 0) return false;
    slots_[size_t(index)].cookie = 0;
    slots_[size_t(index)].movieFrame = -1;
    return true;
}

int FramePool::LentCount() const {
    return int(std::count_if(slots_.begin(), slots_.end(),
                             [](const Slot& slot) { return slot.cookie != 0; }));
}

} // namespace reelhost
